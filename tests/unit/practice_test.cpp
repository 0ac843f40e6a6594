// The checker of a student's answers, on answers written by hand: every cell of a right answer
// is right; a slip is one mark, and the cells that only follow from it are consistent with the
// student's own earlier values; any valid order or cycle counts; each reason carries the rule and
// the numbers it was judged with.
#include "practice/check.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "plan_reports.h"
#include "report/check_report.h"

namespace tosim::practice {
namespace {

using analysis::Outcome;
using analysis::PlanReport;
using analysis::Rule;
using Numbers = std::vector<std::int32_t>;

constexpr Outcome kBegun = Outcome::Begun;
constexpr Outcome kExecuted = Outcome::Executed;
constexpr Outcome kRejected = Outcome::Rejected;
constexpr Outcome kSkipped = Outcome::Skipped;
constexpr Outcome kCommitted = Outcome::Committed;
constexpr Outcome kAborted = Outcome::Aborted;
constexpr Outcome kError = Outcome::Error;

// The report of the one plan of `line`, its timestamps from 1.
PlanReport ReportOf(std::string_view line) {
  const std::vector<PlanReport> reports = analysis::ReportsOf(line, PlanTimestamps::FromOne);
  EXPECT_EQ(reports.size(), 1u);
  return reports.front();
}

// A row of the trace answered: its decision, and TS_lect and TS_escr after it (none when the row
// shows no status).
TraceAnswer Row(Outcome decision) {
  TraceAnswer row;
  row.decision.Set(decision);
  row.tsLect.SetNone();
  row.tsEscr.SetNone();
  return row;
}
TraceAnswer Row(Outcome decision, std::int32_t tsLect, std::int32_t tsEscr) {
  TraceAnswer row;
  row.decision.Set(decision);
  row.tsLect.Set(tsLect);
  row.tsEscr.Set(tsEscr);
  return row;
}

Answers TraceOnly(std::vector<TraceAnswer> rows) {
  Answers answers;
  answers.trace.Set(std::move(rows));
  return answers;
}

const Cell* Find(const PlanMarks& marks, Field field, std::int32_t index = 0) {
  for (const Cell& cell : marks.cells) {
    if (cell.field == field && cell.index == index) {
      return &cell;
    }
  }
  return nullptr;
}

// The cells not right, as "trace[3].decision wrong" lines, to compare whole.
std::vector<std::string> NotRight(const PlanMarks& marks) {
  std::vector<std::string> lines;
  for (const Cell& cell : marks.cells) {
    lines.push_back(report::CellKey(cell) + (cell.mark == Mark::Wrong ? " wrong" : " consistent"));
  }
  return lines;
}

// T2 reads A first, so T1's write of A comes too late; T1's later operations find it aborted.
constexpr std::string_view kLateWrite = "P1; T1; T2; R2(A); W1(A); W1(B); C1; C2\n";

TEST(Check, AWrongDecisionIsOneMarkWithTheRuleAndItsNumbers) {
  const PlanReport report = ReportOf(kLateWrite);
  // W1(A) said skipped: T1 would go on, but the student then answers the run's own rows.
  const PlanMarks marks =
      CheckPlan(report, nullptr,
                TraceOnly({Row(kBegun), Row(kBegun), Row(kExecuted, 2, 0), Row(kSkipped, 2, 0),
                           Row(kError), Row(kError), Row(kCommitted)}));
  EXPECT_EQ(NotRight(marks), std::vector<std::string>{"trace[3].decision wrong"});
  const Cell& cell = marks.cells.front();
  EXPECT_EQ(cell.given.outcome, kSkipped);
  EXPECT_EQ(cell.expected.outcome, kRejected);
  EXPECT_EQ(analysis::RuleOf(cell.reason.judged), Rule::WriteTooLate);
  EXPECT_EQ(cell.reason.judged.ts, 1);
  EXPECT_EQ(cell.reason.judged.tsLect, 2);
}

// TS_lect(A) answered 0 after R2(A): two rows down, W1(A) is the write the student's value lets
// through, and T1 goes on to commit in their run.
TEST(Check, ASlipTwoRowsUpMakesTheLaterCellsConsistent) {
  const PlanReport report = ReportOf("P1; T1; T2; R2(A); R1(B); W1(A); C1; C2\n");
  Answers answers = TraceOnly({Row(kBegun), Row(kBegun), Row(kExecuted, 0, 0), Row(kExecuted, 1, 0),
                               Row(kExecuted, 0, 1), Row(kCommitted), Row(kCommitted)});
  answers.committed.Set({1, 2});
  answers.aborted.Set({});
  const PlanMarks marks = CheckPlan(report, nullptr, answers);
  EXPECT_EQ(NotRight(marks),
            (std::vector<std::string>{"committed consistent", "aborted consistent",
                                      "trace[2].ts_lect wrong", "trace[4].decision consistent",
                                      "trace[4].ts_lect consistent", "trace[4].ts_escr consistent",
                                      "trace[5].decision consistent"}));
  // Judged with the student's TS_lect(A) = 0: the write rule, not the late write.
  const Cell& write = *Find(marks, Field::Decision, 4);
  EXPECT_EQ(analysis::RuleOf(write.reason.judged), Rule::Write);
  EXPECT_EQ(write.reason.judged.tsLect, 0);
  EXPECT_EQ(analysis::RuleOf(write.reason.truth), Rule::WriteTooLate);
  EXPECT_EQ(write.reason.truth.tsLect, 2);
  // T1's missing abort is the late write's.
  const Cell& aborted = *Find(marks, Field::Aborted);
  EXPECT_EQ(aborted.reason.t, 1);
  EXPECT_TRUE(aborted.reason.missing);
  EXPECT_EQ(aborted.reason.entry, 4);
}

// The same slip reaches three rows: the write, T1's next write and its commit.
TEST(Check, ASlipFollowsThroughThreeRows) {
  const PlanReport report = ReportOf(kLateWrite);
  const PlanMarks marks =
      CheckPlan(report, nullptr,
                TraceOnly({Row(kBegun), Row(kBegun), Row(kExecuted, 0, 0), Row(kExecuted, 0, 1),
                           Row(kExecuted, 0, 1), Row(kCommitted), Row(kCommitted)}));
  EXPECT_EQ(NotRight(marks), (std::vector<std::string>{
                                 "trace[2].ts_lect wrong", "trace[3].decision consistent",
                                 "trace[3].ts_lect consistent", "trace[3].ts_escr consistent",
                                 "trace[4].decision consistent", "trace[4].ts_lect consistent",
                                 "trace[4].ts_escr consistent", "trace[5].decision consistent"}));
  EXPECT_EQ(marks.wrong, 1);
  // A number that follows from nothing the student said is wrong, whatever came before.
  const PlanMarks again =
      CheckPlan(report, nullptr,
                TraceOnly({Row(kBegun), Row(kBegun), Row(kExecuted, 0, 0), Row(kExecuted, 0, 1),
                           Row(kExecuted, 0, 5), Row(kCommitted), Row(kCommitted)}));
  EXPECT_EQ(Find(again, Field::TsEscr, 4)->mark, Mark::Wrong);
}

// W1(A) is obsolete (T2 wrote A) but nobody younger read it: the Thomas rule skips it.
TEST(Check, AThomasSkipPredictedAsARejection) {
  const PlanReport report = ReportOf("P1; T1; T2; W2(A); W1(A); W1(B); C1; C2\n");
  Answers answers = TraceOnly({Row(kBegun), Row(kBegun), Row(kExecuted, 0, 2), Row(kRejected, 0, 2),
                               Row(kError), Row(kError), Row(kCommitted)});
  answers.committed.Set({2});
  answers.aborted.Set({1});
  answers.skippedWrites.Set({});
  const PlanMarks marks = CheckPlan(report, nullptr, answers);
  EXPECT_EQ(NotRight(marks), (std::vector<std::string>{
                                 "committed consistent", "aborted consistent",
                                 "skipped_writes consistent", "trace[3].decision wrong",
                                 "trace[4].decision consistent", "trace[4].ts_lect consistent",
                                 "trace[4].ts_escr consistent", "trace[5].decision consistent"}));
  const Cell& skip = *Find(marks, Field::Decision, 3);
  EXPECT_EQ(analysis::RuleOf(skip.reason.judged), Rule::Thomas);
  EXPECT_EQ(skip.reason.judged.tsEscr, 2);
  // Their T1 aborted: its later read-and-write finds it not active.
  EXPECT_EQ(analysis::RuleOf(Find(marks, Field::Decision, 4)->reason.judged),
            Rule::AccessNotActive);
}

// An `A` aborts its transaction: it is not a rejection, but the student's run goes on the same.
TEST(Check, AnAbortPredictedAsARejection) {
  const PlanReport report = ReportOf("P1; T1; T2; R1(A); A1; W2(A); C2\n");
  Answers answers = TraceOnly({Row(kBegun), Row(kBegun), Row(kExecuted, 1, 0), Row(kRejected),
                               Row(kExecuted, 1, 2), Row(kCommitted)});
  answers.aborted.Set({1});
  const PlanMarks marks = CheckPlan(report, nullptr, answers);
  EXPECT_EQ(NotRight(marks), std::vector<std::string>{"trace[3].decision wrong"});
  EXPECT_EQ(analysis::RuleOf(marks.cells.front().reason.judged), Rule::Abort);
}

// A second begin of T1 taken for a begin: the counter runs one further in the student's run.
TEST(Check, TimestampsFollowTheStudentsBegins) {
  const PlanReport report = ReportOf("P1; T1; T1; T2; C2\n");
  Answers answers = TraceOnly({Row(kBegun), Row(kBegun), Row(kBegun), Row(kCommitted)});
  answers.timestamps[0].Set(2);
  answers.timestamps[1].Set(3);
  answers.timestamps[2].SetNone();  // right: T3 never begins
  const PlanMarks marks = CheckPlan(report, nullptr, answers);
  EXPECT_EQ(NotRight(marks),
            (std::vector<std::string>{"timestamps.1 consistent", "timestamps.2 consistent",
                                      "trace[1].decision wrong"}));
  // Right: the trace's other eleven cells, and T3's timestamp.
  EXPECT_EQ(marks.right, 12);
  EXPECT_EQ(analysis::RuleOf(Find(marks, Field::Decision, 1)->reason.judged), Rule::AlreadyBegun);
  // A timestamp from nowhere is wrong, and says how the run gave it.
  answers.timestamps[1].Set(7);
  const PlanMarks marked = CheckPlan(report, nullptr, answers);
  const Cell& wrong = *Find(marked, Field::Timestamp, 2);
  EXPECT_EQ(wrong.mark, Mark::Wrong);
  EXPECT_EQ(wrong.reason.why, Why::Begin);
  EXPECT_EQ(wrong.reason.truth.ts, 2);
}

// T1 and T2 each write what T3 reads: both T1, T2, T3 and T2, T1, T3 are serial orders of the
// graph and view-equivalent to the plan.
TEST(Check, AnyValidSerialOrderCounts) {
  const PlanReport report = ReportOf("P1; T1; T2; T3; W1(A); W2(B); R3(A); R3(B); C1; C2; C3\n");
  const auto mark = [&](Field field, const Numbers& order) {
    Answers answers;
    (field == Field::ConflictOrder ? answers.conflictOrder : answers.viewOrder).Set(order);
    const PlanMarks marks = CheckPlan(report, nullptr, answers);
    return marks.cells.empty() ? Cell{} : marks.cells.front();
  };
  for (const Field field : {Field::ConflictOrder, Field::ViewOrder}) {
    EXPECT_EQ(mark(field, {1, 2, 3}).mark, Mark::Right);
    EXPECT_EQ(mark(field, {2, 1, 3}).mark, Mark::Right);
    const Cell missing = mark(field, {1, 3});
    EXPECT_EQ(missing.reason.why, Why::NotAnOrder);
    EXPECT_EQ(missing.reason.numbers, (Numbers{1, 2, 3}));
  }
  const Cell against = mark(Field::ConflictOrder, {3, 1, 2});
  EXPECT_EQ(against.mark, Mark::Wrong);
  EXPECT_EQ(against.reason.why, Why::EdgeAgainst);
  EXPECT_EQ(against.reason.t, 3);
  EXPECT_EQ(against.reason.u, 1);
  EXPECT_EQ(against.expected.numbers, (Numbers{1, 2, 3}));
  // In T1, T3, T2 the read of B (operation 8) reads the initial value, not T2's write (6).
  const Cell view = mark(Field::ViewOrder, {1, 3, 2});
  EXPECT_EQ(view.reason.why, Why::ViewDiffers);
  EXPECT_EQ(view.reason.view.kind, analysis::ViewDifference::Kind::Read);
  EXPECT_EQ(view.reason.view.position, 8);
  EXPECT_EQ(view.reason.view.writerInP, 2);
  EXPECT_EQ(view.reason.view.writeInP, 6);
  EXPECT_EQ(view.reason.view.writerInOrder, 0);
}

// Blind writes of A: any order that writes T3's last is view-equivalent, none is conflict-
// equivalent; the last write decides.
TEST(Check, ViewOrdersAreJudgedByTheirLastWrites) {
  const PlanReport report = ReportOf("P1; T1; T2; T3; W1(A); W2(A); W1(A); W3(A); C1; C2; C3\n");
  ASSERT_FALSE(report.conflictSerializable);
  for (const Numbers& order : {Numbers{1, 2, 3}, Numbers{2, 1, 3}}) {
    Answers answers;
    answers.viewSerializable.Set(true);
    answers.viewOrder.Set(order);
    EXPECT_EQ(CheckPlan(report, nullptr, answers).wrong, 0);
  }
  Answers answers;
  answers.viewOrder.Set({3, 1, 2});
  const PlanMarks marks = CheckPlan(report, nullptr, answers);
  ASSERT_EQ(marks.wrong, 1);
  const analysis::ViewDifference& view = marks.cells.front().reason.view;
  EXPECT_EQ(view.kind, analysis::ViewDifference::Kind::FinalWrite);
  EXPECT_EQ(view.item, 'A');
  EXPECT_EQ(view.writerInP, 3);
  EXPECT_EQ(view.writerInOrder, 2);
}

// Two cycles through T2: either is a cycle of the graph, from any of its transactions.
TEST(Check, AnyCycleOfTheGraphCounts) {
  const PlanReport report = ReportOf(
      "P1; T1; T2; T3; R1(A); W2(A); R2(B); W1(B); R3(C); W2(C); R2(D); W3(D); C1; C2; C3\n");
  const auto mark = [&](const Numbers& cycle) {
    Answers answers;
    answers.conflictSerializable.Set(false);
    answers.conflictCycle.Set(cycle);
    const PlanMarks marks = CheckPlan(report, nullptr, answers);
    return marks.cells.empty() ? Cell{} : marks.cells.front();
  };
  for (const Numbers& cycle : {Numbers{1, 2, 1}, Numbers{2, 1, 2}, Numbers{2, 3, 2}}) {
    EXPECT_EQ(mark(cycle).mark, Mark::Right);
  }
  const Cell notAnEdge = mark({1, 2, 3, 1});
  EXPECT_EQ(notAnEdge.reason.why, Why::NotAnEdge);
  EXPECT_EQ(notAnEdge.reason.t, 3);
  EXPECT_EQ(notAnEdge.reason.u, 1);
  EXPECT_EQ(mark({1, 2}).reason.why, Why::NotACycle);
  EXPECT_EQ(mark({2, 1, 2, 3, 2}).reason.why, Why::NotACycle);
}

// "Yes, in the order T1, T2, T3" to a plan with a cycle: one mistake; the order and the empty
// cycle only follow from it.
TEST(Check, AnOrderGivenWithAWrongYesFollowsIt) {
  const PlanReport report = ReportOf("P1; T1; T2; R1(A); W2(A); R2(B); W1(B); C1; C2\n");
  Answers answers;
  answers.conflictSerializable.Set(true);
  answers.conflictOrder.Set({1, 2});
  answers.conflictCycle.SetNone();
  const PlanMarks marks = CheckPlan(report, nullptr, answers);
  EXPECT_EQ(NotRight(marks),
            (std::vector<std::string>{"conflict_serializable wrong", "conflict_order consistent",
                                      "conflict_cycle consistent"}));
  EXPECT_EQ(marks.cells.front().reason.numbers, (Numbers{1, 2, 1}));
  // A cycle after one's own "yes" contradicts it.
  answers.conflictCycle.Set({1, 2, 1});
  EXPECT_EQ(Find(CheckPlan(report, nullptr, answers), Field::ConflictCycle)->mark, Mark::Wrong);
}

// T2 reads A from T1, which has not committed: the read breaks cascadelessness and strictness,
// and T2's commit before T1's breaks recoverability.
TEST(Check, AVerdictSaysWhereItFails) {
  const PlanReport report = ReportOf("P1; T1; T2; W1(A); R2(A); C2; C1\n");
  Answers answers;
  answers.recoverable.Set(true);
  answers.cascadeless.Set(true);
  answers.strict.Set(true);
  const PlanMarks marks = CheckPlan(report, nullptr, answers);
  ASSERT_EQ(marks.wrong, 3);
  const analysis::Breach recoverable = Find(marks, Field::Recoverable)->reason.breach;
  EXPECT_EQ(recoverable.position, 6);
  EXPECT_EQ(recoverable.t, 2);
  EXPECT_EQ(recoverable.u, 1);
  EXPECT_EQ(recoverable.item, 'A');
  EXPECT_EQ(Find(marks, Field::Cascadeless)->reason.breach.position, 5);
  EXPECT_EQ(Find(marks, Field::Strict)->reason.breach.position, 5);
}

TEST(Check, AnswersThatDoNotFitThePlanAreNotMarked) {
  const PlanReport report = ReportOf(kLateWrite);
  Answers answers = TraceOnly({Row(kBegun), Row(kBegun)});
  answers.recoverable.Set(false);
  const PlanMarks marks = CheckPlan(report, nullptr, answers);
  EXPECT_EQ(marks.misfit.kind, Misfit::Kind::TraceLength);
  EXPECT_EQ(marks.misfit.given, 2u);
  EXPECT_EQ(marks.misfit.expected, 7u);
  EXPECT_EQ(marks.right + marks.wrong + marks.consistent, 0);
}

}  // namespace
}  // namespace tosim::practice
