#include "analysis/plan_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace tosim::analysis {
namespace {

using Numbers = std::vector<std::int32_t>;

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

template <typename List, typename Show>
std::string Join(const List& list, Show show) {
  std::string text;
  for (const auto& element : list) {
    text.append(text.empty() ? "" : ",").append(show(element));
  }
  return text;
}
std::string J(const Numbers& list) {
  return Join(list, [](std::int32_t t) { return std::to_string(t); });
}
std::string J(const std::vector<Access>& list) {
  return Join(list, [](const Access& a) {
    return std::string(a.kind == OpKind::Read ? "R" : "W")
        .append(std::to_string(a.t))
        .append({'(', a.item, ')'});
  });
}

std::string Summary(const PlanReport& r) {
  const auto pair = [](auto p) { return std::to_string(p.first) + ">" + std::to_string(p.second); };
  return "tx=" + J(r.transactions) + " ts=" + Join(r.timestamps, pair) + " c=" + J(r.committed) +
         " a=" + J(r.aborted) + " skip=" + J(r.skipped_writes) + " exec=" + J(r.executed) +
         " to=" + J(r.to_order) + " casc=" + J(r.cascading) +
         " basic=" + J(r.without_thomas_committed) + "/" + J(r.without_thomas_aborted) +
         " | e=" + Join(r.edges, pair) + " cs=" + std::to_string(r.conflict_serializable) + "[" +
         J(r.conflict_order) + J(r.conflict_cycle) + "] vs=" + std::to_string(r.view_serializable) +
         "[" + J(r.view_order) + "] rcs=" + std::to_string(r.recoverable) +
         std::to_string(r.cascadeless) + std::to_string(r.strict);
}

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
       "tx=1,2 ts=1>1,2>2 c=1,2 a= skip=W1(Q) exec=R1(Q),W2(Q) to=1,2 casc= basic=2/1 | "
       "e=1>2,2>1 cs=0[1,2,1] vs=0[] rcs=110"},
      // The same with a blind write of T3 after it: view- but not conflict-serializable.
      {"T1;T2;T3;R1(Q);W2(Q);W1(Q);W3(Q);C1;C2;C3",
       "tx=1,2,3 ts=1>1,2>2,3>3 c=1,2,3 a= skip=W1(Q) exec=R1(Q),W2(Q),W3(Q) to=1,2,3 casc= "
       "basic=2,3/1 | e=1>2,1>3,2>1,2>3 cs=0[1,2,1] vs=1[1,2,3] rcs=110"},
      // Elmasri and Navathe, schedules S1 and S2 of T1: r(X) r(Z) w(X); T2: r(Z) r(Y) w(Z)
      // w(Y); T3: r(X) r(Y) w(Y). No transaction begins, so timestamp ordering rejects all.
      {"R1(X);R2(Z);R1(Z);R3(X);R3(Y);W1(X);W3(Y);R2(Y);W2(Z);W2(Y)",
       "tx=1,2,3 ts= c= a= skip= exec= to= casc= basic=/ | e=1>2,3>1,3>2 cs=1[3,1,2] vs=1[3,1,2] "
       "rcs=100"},
      {"R1(X);R2(Z);R3(X);R1(Z);R2(Y);R3(Y);W1(X);W2(Z);W3(Y);W2(Y)",
       "tx=1,2,3 ts= c= a= skip= exec= to= casc= basic=/ | e=1>2,2>3,3>1,3>2 cs=0[1,2,3,1] vs=0[] "
       "rcs=110"},
      // T1 aborts after T2 read its write, and T3 read T2's.
      {"T1;T2;T3;W1(A);R2(A);W2(B);R3(B);A1;C2;C3",
       "tx=1,2,3 ts=1>1,2>2,3>3 c=2,3 a=1 skip= exec=R2(A),W2(B),R3(B) to=2,3 casc=2,3 "
       "basic=2,3/1 | e=2>3 cs=1[2,3] vs=1[2,3] rcs=000"},
      // Whether T3 reads T1's or T2's write depends on T2's abort; operations of an ended
      // transaction, of transaction 11 and without an item are left out.
      {"W1(A);W2(A);R3(A);C1;A2;W3(A);C3;W2(B);W11(A);R3( )",
       "tx=1,2,3 ts= c= a= skip= exec= "
       "to= casc= basic=/ | e=1>3 cs=1[1,3] vs=1[1,3] rcs=000"},
      {"", "tx= ts= c= a= skip= exec= to= casc= basic=/ | e= cs=1[] vs=1[] rcs=111"},
  };
  PlanAnalysis run;  // the theory does not depend on the plans before
  for (const auto& [plan, expected] : cases) {
    PlanAnalysis analysis;
    EXPECT_EQ(Summary(Analyse(analysis, Parse(plan))), expected) << plan;
    const std::string theory = Summary(Analyse(run, Parse(plan)));
    EXPECT_EQ(theory.substr(theory.find('|')), expected.substr(expected.find('|'))) << plan;
  }
}

// Which write (its id) each read of `ops` reads, -1 for the initial value, then each item's final
// write.
std::vector<int> Sources(const std::vector<Operation>& ops, const std::vector<int>& ids) {
  std::vector<int> sources(ops.size(), -2);
  std::map<char, int> last;
  for (std::size_t i = 0; i < ops.size(); ++i) {
    if (ops[i].kind == OpKind::Read) {
      sources[ids[i]] = last.contains(ops[i].item) ? last[ops[i].item] : -1;
    } else {
      last[ops[i].item] = ids[i];
    }
  }
  for (const auto& [item, write] : last) {
    sources.push_back(write);
  }
  return sources;
}

bool Conflict(const Operation& a, const Operation& b) {
  return a.item == b.item && a.number != b.number &&
         (a.kind == OpKind::Read || a.kind == OpKind::Write) &&
         (b.kind == OpKind::Read || b.kind == OpKind::Write) &&
         (a.kind == OpKind::Write || b.kind == OpKind::Write);
}

// The theory of a plan straight from the definitions, trying every serial order.
PlanReport Reference(const std::vector<Operation>& plan) {
  std::vector<Operation> s, p;
  std::map<std::int32_t, std::size_t> commitAt, abortAt;
  for (const Operation& op : plan) {
    if (op.number >= 1 && !commitAt.contains(op.number) && !abortAt.contains(op.number)) {
      if (op.kind == OpKind::Validate || op.kind == OpKind::Abort) {
        (op.kind == OpKind::Validate ? commitAt : abortAt)[op.number] = s.size();
      }
      s.push_back(op);
    }
  }
  const auto at = [](auto& map, std::int32_t t) { return map.contains(t) ? map[t] : SIZE_MAX; };
  PlanReport r;
  Numbers order;
  for (std::size_t v = 0; v < s.size(); ++v) {
    for (std::size_t i = 0; i < v; ++i) {
      const std::size_t end = std::min(at(commitAt, s[i].number), at(abortAt, s[i].number));
      r.strict = r.strict && !(s[i].kind == OpKind::Write && Conflict(s[i], s[v]) && end > v);
    }
    for (std::size_t i = v; s[v].kind == OpKind::Read && i-- > 0;) {
      if (s[i].kind == OpKind::Write && s[i].item == s[v].item && at(abortAt, s[i].number) > v) {
        const std::size_t ci = at(commitAt, s[i].number), cj = at(commitAt, s[v].number);
        r.cascadeless = r.cascadeless && (!Conflict(s[i], s[v]) || ci < v);
        r.recoverable = r.recoverable && (!Conflict(s[i], s[v]) || cj == SIZE_MAX || ci < cj);
        break;
      }
    }
    r.transactions.push_back(s[v].number);
    if (!abortAt.contains(s[v].number)) {
      order.push_back(s[v].number);
      if (s[v].kind == OpKind::Read || s[v].kind == OpKind::Write) {
        for (const Operation& earlier : p) {
          if (Conflict(earlier, s[v])) {
            r.edges.emplace_back(earlier.number, s[v].number);
          }
        }
        p.push_back(s[v]);
      }
    }
  }
  for (auto* list : {&r.transactions, &order}) {
    std::sort(list->begin(), list->end());
    list->erase(std::unique(list->begin(), list->end()), list->end());
  }
  std::sort(r.edges.begin(), r.edges.end());
  r.edges.erase(std::unique(r.edges.begin(), r.edges.end()), r.edges.end());
  std::vector<int> ids(p.size());
  std::iota(ids.begin(), ids.end(), 0);
  const std::vector<int> sources = Sources(p, ids);
  r.conflict_serializable = r.view_serializable = false;
  do {
    const auto place = [&](std::int32_t t) { return std::find(order.begin(), order.end(), t); };
    std::vector<Operation> serial;
    std::vector<int> serialIds;
    for (const std::int32_t t : order) {
      for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i].number == t) {
          serial.push_back(p[i]);
          serialIds.push_back(static_cast<int>(i));
        }
      }
    }
    if (!r.conflict_serializable && std::all_of(r.edges.begin(), r.edges.end(), [&](auto edge) {
          return place(edge.first) < place(edge.second);
        })) {
      r.conflict_serializable = true;
      r.conflict_order = order;
    }
    if (!r.view_serializable && Sources(serial, serialIds) == sources) {
      r.view_serializable = true;
      r.view_order = order;
    }
  } while (std::next_permutation(order.begin(), order.end()));
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
      op.number = static_cast<std::int32_t>(random() % 6);
      op.item = static_cast<char>('A' + random() % 3);
    }
    const PlanReport& r = Analyse(analysis, plan);
    const auto theory = [](const PlanReport& t) {
      return std::tuple(t.transactions, t.edges, t.conflict_serializable, t.conflict_order,
                        t.view_serializable, t.view_order, t.recoverable, t.cascadeless, t.strict);
    };
    ASSERT_EQ(theory(r), theory(Reference(plan))) << round;
    const Numbers& cycle = r.conflict_cycle;
    for (std::size_t i = 1; i < cycle.size(); ++i) {
      EXPECT_TRUE(
          std::binary_search(r.edges.begin(), r.edges.end(), std::pair(cycle[i - 1], cycle[i])));
      EXPECT_EQ(std::count(cycle.begin() + 1, cycle.end(), cycle[i]), 1);
    }
    EXPECT_EQ(cycle.empty(), r.conflict_serializable);
    EXPECT_TRUE(!r.conflict_serializable || r.view_serializable);
    EXPECT_TRUE(!r.strict || r.cascadeless);
    EXPECT_TRUE(!r.cascadeless || r.recoverable);
    for (std::size_t v = 0; v < r.executed.size(); ++v) {
      for (std::size_t i = 0; i < v; ++i) {
        const Access &a = r.executed[i], &b = r.executed[v];
        const auto place = [&](std::int32_t t) {
          return std::find(r.to_order.begin(), r.to_order.end(), t);
        };
        EXPECT_TRUE(!Conflict({a.kind, a.t, a.item}, {b.kind, b.t, b.item}) ||
                    place(a.t) < place(b.t));
      }
    }
  }
}

}  // namespace
}  // namespace tosim::analysis
