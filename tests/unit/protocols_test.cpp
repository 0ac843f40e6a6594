// The protocol lab's rules that are easiest to pin down alone: an empty plan, first come first
// served among runnable transactions, a wait that resumes into a rejection, and timestamps that
// are not the transactions' numbers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocols/protocols.h"

namespace tosim::protocols {
namespace {

using Timestamps = std::vector<std::pair<std::int32_t, std::int32_t>>;

Operation Op(OpKind kind, std::int32_t number, char item = ' ') {
  return Operation{kind, number, item};
}

Operation Begin(std::int32_t t) {
  return Op(OpKind::Begin, t);
}
Operation Read(std::int32_t t, char x) {
  return Op(OpKind::Read, t, x);
}
Operation Write(std::int32_t t, char x) {
  return Op(OpKind::Write, t, x);
}
Operation Commit(std::int32_t t) {
  return Op(OpKind::Validate, t);
}

const PlanProtocols& Replay(ProtocolLab& lab, const std::vector<Operation>& plan,
                            const Timestamps& timestamps) {
  lab.Start();
  for (const Operation& operation : plan) {
    lab.Add(operation);
  }
  return lab.Finish(timestamps);
}

const ProtocolRun& RunOf(const PlanProtocols& plan, Protocol protocol) {
  return plan.runs[static_cast<int>(protocol)];
}

std::string History(const ProtocolRun& run) {
  std::string text;
  for (const Event& event : run.history) {
    text += text.empty() ? "" : " ";
    text += StepLabel({event.kind, event.t, event.item});
  }
  return text;
}

TEST(ProtocolSchedule, EmptyPlanHasEmptyRunsWithAnEmptyOrder) {
  ProtocolLab lab;
  const PlanProtocols& plan = Replay(lab, {}, {});
  for (const ProtocolRun& run : plan.runs) {
    EXPECT_TRUE(run.steps.empty());
    EXPECT_TRUE(run.orderExists);
    EXPECT_TRUE(run.order.empty());
  }
}

TEST(ProtocolReplay, TransactionsReleasedTogetherRunInTheOrderTheirWaitsBegan) {
  ProtocolLab lab;
  // T3 asks for A before T2 does; both wait for T1's exclusive lock and get shared ones at C1.
  const PlanProtocols& plan = Replay(lab,
                                     {Begin(1), Begin(2), Begin(3), Write(1, 'A'), Read(3, 'A'),
                                      Read(2, 'A'), Commit(1), Commit(2), Commit(3)},
                                     {{1, 1}, {2, 2}, {3, 3}});
  EXPECT_EQ(History(RunOf(plan, Protocol::TwoPl)), "W1(A) C1 R3(A) R2(A) C2 C3");
  EXPECT_EQ(History(RunOf(plan, Protocol::WoundWait)), "W1(A) C1 R3(A) R2(A) C2 C3");
  // Under strict timestamp ordering both wait for the last writer, T1, in the same order.
  EXPECT_EQ(History(RunOf(plan, Protocol::StrictTo)), "W1(A) C1 R3(A) R2(A) C2 C3");
}

TEST(ProtocolReplay, AResumedWriteCanStillBeRejected) {
  ProtocolLab lab;
  // T3 reads A after C1 (it waited first), so T2's write, resumed after it, comes too late.
  const PlanProtocols& plan = Replay(lab,
                                     {Begin(1), Begin(2), Begin(3), Write(1, 'A'), Read(3, 'A'),
                                      Write(2, 'A'), Commit(1), Commit(2), Commit(3)},
                                     {{1, 1}, {2, 2}, {3, 3}});
  const ProtocolRun& run = RunOf(plan, Protocol::StrictTo);
  EXPECT_EQ(History(run), "W1(A) C1 R3(A) A2 C3");
  const Step& write = run.steps[5];
  EXPECT_EQ(StepLabel(write), "W2(A)");
  EXPECT_EQ(write.result, Result::Rejected);
  EXPECT_TRUE(write.delayed);
  EXPECT_EQ(write.waitedFor, TransactionSet{1});
  EXPECT_EQ(run.causes[1], Cause::Rejected);
  EXPECT_EQ(run.steps[7].result, Result::Ignored);  // C2
}

TEST(ProtocolReplay, AgeComesFromTheTimestampsNotTheNumbers) {
  ProtocolLab lab;
  // T2 began first in an earlier plan's run of the counter: it is the older one.
  const std::vector<Operation> operations{Begin(2),      Begin(1),  Read(1, 'A'),
                                          Write(2, 'A'), Commit(1), Commit(2)};
  const PlanProtocols& plan = Replay(lab, operations, {{1, 8}, {2, 7}});
  // wait_die: the older T2 waits for the younger T1.
  const ProtocolRun& waitDie = RunOf(plan, Protocol::WaitDie);
  EXPECT_EQ(History(waitDie), "R1(A) C1 W2(A) C2");
  // wound_wait: T2 wounds T1.
  const ProtocolRun& woundWait = RunOf(plan, Protocol::WoundWait);
  EXPECT_EQ(History(woundWait), "R1(A) A1 W2(A) C2");
  EXPECT_EQ(woundWait.causes[0], Cause::Wounded);
  // mvto and to: the younger T1 read A, so the older T2's write is rejected.
  EXPECT_EQ(History(RunOf(plan, Protocol::Mvto)), "R1(A) A2 C1");
  EXPECT_EQ(History(RunOf(plan, Protocol::To)), "R1(A) A2 C1");
}

TEST(ProtocolReplay, MvtoCascadesThroughAChainInNumberOrder) {
  ProtocolLab lab;
  // T3 read T2's version, T2 read T1's; T1 aborts: T2 first, then T3.
  const PlanProtocols& plan = Replay(lab,
                                     {Begin(1), Begin(2), Begin(3), Write(1, 'A'), Read(2, 'A'),
                                      Write(2, 'B'), Read(3, 'B'), Op(OpKind::Abort, 1)},
                                     {{1, 1}, {2, 2}, {3, 3}});
  const ProtocolRun& run = RunOf(plan, Protocol::Mvto);
  EXPECT_EQ(History(run), "W1(A) R2(A) W2(B) R3(B) A1 A2 A3");
  EXPECT_EQ(run.causes[0], Cause::Abort);
  EXPECT_EQ(run.causes[1], Cause::Cascade);
  EXPECT_EQ(run.causes[2], Cause::Cascade);
}

TEST(ProtocolReplay, TwoPlSearchesAgainAfterTheVictimAndLeavesOtherWaits) {
  ProtocolLab lab;
  // T1 holds A and B shared with T2 and T3; T2 and T3 queue for exclusive A and B; T1's own
  // upgrade on A then waits for T2, which waits for T1: victim T2. T3 still waits for T1 on B.
  const PlanProtocols& plan =
      Replay(lab,
             {Begin(1), Begin(2), Begin(3), Read(1, 'A'), Read(2, 'A'), Read(1, 'B'), Write(3, 'B'),
              Write(2, 'A'), Write(1, 'A'), Commit(1), Commit(3)},
             {{1, 1}, {2, 2}, {3, 3}});
  const ProtocolRun& run = RunOf(plan, Protocol::TwoPl);
  ASSERT_EQ(run.deadlocks.size(), 1u);
  EXPECT_EQ(run.deadlocks[0].cycle, (std::vector<std::int32_t>{1, 2, 1}));
  EXPECT_EQ(run.deadlocks[0].victim, 2);
  EXPECT_EQ(History(run), "R1(A) R2(A) R1(B) A2 W1(A) C1 W3(B) C3");
}

}  // namespace
}  // namespace tosim::protocols
