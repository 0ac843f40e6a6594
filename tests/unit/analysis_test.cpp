// The plan analysis: textbook schedules worked by hand, and random plans against the definitions
// of serializability and recoverability applied literally.
#include "analysis/plan_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "analysis/view_check.h"
#include "plan_reports.h"
#include "schedule/op_label.h"

namespace tosim::analysis {
namespace {

using Numbers = std::vector<std::int32_t>;
using Pairs = std::vector<std::pair<std::int32_t, std::int32_t>>;
using Labels = std::vector<std::string>;
using Triples = std::vector<std::tuple<std::int32_t, std::int32_t, char>>;

// "R1(A)", "W2(B)", as the report lists accesses.
Labels LabelsOf(const std::vector<Access>& accesses) {
  Labels labels;
  for (const Access& access : accesses) {
    labels.push_back(OpLabel(access.kind, access.t, access.item));
  }
  return labels;
}

// Reads-from pairs as (reader, writer, item), to compare and print.
Triples TriplesOf(const std::vector<ReadFrom>& pairs) {
  Triples triples;
  for (const ReadFrom& pair : pairs) {
    triples.emplace_back(pair.reader, pair.writer, pair.item);
  }
  return triples;
}

// Silberschatz's example of the Thomas write rule: T1's write is obsolete when it comes, and
// T3's write is blind.
TEST(PlanAnalysis, ThomasWriteRuleSkipsTheObsoleteWrite) {
  const std::vector<PlanReport> reports =
      ReportsOf("P1; T1; T2; T3; R1(Q); W2(Q); W1(Q); W3(Q); C1; C2; C3\r\n");
  ASSERT_EQ(reports.size(), 1u);
  const PlanReport& report = reports[0];

  EXPECT_EQ(report.timestamps, (Pairs{{1, 1}, {2, 2}, {3, 3}}));
  EXPECT_EQ(report.committed, (Numbers{1, 2, 3}));
  EXPECT_EQ(report.aborted, Numbers{});
  EXPECT_EQ(LabelsOf(report.skippedWrites), Labels{"W1(Q)"});
  EXPECT_EQ(LabelsOf(report.executed), (Labels{"R1(Q)", "W2(Q)", "W3(Q)"}));
  EXPECT_EQ(report.toOrder, (Numbers{1, 2, 3}));
  EXPECT_EQ(report.cascading, Numbers{});
  // Without the rule, T1's write is rejected and T1 aborts.
  EXPECT_EQ(report.withoutThomasCommitted, (Numbers{2, 3}));
  EXPECT_EQ(report.withoutThomasAborted, Numbers{1});

  EXPECT_EQ(report.transactions, (Numbers{1, 2, 3}));
  EXPECT_EQ(report.edges, (Pairs{{1, 2}, {1, 3}, {2, 1}, {2, 3}}));
  EXPECT_FALSE(report.conflictSerializable);
  EXPECT_EQ(report.conflictOrder, Numbers{});
  EXPECT_EQ(report.conflictCycle, (Numbers{1, 2, 1}));
  // T1 reads the initial value and T3 writes last, as in the serial order T1, T2, T3.
  EXPECT_TRUE(report.viewSerializable);
  EXPECT_EQ(report.viewOrder, (Numbers{1, 2, 3}));
  EXPECT_TRUE(report.recoverable);
  EXPECT_TRUE(report.cascadeless);
  EXPECT_FALSE(report.strict);  // W1(Q) overwrites T2's write before T2 commits
}

// T2 aborts after T9 read its write, and T10 read T9's; T4 begins before T9 and T10. (The
// transactions with the highest numbers are in the highest bits of every set.)
TEST(PlanAnalysis, AbortCascadesToTheReaders) {
  const std::vector<PlanReport> reports =
      ReportsOf("P1; T2; T4; T9; T10; W2(A); R9(A); W9(B); R10(B); A2; C9; C10\n");
  ASSERT_EQ(reports.size(), 1u);
  const PlanReport& report = reports[0];

  EXPECT_EQ(report.timestamps, (Pairs{{2, 1}, {4, 2}, {9, 3}, {10, 4}}));
  EXPECT_EQ(report.committed, (Numbers{9, 10}));
  EXPECT_EQ(report.aborted, Numbers{2});
  EXPECT_EQ(report.active, Numbers{4});  // begun, never ended
  EXPECT_EQ(LabelsOf(report.executed), (Labels{"R9(A)", "W9(B)", "R10(B)"}));
  EXPECT_EQ(report.toOrder, (Numbers{4, 9, 10}));
  EXPECT_EQ(report.cascading, (Numbers{9, 10}));
  EXPECT_EQ(report.withoutThomasCommitted, (Numbers{9, 10}));
  EXPECT_EQ(report.withoutThomasAborted, Numbers{2});

  // T2's operations are not in the projection: only T9 -> T10 is left.
  EXPECT_EQ(report.transactions, (Numbers{2, 4, 9, 10}));
  EXPECT_EQ(report.edges, (Pairs{{9, 10}}));
  EXPECT_TRUE(report.conflictSerializable);
  EXPECT_EQ(report.conflictOrder, (Numbers{4, 9, 10}));
  EXPECT_TRUE(report.viewSerializable);
  EXPECT_EQ(report.viewOrder, (Numbers{4, 9, 10}));
  // T9 read T2's write before T2 aborted, T10 read T9's: behind the three verdicts below.
  EXPECT_EQ(TriplesOf(report.readsFrom), (Triples{{9, 2, 'A'}, {10, 9, 'B'}}));
  EXPECT_FALSE(report.recoverable);
  EXPECT_FALSE(report.cascadeless);
  EXPECT_FALSE(report.strict);
}

// The theory of one plan from the definitions, with every serial order tried.

bool IsAccess(const Operation& operation) {
  return operation.kind == OpKind::Read || operation.kind == OpKind::Write;
}

bool Conflict(const Operation& a, const Operation& b) {
  return IsAccess(a) && IsAccess(b) && a.item == b.item && a.number != b.number &&
         (a.kind == OpKind::Write || b.kind == OpKind::Write);
}

// Ti -> Tj for every operation of Ti in conflict with a later one of Tj, ascending.
Pairs ConflictPairs(const std::vector<Operation>& operations) {
  std::set<std::pair<std::int32_t, std::int32_t>> edges;
  for (std::size_t later = 0; later < operations.size(); ++later) {
    for (std::size_t earlier = 0; earlier < later; ++earlier) {
      if (Conflict(operations[earlier], operations[later])) {
        edges.emplace(operations[earlier].number, operations[later].number);
      }
    }
  }
  return Pairs(edges.begin(), edges.end());
}

// What a schedule of reads and writes shows to its readers: the write each read reads (by its
// index, -1 for the initial value) and the last write of each item.
struct ViewOf {
  std::map<std::size_t, int> readFrom;
  std::map<char, int> finalWrite;
  bool operator==(const ViewOf&) const = default;
};

// The view of the operations `p` run in the order `run` (indexes into `p`).
ViewOf View(const std::vector<Operation>& p, const std::vector<std::size_t>& run) {
  ViewOf view;
  for (const std::size_t i : run) {
    if (p[i].kind == OpKind::Write) {
      view.finalWrite[p[i].item] = static_cast<int>(i);
    } else {
      const auto last = view.finalWrite.find(p[i].item);
      view.readFrom[i] = last == view.finalWrite.end() ? -1 : last->second;
    }
  }
  return view;
}

// `a` comes before `b` in `order`.
bool Before(const Numbers& order, std::int32_t a, std::int32_t b) {
  return std::ranges::find(order, a) < std::ranges::find(order, b);
}

// What the definitions say about `plan`; `viewOrders` gets every serial order of P that is
// view-equivalent to P. A verdict's breach holds the position and transaction of its first
// failure.
PlanReport Reference(const std::vector<Operation>& plan, std::vector<Numbers>& viewOrders) {
  // The written schedule S: the operations of transactions 1..10 up to their commit or abort.
  std::vector<Operation> s;
  std::vector<std::int64_t> positions;  // of S's operations in the plan
  std::map<std::int32_t, std::size_t> commitAt;
  std::map<std::int32_t, std::size_t> abortAt;
  for (std::size_t n = 0; n < plan.size(); ++n) {
    const Operation& operation = plan[n];
    const std::int32_t t = operation.number;
    const bool known = t >= 1 && t <= 10 && (!IsAccess(operation) || operation.item != ' ');
    if (!known || commitAt.contains(t) || abortAt.contains(t)) {
      continue;
    }
    positions.push_back(static_cast<std::int64_t>(n) + 2);
    if (operation.kind == OpKind::Validate) {
      commitAt[t] = s.size();
    }
    if (operation.kind == OpKind::Abort) {
      abortAt[t] = s.size();
    }
    s.push_back(operation);
  }
  const auto endOf = [&](std::int32_t t) {
    return std::min(commitAt.contains(t) ? commitAt[t] : SIZE_MAX,
                    abortAt.contains(t) ? abortAt[t] : SIZE_MAX);
  };

  PlanReport report;
  std::set<std::int32_t> transactions;
  std::vector<Operation> p;  // the projection: the reads and writes of transactions not aborted
  for (std::size_t v = 0; v < s.size(); ++v) {
    transactions.insert(s[v].number);
    if (IsAccess(s[v]) && !abortAt.contains(s[v].number)) {
      p.push_back(s[v]);
    }
    // Strict: nothing touches an item that another transaction wrote and has not ended.
    std::size_t source = SIZE_MAX;  // the write this read reads in S
    for (std::size_t i = 0; i < v; ++i) {
      if (Conflict(s[i], s[v]) && s[i].kind == OpKind::Write && endOf(s[i].number) > v) {
        if (report.strict) {
          report.unstrict = {positions[v], s[v].number, 0, s[v].item};
        }
        report.strict = false;
      }
      const bool writerNotAborted = !abortAt.contains(s[i].number) || abortAt[s[i].number] > v;
      if (s[i].kind == OpKind::Write && s[i].item == s[v].item && writerNotAborted) {
        source = i;
      }
    }
    if (s[v].kind == OpKind::Read && source != SIZE_MAX && s[source].number != s[v].number) {
      const std::int32_t writer = s[source].number;
      const std::int32_t reader = s[v].number;
      // Reads-from: each reader, writer and item once, in the order of their first read.
      const bool seen = std::ranges::any_of(report.readsFrom, [&](const ReadFrom& pair) {
        return pair.reader == reader && pair.writer == writer && pair.item == s[v].item;
      });
      if (!seen) {
        report.readsFrom.push_back({reader, writer, s[v].item});
      }
      const std::size_t writerCommit = commitAt.contains(writer) ? commitAt[writer] : SIZE_MAX;
      // Cascadeless: reads only committed writes. Recoverable: commits after its writers.
      if (writerCommit > v) {
        if (report.cascadeless) {
          report.cascade = {positions[v], reader, writer, s[v].item};
        }
        report.cascadeless = false;
      }
      if (commitAt.contains(reader) && writerCommit > commitAt[reader]) {
        const std::int64_t commit = positions[commitAt[reader]];
        if (report.recoverable || commit < report.unrecoverable.position) {
          report.unrecoverable = {commit, reader, 0, ' '};
        }
        report.recoverable = false;
      }
    }
  }
  report.transactions.assign(transactions.begin(), transactions.end());
  report.edges = ConflictPairs(p);

  // Every serial order of P's transactions, smallest first: the first that fits is reported.
  Numbers order;
  for (const std::int32_t t : transactions) {
    if (!abortAt.contains(t)) {
      order.push_back(t);
    }
  }
  std::vector<std::size_t> asWritten(p.size());
  for (std::size_t i = 0; i < p.size(); ++i) {
    asWritten[i] = i;
  }
  report.conflictSerializable = false;
  report.viewSerializable = false;
  do {
    const bool edgesForward = std::ranges::all_of(
        report.edges, [&](const auto& edge) { return Before(order, edge.first, edge.second); });
    if (edgesForward && !report.conflictSerializable) {
      report.conflictSerializable = true;
      report.conflictOrder = order;
    }
    std::vector<std::size_t> serial = asWritten;
    std::ranges::stable_sort(serial, [&](std::size_t a, std::size_t b) {
      return Before(order, p[a].number, p[b].number);
    });
    if (View(p, serial) == View(p, asWritten)) {
      viewOrders.push_back(order);
      if (!report.viewSerializable) {
        report.viewSerializable = true;
        report.viewOrder = order;
      }
    }
  } while (std::ranges::next_permutation(order).found);
  return report;
}

// "R3(A)", "W10", "T0", "C11": the operation as a plan file spells it. A read or write without
// an item is read without one.
std::string Spelling(const Operation& operation) {
  std::string text;
  switch (operation.kind) {
    case OpKind::Validate:
      text = "C";
      break;
    case OpKind::Abort:
      text = "A";
      break;
    case OpKind::Read:
      text = "R";
      break;
    case OpKind::Write:
      text = "W";
      break;
    default:
      text = "T";
      break;
  }
  text += std::to_string(operation.number);
  if (IsAccess(operation) && operation.item != ' ') {
    text = text + "(" + operation.item + ")";
  }
  return text;
}

// Random plans of up to five transactions out of 0..11 (0 and 11 are outside the tables, 9 and
// 10 use the high bits of every set) on the items A, B and Z (the first and last letters), one a
// line: what the analysis says about each must be what the definitions say, and its order, cycle
// and verdicts must fit together.
TEST(PlanAnalysis, AgreesWithTheDefinitionsOnRandomPlans) {
  std::mt19937 random(16);
  const OpKind kinds[] = {OpKind::Begin, OpKind::Begin,    OpKind::Read,  OpKind::Read,
                          OpKind::Read,  OpKind::Write,    OpKind::Write, OpKind::Write,
                          OpKind::Write, OpKind::Validate, OpKind::Abort};
  const char items[] = {'A', 'B', 'Z', ' '};
  std::vector<std::vector<Operation>> plans(10000);
  std::vector<std::string> lines;
  for (std::vector<Operation>& plan : plans) {
    std::vector<std::int32_t> numbers(12);
    for (std::int32_t t = 0; t < 12; ++t) {
      numbers[t] = t;
    }
    std::ranges::shuffle(numbers, random);
    numbers.resize(1 + random() % 5);
    plan.resize(random() % 20);
    std::string line = "P1";
    for (Operation& operation : plan) {
      operation.kind = kinds[random() % std::size(kinds)];
      operation.number = numbers[random() % numbers.size()];
      // The reader delivers no item for a number below 1, nor for other kinds.
      const bool hasItem = IsAccess(operation) && operation.number >= 1;
      operation.item = hasItem ? items[random() % std::size(items)] : ' ';
      line += "; " + Spelling(operation);
    }
    lines.push_back(line);
  }
  std::string planFile;
  for (const std::string& line : lines) {
    planFile += line + "\r\n";
  }

  const std::vector<PlanReport> reports = ReportsOf(planFile);
  ASSERT_EQ(reports.size(), plans.size());
  for (std::size_t n = 0; n < plans.size(); ++n) {
    SCOPED_TRACE(lines[n]);
    const PlanReport& report = reports[n];
    std::vector<Numbers> viewOrders;
    const PlanReport expected = Reference(plans[n], viewOrders);
    ASSERT_EQ(report.line, static_cast<std::int64_t>(n + 1));
    ASSERT_EQ(report.transactions, expected.transactions);
    ASSERT_EQ(report.edges, expected.edges);
    ASSERT_EQ(report.conflictSerializable, expected.conflictSerializable);
    ASSERT_EQ(report.conflictOrder, expected.conflictOrder);
    ASSERT_EQ(report.viewSerializable, expected.viewSerializable);
    ASSERT_EQ(report.viewOrder, expected.viewOrder);
    ASSERT_EQ(report.recoverable, expected.recoverable);
    ASSERT_EQ(report.cascadeless, expected.cascadeless);
    ASSERT_EQ(report.strict, expected.strict);
    ASSERT_EQ(TriplesOf(report.readsFrom), TriplesOf(expected.readsFrom));
    // Where each verdict first fails: the operation, the transaction, and for a read of a write
    // not committed the writer it read.
    EXPECT_EQ(report.unstrict.position, expected.unstrict.position);
    EXPECT_EQ(report.unstrict.t, expected.unstrict.t);
    EXPECT_EQ(report.unstrict.item, expected.unstrict.item);
    EXPECT_EQ(report.cascade.position, expected.cascade.position);
    EXPECT_EQ(report.cascade.t, expected.cascade.t);
    EXPECT_EQ(report.cascade.u, expected.cascade.u);
    EXPECT_EQ(report.unrecoverable.position, expected.unrecoverable.position);
    EXPECT_EQ(report.unrecoverable.t, expected.unrecoverable.t);
    // A given serial order of P is found view-equivalent exactly when it is; the first few
    // thousand plans, every order.
    if (n < 2000) {
      Numbers order = TransactionsOfP(report);
      do {
        const bool equivalent = std::ranges::find(viewOrders, order) != viewOrders.end();
        EXPECT_EQ(CompareViews(report, order).kind == ViewDifference::Kind::None, equivalent)
            << testing::PrintToString(order);
      } while (std::ranges::next_permutation(order).found);
    }

    // The cycle: edges of the graph, closed, no transaction twice in between.
    const Numbers& cycle = report.conflictCycle;
    EXPECT_EQ(cycle.empty(), report.conflictSerializable);
    if (!cycle.empty()) {
      EXPECT_EQ(cycle.front(), cycle.back());
      EXPECT_EQ(std::set(cycle.begin() + 1, cycle.end()).size(), cycle.size() - 1);
    }
    for (std::size_t i = 1; i < cycle.size(); ++i) {
      EXPECT_TRUE(std::ranges::binary_search(report.edges, std::pair(cycle[i - 1], cycle[i])));
    }
    // What timestamp ordering executed is conflict-equivalent to its order of timestamps.
    std::vector<Operation> executed;
    for (const Access& access : report.executed) {
      executed.push_back({access.kind, access.t, access.item});
    }
    for (const auto& [from, to] : ConflictPairs(executed)) {
      EXPECT_TRUE(Before(report.toOrder, from, to)) << "T" << from << " -> T" << to;
    }
  }
}

}  // namespace
}  // namespace tosim::analysis
