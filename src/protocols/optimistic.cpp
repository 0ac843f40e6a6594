// Optimistic concurrency control with backward validation: reads and writes never wait; writes
// go to the transaction's workspace and reach the history at its commit, which fails when a
// transaction that committed meanwhile wrote something it read.
#include <algorithm>
#include <bit>
#include <iterator>

#include "protocols/backlog_replay.h"

namespace tosim::protocols {

void OptimisticRules::Reset(Replay& /*replay*/) {
  commitCount_ = 0;
  std::fill(std::begin(lastCommitted_), std::end(lastCommitted_), 0);
}

void OptimisticRules::Begin(Replay& /*replay*/, int t) {
  readSet_[t - 1] = writeSet_[t - 1] = 0;
  writeCount_[t - 1] = 0;
  beganAt_[t - 1] = commitCount_;
}

Outcome OptimisticRules::Decide(Replay& replay, const Step& step) {
  const int t = step.t;
  const int x = step.item - 'A';
  switch (step.kind) {
    case OpKind::Read: {
      // Its own write when it wrote the item: that read is validated too.
      readSet_[t - 1] |= 1u << x;
      const int from = (writeSet_[t - 1] & (1u << x)) != 0 ? t : lastCommitted_[x];
      StepWhy why{StepRule::OccRead};
      if (from != 0) {
        why.others = TransactionSet{from};
      }
      return Outcome::Read(from, why);
    }
    case OpKind::Write: {
      if ((writeSet_[t - 1] & (1u << x)) == 0) {
        writeSet_[t - 1] |= 1u << x;
        writeOrder_[t - 1][writeCount_[t - 1]++] = static_cast<std::int8_t>(x);
      }
      Outcome workspace = Outcome::Done(StepWhy{StepRule::OccWrite});
      workspace.inHistory = false;
      return workspace;
    }
    case OpKind::Validate:
      for (int i = beganAt_[t - 1]; i < commitCount_; ++i) {
        if (const std::uint32_t both = writeSet_[commits_[i] - 1] & readSet_[t - 1]; both != 0) {
          StepWhy why{StepRule::OccValidationFails};
          why.others = TransactionSet{commits_[i]};
          why.item = static_cast<char>('A' + std::countr_zero(both));
          return Outcome::Reject(why, Cause::Validation);
        }
      }
      for (int i = 0; i < writeCount_[t - 1]; ++i) {
        const int item = writeOrder_[t - 1][i];
        replay.WriteToHistory(t, static_cast<char>('A' + item));
        lastCommitted_[item] = static_cast<std::int8_t>(t);
      }
      commits_[commitCount_++] = static_cast<std::int8_t>(t);
      return Outcome::Done(StepWhy{StepRule::OccValidated});
    default:
      return Outcome::Done();
  }
}

}  // namespace tosim::protocols
