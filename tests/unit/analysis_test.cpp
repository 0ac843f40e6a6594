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

// "T1;R1(A);C1" as operations.
std::vector<Operation> Parse(const std::string& text) {
  std::vector<Operation> plan;
  std::istringstream in(text);
  for (std::string op; std::getline(in, op, ';');) {
    const std::size_t open = op.find('(');
    plan.push_back({static_cast<OpKind>(std::string("CARWT").find(op[0])), std::stoi(op.substr(1)),
                    open == std::string::npos ? ' ' : op[open + 1]});
  }
  return plan;
}

// The report as text: lists as "1,2" or "R1(A)" after their label, empty ones left out.
struct Text {
  Text& operator()(const char* label, bool flag) {
    out << label << flag;
    return *this;
  }
  template <typename T>
  Text& operator()(const char* label, const std::vector<T>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      Put(out << (i == 0 ? label : ","), list[i]);
    }
    return *this;
  }
  static void Put(std::ostream& out, std::int32_t t) { out << t; }
  static void Put(std::ostream& out, const Edge& e) { out << e.first << '>' << e.second; }
  static void Put(std::ostream& out, const Access& a) {
    out << "RW"[a.kind == OpKind::Write] << a.t << '(' << a.item << ')';
  }
  // The verdicts on the written schedule that the reference below works out too.
  Text& Theory(const PlanReport& r) {
    return (*this)(" tx=", r.transactions)(" e=", r.edges)(" cs=", r.conflict_serializable)(
        " ", r.conflict_order)(" vs=", r.view_serializable)(" ", r.view_order)(
        " rcs=", r.recoverable)("", r.cascadeless)("", r.strict);
  }
  std::ostringstream out;
};

const PlanReport& Analyse(PlanAnalysis& analysis, const std::vector<Operation>& plan) {
  analysis.Start(1, 1);
  for (const Operation& operation : plan) {
    analysis.Add(operation);
  }
  return analysis.Finish();
}

TEST(PlanAnalysis, TextbookSchedules) {
  const std::pair<std::string, std::string> cases[] = {
      // Silberschatz: the Thomas write rule ignores T1's obsolete write. As written, R1(Q) reads
      // the initial value and W1(Q) is final: no serial order does both.
      {"T1;T2;R1(Q);W2(Q);W1(Q);C1;C2",
       "ts=1>1,2>2 c=1,2 skip=W1(Q) exec=R1(Q),W2(Q) to=1,2 wtc=2 wta=1 tx=1,2 e=1>2,2>1 cs=0 vs=0 "
       "rcs=110 cycle=1,2,1"},
      // The same with a blind write of T3 after it: view- but not conflict-serializable.
      {"T1;T2;T3;R1(Q);W2(Q);W1(Q);W3(Q);C1;C2;C3",
       "ts=1>1,2>2,3>3 c=1,2,3 skip=W1(Q) exec=R1(Q),W2(Q),W3(Q) to=1,2,3 wtc=2,3 wta=1 tx=1,2,3 "
       "e=1>2,1>3,2>1,2>3 cs=0 vs=1 1,2,3 rcs=110 cycle=1,2,1"},
      // Elmasri and Navathe, schedules S1 and S2 of T1: r(X) r(Z) w(X); T2: r(Z) r(Y) w(Z)
      // w(Y); T3: r(X) r(Y) w(Y). No transaction begins, so timestamp ordering rejects all.
      {"R1(X);R2(Z);R1(Z);R3(X);R3(Y);W1(X);W3(Y);R2(Y);W2(Z);W2(Y)",
       " tx=1,2,3 e=1>2,3>1,3>2 cs=1 3,1,2 vs=1 3,1,2 rcs=100"},
      {"R1(X);R2(Z);R3(X);R1(Z);R2(Y);R3(Y);W1(X);W2(Z);W3(Y);W2(Y)",
       " tx=1,2,3 e=1>2,2>3,3>1,3>2 cs=0 vs=0 rcs=110 cycle=1,2,3,1"},
      // T1 aborts after T2 read its write, and T3 read T2's.
      {"T1;T2;T3;W1(A);R2(A);W2(B);R3(B);A1;C2;C3",
       "ts=1>1,2>2,3>3 c=2,3 a=1 exec=R2(A),W2(B),R3(B) to=2,3 casc=2,3 wtc=2,3 wta=1 tx=1,2,3 "
       "e=2>3 cs=1 2,3 vs=1 2,3 rcs=000"},
      {"", " cs=1 vs=1 rcs=111"},
  };
  for (const auto& [plan, expected] : cases) {
    PlanAnalysis analysis;
    const PlanReport& r = Analyse(analysis, Parse(plan));
    EXPECT_EQ(Text()("ts=", r.timestamps)(" c=", r.committed)(" a=", r.aborted)(
                  " skip=", r.skipped_writes)(" exec=", r.executed)(" to=", r.to_order)(
                  " casc=", r.cascading)(" wtc=", r.without_thomas_committed)(
                  " wta=", r.without_thomas_aborted)
                  .Theory(r)(" cycle=", r.conflict_cycle)
                  .out.str(),
              expected);
  }
}

// Which write of `p` (its index) each read reads when `p` runs in the order `run`, -1 for the
// initial value; then the final write of each item.
std::vector<int> Sources(const std::vector<Operation>& p, const std::vector<int>& run) {
  std::vector<int> sources(p.size() + 128, -1);
  for (const int i : run) {
    int& last = sources[p.size() + p[i].item];
    if (p[i].kind == OpKind::Write) {
      last = i;
    } else {
      sources[i] = last;
    }
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
  std::set<std::int32_t> inS, inP;
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
    if (!abortAt.contains(s[v].number)) {
      inP.insert(s[v].number);
      if (IsAccess(s[v])) {
        p.push_back(s[v]);
      }
    }
  }
  r.transactions.assign(inS.begin(), inS.end());
  r.edges.assign(edges.begin(), edges.end());
  std::vector<int> written(p.size());
  std::iota(written.begin(), written.end(), 0);
  // From the largest order down, so that the last one found is the smallest.
  r.conflict_serializable = r.view_serializable = false;
  std::vector<std::int32_t> order(inP.rbegin(), inP.rend());
  do {
    const auto place = [&](std::int32_t t) { return std::ranges::find(order, t); };
    std::vector<int> serial = written;
    std::ranges::stable_sort(serial, {}, [&](int i) { return place(p[i].number); });
    if (std::ranges::all_of(edges, [&](Edge e) { return place(e.first) < place(e.second); })) {
      r.conflict_serializable = true, r.conflict_order = order;
    }
    if (Sources(p, serial) == Sources(p, written)) {
      r.view_serializable = true, r.view_order = order;
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
      op.kind = static_cast<OpKind>(std::string("CARWT").find("CARRRWWWWTTT"[random() % 12]));
      op.number = std::vector{0, 1, 2, 3, 4, 5, 11}[random() % 7];
      op.item = "ABC "[random() % 4];
    }
    const PlanReport& r = Analyse(analysis, plan);
    ASSERT_EQ(Text().Theory(r).out.str(), Text().Theory(Reference(plan)).out.str()) << round;
    const std::vector<std::int32_t>& cycle = r.conflict_cycle;
    for (std::size_t i = 1; i < cycle.size(); ++i) {
      EXPECT_TRUE(std::ranges::binary_search(r.edges, Edge(cycle[i - 1], cycle[i])));
    }
    EXPECT_EQ(std::set(cycle.begin(), cycle.end()).size(), cycle.size() - !cycle.empty());
    EXPECT_EQ(cycle.empty(), r.conflict_serializable);
    EXPECT_TRUE(!r.conflict_serializable || r.view_serializable);
    EXPECT_TRUE(r.cascadeless >= r.strict && r.recoverable >= r.cascadeless);
    // The executed schedule's precedence graph agrees with to_order.
    std::vector<Operation> executed;
    for (const Access& a : r.executed) {
      executed.push_back({a.kind, a.t, a.item});
    }
    const auto place = [&](std::int32_t t) { return std::ranges::find(r.to_order, t); };
    for (const auto& [i, j] : Reference(executed).edges) {
      EXPECT_LT(place(i), place(j));
    }
  }
}

}  // namespace
}  // namespace tosim::analysis
