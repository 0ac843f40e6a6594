// The pairs of properties that tosim-gen does not find (deadlock with no-dies, deadlock with
// no-wounds) do not exist among the small plans: every plan of tosim-gen's form with 3
// transactions, 2 items and up to 6 reads and writes is replayed under 2pl, and wherever 2pl
// deadlocks, wait_die has a transaction die and wound_wait one wounded.
//
// The three locking protocols decide nothing by where a begin stands (a begin only starts its
// transaction) or by whether a transaction ends with a commit or an abort (either frees its locks
// the same way), so the plans searched begin T1, T2, T3 first and end every transaction with a
// commit: 25,157,184 plans, items named in the order they first occur. The second test checks
// that claim on plans of every form through the whole protocol lab.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

#include "protocols/backlog_replay.h"
#include "protocols/protocols.h"

namespace tosim::protocols {
namespace {

constexpr int kTransactionsSearched = 3;
constexpr int kMostAccesses = 6;

bool AbortedFor(const ProtocolRun& run, Cause cause) {
  bool found = false;
  run.aborted.ForEach([&](std::int32_t t) { found = found || run.causes[t - 1] == cause; });
  return found;
}

struct Verdicts {
  bool deadlock = false;
  bool dies = false;
  bool wounds = false;
};

// The three locking protocols on `schedule`, its transactions' timestamps their numbers; wait_die
// and wound_wait only where 2pl deadlocks.
class Locking {
 public:
  Verdicts Of(const std::vector<Step>& schedule, bool always) {
    Verdicts verdicts;
    LockingRules twoPl(LockingRules::Policy::Detect);
    twoPl.deadlocks = &run_.deadlocks;
    Replay(twoPl).Run(schedule, kTimestamps, run_);
    verdicts.deadlock = !run_.deadlocks.empty();
    if (verdicts.deadlock || always) {
      LockingRules waitDie(LockingRules::Policy::WaitDie);
      Replay(waitDie).Run(schedule, kTimestamps, run_);
      verdicts.dies = AbortedFor(run_, Cause::Died);
      LockingRules woundWait(LockingRules::Policy::WoundWait);
      Replay(woundWait).Run(schedule, kTimestamps, run_);
      verdicts.wounds = AbortedFor(run_, Cause::Wounded);
    }
    return verdicts;
  }

 private:
  static constexpr std::int32_t kTimestamps[kTransactionCount] = {1, 2, 3};
  ProtocolRun run_;
};

Step StepOf(OpKind kind, int t, char item = ' ') {
  Step step;
  step.kind = kind;
  step.t = static_cast<std::int8_t>(t);
  step.item = item;
  return step;
}

struct Found {
  long plans = 0;
  long deadlocks = 0;
  long deadlocksWithoutDeath = 0;
  long deadlocksWithoutWound = 0;
};

// Every plan whose transactions have `accesses` reads and writes: every order of their
// operations after the begins, every read or write on A or B.
void Search(const int (&accesses)[kTransactionsSearched + 1], Found& found) {
  std::vector<int> order;  // which transaction's next operation comes, a commit last
  int total = 0;
  for (int t = 1; t <= kTransactionsSearched; ++t) {
    order.insert(order.end(), static_cast<std::size_t>(accesses[t]) + 1, t);
    total += accesses[t];
  }
  Locking locking;
  std::vector<Step> schedule;
  do {
    for (std::uint32_t code = 0; code < (1u << (2 * total)); ++code) {
      // Access i: bit 2i read or write, bit 2i+1 item A or B; A comes first.
      if ((code & 2u) != 0) {
        continue;
      }
      schedule.clear();
      for (int t = 1; t <= kTransactionsSearched; ++t) {
        schedule.push_back(StepOf(OpKind::Begin, t));
      }
      int left[kTransactionsSearched + 1] = {0, accesses[1], accesses[2], accesses[3]};
      int access = 0;
      for (const int t : order) {
        if (left[t]-- == 0) {
          schedule.push_back(StepOf(OpKind::Validate, t));
        } else {
          const std::uint32_t bits = code >> (2 * access++);
          schedule.push_back(StepOf((bits & 1u) != 0 ? OpKind::Write : OpKind::Read, t,
                                    (bits & 2u) != 0 ? 'B' : 'A'));
        }
      }
      const Verdicts verdicts = locking.Of(schedule, false);
      ++found.plans;
      if (verdicts.deadlock) {
        ++found.deadlocks;
        found.deadlocksWithoutDeath += verdicts.dies ? 0 : 1;
        found.deadlocksWithoutWound += verdicts.wounds ? 0 : 1;
      }
    }
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST(SmallPlans, NoDeadlockUnder2plWithoutADeathUnderWaitDieOrAWoundUnderWoundWait) {
#if defined(TOSIM_SANITIZE) || !defined(NDEBUG)
  GTEST_SKIP() << "the search of 25 million plans runs in the optimised builds";
#endif
  // Every split of the reads and writes among the three transactions, one at least each; two
  // threads share them.
  std::vector<std::vector<int>> splits;
  for (int a = 1; a <= kMostAccesses; ++a) {
    for (int b = 1; a + b <= kMostAccesses; ++b) {
      for (int c = 1; a + b + c <= kMostAccesses; ++c) {
        splits.push_back({0, a, b, c});
      }
    }
  }
  Found found[2];
  const auto work = [&](int half) {
    for (std::size_t i = static_cast<std::size_t>(half); i < splits.size(); i += 2) {
      const int accesses[] = {0, splits[i][1], splits[i][2], splits[i][3]};
      Search(accesses, found[half]);
    }
  };
  std::thread other(work, 1);
  work(0);
  other.join();
  EXPECT_EQ(found[0].plans + found[1].plans, 25157184);
  EXPECT_GT(found[0].deadlocks + found[1].deadlocks, 0);
  EXPECT_EQ(found[0].deadlocksWithoutDeath + found[1].deadlocksWithoutDeath, 0);
  EXPECT_EQ(found[0].deadlocksWithoutWound + found[1].deadlocksWithoutWound, 0);
}

TEST(SmallPlans, LockingDecidesTheSameWhereverTheBeginsStandAndHoweverTransactionsEnd) {
  // Plans with begins between the operations and aborts among the ends, through the whole lab,
  // against the same plan with its begins first and only commits.
  const std::vector<std::vector<Step>> plans = {
      {StepOf(OpKind::Begin, 1), StepOf(OpKind::Read, 1, 'A'), StepOf(OpKind::Begin, 2),
       StepOf(OpKind::Write, 2, 'B'), StepOf(OpKind::Write, 1, 'B'), StepOf(OpKind::Write, 2, 'A'),
       StepOf(OpKind::Abort, 1), StepOf(OpKind::Validate, 2)},
      {StepOf(OpKind::Begin, 1), StepOf(OpKind::Read, 1, 'A'), StepOf(OpKind::Begin, 2),
       StepOf(OpKind::Read, 2, 'A'), StepOf(OpKind::Write, 1, 'A'), StepOf(OpKind::Begin, 3),
       StepOf(OpKind::Read, 3, 'A'), StepOf(OpKind::Write, 2, 'A'), StepOf(OpKind::Abort, 2),
       StepOf(OpKind::Abort, 1), StepOf(OpKind::Validate, 3)},
      {StepOf(OpKind::Begin, 1), StepOf(OpKind::Begin, 2), StepOf(OpKind::Write, 2, 'A'),
       StepOf(OpKind::Begin, 3), StepOf(OpKind::Read, 1, 'A'), StepOf(OpKind::Write, 3, 'B'),
       StepOf(OpKind::Abort, 2), StepOf(OpKind::Read, 3, 'A'), StepOf(OpKind::Write, 1, 'B'),
       StepOf(OpKind::Validate, 3), StepOf(OpKind::Validate, 1)},
  };
  Locking locking;
  for (const std::vector<Step>& plan : plans) {
    ProtocolLab lab;
    lab.Start();
    std::vector<Step> reduced;
    for (int t = 1; t <= kTransactionsSearched; ++t) {
      reduced.push_back(StepOf(OpKind::Begin, t));
    }
    for (const Step& step : plan) {
      lab.Add({step.kind, step.t, step.item});
      if (step.kind != OpKind::Begin) {
        reduced.push_back(
            StepOf(step.kind == OpKind::Abort ? OpKind::Validate : step.kind, step.t, step.item));
      }
    }
    const PlanProtocols& runs = lab.Finish({{1, 1}, {2, 2}, {3, 3}});
    const Verdicts verdicts = locking.Of(reduced, true);
    EXPECT_EQ(verdicts.deadlock, !runs.runs[static_cast<int>(Protocol::TwoPl)].deadlocks.empty());
    EXPECT_EQ(verdicts.dies,
              AbortedFor(runs.runs[static_cast<int>(Protocol::WaitDie)], Cause::Died));
    EXPECT_EQ(verdicts.wounds,
              AbortedFor(runs.runs[static_cast<int>(Protocol::WoundWait)], Cause::Wounded));
    const auto steps = [](const ProtocolRun& run) {
      std::vector<std::pair<Result, bool>> results;
      for (const Step& step : run.steps) {
        if (step.kind == OpKind::Read || step.kind == OpKind::Write) {
          results.emplace_back(step.result, step.delayed);
        }
      }
      return results;
    };
    for (const LockingRules::Policy policy :
         {LockingRules::Policy::Detect, LockingRules::Policy::WaitDie,
          LockingRules::Policy::WoundWait}) {
      LockingRules rules(policy);
      ProtocolRun run;
      rules.deadlocks = &run.deadlocks;
      const std::int32_t timestamps[kTransactionCount] = {1, 2, 3};
      Replay(rules).Run(reduced, timestamps, run);
      const Protocol protocol = policy == LockingRules::Policy::Detect    ? Protocol::TwoPl
                                : policy == LockingRules::Policy::WaitDie ? Protocol::WaitDie
                                                                          : Protocol::WoundWait;
      EXPECT_EQ(steps(run), steps(runs.runs[static_cast<int>(protocol)]));
    }
  }
}

}  // namespace
}  // namespace tosim::protocols
