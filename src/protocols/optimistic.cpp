// Optimistic concurrency control with backward validation: reads and writes never wait; writes
// go to the transaction's workspace and reach the history at its commit, which fails when a
// transaction that committed meanwhile wrote something it read.
#include "protocols/backlog_replay.h"

namespace tosim::protocols {

void OptimisticRules::Reset(Replay& /*replay*/) {
  workspace_.Reset();
}

void OptimisticRules::Begin(Replay& /*replay*/, int t) {
  readSet_[t - 1] = 0;
  workspace_.Begin(t);
}

Outcome OptimisticRules::Decide(Replay& replay, const Step& step) {
  const int t = step.t;
  const int x = step.item - 'A';
  switch (step.kind) {
    case OpKind::Read:
      // Its own write when it wrote the item: that read is validated too.
      readSet_[t - 1] |= 1u << x;
      return workspace_.Read(t, x, workspace_.LastCommitted(x), StepRule::OccRead);
    case OpKind::Write:
      return workspace_.Write(t, x, StepRule::OccWrite);
    case OpKind::Validate:
      if (const auto why =
              workspace_.CommittedSinceBegin(t, readSet_[t - 1], StepRule::OccValidationFails)) {
        return Outcome::Reject(*why, Cause::Validation);
      }
      workspace_.Commit(replay, t);
      return Outcome::Done(StepWhy{StepRule::OccValidated});
    default:
      return Outcome::Done();
  }
}

}  // namespace tosim::protocols
