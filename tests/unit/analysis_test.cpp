#include "analysis/plan_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace tosim::analysis {
namespace {

using Edge = std::pair<std::int32_t, std::int32_t>;

// The report as text: lists as "1,2" or "R1A" after their label, empty ones left out.
struct Text {
  template <typename T>
  Text& operator()(const char* label, const std::vector<T>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      Put(out << (i == 0 ? label : ","), list[i]);
    }
    return *this;
  }
  static void Put(std::ostream& out, std::int32_t t) { out << t; }
  static void Put(std::ostream& out, const Edge& e) { out << e.first << '>' << e.second; }
  static void Put(std::ostream& o, const Access& a) {
    o << "RW"[a.kind == OpKind::Write] << a.t << a.item;
  }
  Text& Theory(const PlanReport& r) {
    using Flags = std::vector<std::int32_t>;
    return (*this)(" tx=", r.transactions)(" e=", r.edges)(" cs=", Flags{r.conflictSerializable})(
        " ", r.conflictOrder)(" vs=", Flags{r.viewSerializable})(" ", r.viewOrder)(
        " rcs=", Flags{r.recoverable, r.cascadeless, r.strict});
  }
  std::ostringstream out;
};

TEST(PlanAnalysis, TextbookSchedules) {
  const std::pair<std::string, std::string> cases[] = {
      // Silberschatz: the Thomas write rule ignores T1's obsolete write; T3's write is blind.
      {"T1;T2;T3;R1(Q);W2(Q);W1(Q);W3(Q);C1;C2;C3",
       "ts=1>1,2>2,3>3 c=1,2,3 skip=W1Q exec=R1Q,W2Q,W3Q to=1,2,3 wtc=2,3 wta=1 tx=1,2,3 "
       "e=1>2,1>3,2>1,2>3 cs=0 vs=1 1,2,3 rcs=1,1,0 cycle=1,2,1"},
      // Elmasri and Navathe's S1 and S2 (no transaction begins: timestamp ordering does nothing).
      {"R1(X);R2(Z);R1(Z);R3(X);R3(Y);W1(X);W3(Y);R2(Y);W2(Z);W2(Y)",
       " tx=1,2,3 e=1>2,3>1,3>2 cs=1 3,1,2 vs=1 3,1,2 rcs=1,0,0"},
      {"R1(X);R2(Z);R3(X);R1(Z);R2(Y);R3(Y);W1(X);W2(Z);W3(Y);W2(Y)",
       " tx=1,2,3 e=1>2,2>3,3>1,3>2 cs=0 vs=0 rcs=1,1,0 cycle=1,2,3,1"},
      // T2 aborts after T1 read its write, and T3 read T1's; T4 begins before T1 and T3.
      {"T2;T4;T1;T3;W2(A);R1(A);W1(B);R3(B);A2;C1;C3",
       "ts=1>3,2>1,3>4,4>2 c=1,3 a=2 exec=R1A,W1B,R3B to=4,1,3 casc=1,3 wtc=1,3 wta=2 tx=1,2,3,4 "
       "e=1>3 cs=1 1,3,4 vs=1 1,3,4 rcs=0,0,0"},
  };
  for (const auto& [plan, expected] : cases) {
    PlanAnalysis analysis;
    analysis.Start(1, 1);
    std::istringstream in(plan);
    for (std::string op; std::getline(in, op, ';');) {  // "R1(A)": the item is next to last
      analysis.Add(
          {OpKind(std::string("CARWT").find(op[0])), std::stoi(op.substr(1)), op.end()[-2]});
    }
    const PlanReport& r = analysis.Finish();
    EXPECT_EQ(Text()("ts=", r.timestamps)(" c=", r.committed)(" a=", r.aborted)(
                  " skip=", r.skippedWrites)(" exec=", r.executed)(" to=", r.toOrder)(
                  " casc=", r.cascading)(" wtc=", r.withoutThomasCommitted)(" wta=",
                                                                            r.withoutThomasAborted)
                  .Theory(r)(" cycle=", r.conflictCycle)
                  .out.str(),
              expected);
  }
}

// The write (index in `p`) each read reads with `p` run in the order `run`, then the final ones.
std::vector<int> Sources(const std::vector<Operation>& p, const std::vector<int>& run) {
  std::vector<int> sources(p.size() + 128, -1);
  for (const int i : run) {
    int& last = sources[p.size() + p[i].item];
    const bool write = p[i].kind == OpKind::Write;
    (write ? last : sources[i]) = write ? i : last;
  }
  return sources;
}

bool IsAccess(const Operation& op) {
  return op.kind == OpKind::Read || op.kind == OpKind::Write;
}
bool Conflict(const Operation& a, const Operation& b) {
  return a.item == b.item && a.number != b.number && IsAccess(a) && IsAccess(b) &&
         (a.kind == OpKind::Write || b.kind == OpKind::Write);
}

// The theory of a plan straight from the definitions, trying every serial order.
PlanReport Reference(const std::vector<Operation>& plan) {
  std::vector<Operation> s, p;  // the written schedule and its projection
  std::map<std::int32_t, std::size_t> commitAt, abortAt, endAt;
  for (const Operation& op : plan) {
    if (op.number >= 1 && op.number <= 10 && !endAt.contains(op.number) &&
        (op.item != ' ' || !IsAccess(op))) {
      if (op.kind == OpKind::Validate || op.kind == OpKind::Abort) {
        endAt[op.number] = (op.kind == OpKind::Validate ? commitAt : abortAt)[op.number] = s.size();
      }
      s.push_back(op);
    }
  }
  const auto at = [](auto& map, std::int32_t t) { return map.contains(t) ? map[t] : SIZE_MAX; };
  PlanReport r;
  std::set<std::int32_t> inS;
  std::set<Edge> edges;
  for (std::size_t v = 0; v < s.size(); ++v) {
    std::size_t from = v;  // the write the read reads from in S
    for (std::size_t i = 0; i < v; ++i) {
      const bool conflict = Conflict(s[i], s[v]), write = s[i].kind == OpKind::Write;
      r.strict &= !(conflict && write && at(endAt, s[i].number) > v);
      from = write && s[i].item == s[v].item && at(abortAt, s[i].number) > v ? i : from;
      if (conflict && !abortAt.contains(s[i].number) && !abortAt.contains(s[v].number)) {
        edges.emplace(s[i].number, s[v].number);
      }
    }
    if (s[v].kind == OpKind::Read && from < v && s[from].number != s[v].number) {
      const std::size_t ci = at(commitAt, s[from].number), cj = at(commitAt, s[v].number);
      r.cascadeless &= ci < v;
      r.recoverable &= cj == SIZE_MAX || ci < cj;
    }
    inS.insert(s[v].number);
    if (!abortAt.contains(s[v].number) && IsAccess(s[v])) {
      p.push_back(s[v]);
    }
  }
  r.transactions.assign(inS.begin(), inS.end());
  r.edges.assign(edges.begin(), edges.end());
  std::vector<int> written(p.size());
  std::iota(written.begin(), written.end(), 0);
  // From the largest order down, so that the last one found is the smallest.
  r.conflictSerializable = r.viewSerializable = false;
  std::vector<std::int32_t> order(inS.rbegin(), inS.rend());
  std::erase_if(order, [&](std::int32_t t) { return abortAt.contains(t); });
  do {
    const auto place = [&](std::int32_t t) { return std::ranges::find(order, t); };
    std::vector<int> serial = written;
    std::ranges::stable_sort(serial, {}, [&](int i) { return place(p[i].number); });
    if (std::ranges::all_of(edges, [&](Edge e) { return place(e.first) < place(e.second); })) {
      r.conflictSerializable = true, r.conflictOrder = order;
    }
    if (Sources(p, serial) == Sources(p, written)) {
      r.viewSerializable = true, r.viewOrder = order;
    }
  } while (std::ranges::prev_permutation(order).found);
  return r;
}

// Random small plans: the analysis against the reference, and the properties that must hold.
TEST(PlanAnalysis, AgreesWithTheDefinitionsOnRandomPlans) {
  std::minstd_rand random(11);
  PlanAnalysis analysis;
  for (int round = 0; round < 4000; ++round) {
    std::vector<Operation> plan(random() % 16);
    for (Operation& op : plan) {
      op = {OpKind(std::string("CARWT").find("CARRRWWWWTTT"[random() % 12])),
            std::vector{0, 1, 2, 3, 4, 5, 11}[random() % 7], "ABC "[random() % 4]};
    }
    analysis.Start(round, 1);
    std::ranges::for_each(plan, [&](const Operation& op) { analysis.Add(op); });
    const PlanReport& r = analysis.Finish();
    ASSERT_EQ(Text().Theory(r).out.str(), Text().Theory(Reference(plan)).out.str()) << round;
    const std::vector<std::int32_t>& cycle = r.conflictCycle;
    for (std::size_t i = 1; i < cycle.size(); ++i) {
      EXPECT_TRUE(std::ranges::binary_search(r.edges, Edge(cycle[i - 1], cycle[i])));
    }
    EXPECT_EQ(std::set(cycle.begin(), cycle.end()).size(), cycle.size() - !cycle.empty());
    EXPECT_EQ(cycle.empty(), r.conflictSerializable);
    EXPECT_TRUE(!r.conflictSerializable || r.viewSerializable);
    EXPECT_TRUE(r.cascadeless >= r.strict && r.recoverable >= r.cascadeless);
    std::vector<Operation> executed;
    for (const Access& a : r.executed) {
      executed.push_back({a.kind, a.t, a.item});
    }
    const auto place = [&](std::int32_t t) { return std::ranges::find(r.toOrder, t); };
    for (const auto& [i, j] : Reference(executed).edges) {
      EXPECT_LT(place(i), place(j));
    }
  }
}

}  // namespace
}  // namespace tosim::analysis
