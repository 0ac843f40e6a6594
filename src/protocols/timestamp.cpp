// The timestamp family. `to` and `to_basic` are tosim's scheduler itself, decision for decision;
// `strict_to` adds waits for the last writer and undoes the writes of aborted transactions.
#include <algorithm>
#include <iterator>

#include "protocols/backlog_replay.h"
#include "scheduler/scheduler.h"

namespace tosim::protocols {

void TimestampRules::Reset(Replay& /*replay*/) {
  StartPlan(tables_);
}

void TimestampRules::Begin(Replay& replay, int t) {
  // The scheduler issues the next timestamp: the one the trace gave this transaction.
  tables_.TimestampCounter =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(replay.Timestamp(t)) - 1u);
  BeginTransaction(tables_, t);
}

Outcome TimestampRules::Decide(Replay& replay, const Step& step) {
  const Operation operation{step.kind, step.t, step.item};
  switch (tosim::Decide(tables_, operation)) {
    case Decision::ReadDone:
      // The last write executed, whoever wrote it: an abort undoes nothing here.
      return Outcome::Read(replay.LastWriter(step.item - 'A', false));
    case Decision::WriteSkipped:
      return Outcome::Skip();
    case Decision::ReadTooLate:
    case Decision::WriteTooLate:
    case Decision::WriteObsoleteAborted:
      return Outcome::Reject();
    default:
      return Outcome::Done();  // WriteDone, Validated, Aborted
  }
}

void StrictTimestampRules::Reset(Replay& /*replay*/) {
  std::fill(std::begin(readTs_), std::end(readTs_), 0);
}

Outcome StrictTimestampRules::Decide(Replay& replay, const Step& step) {
  if (step.kind != OpKind::Read && step.kind != OpKind::Write) {
    return Outcome::Done();
  }
  const int t = step.t;
  const int x = step.item - 'A';
  const std::int32_t ts = replay.Timestamp(t);
  // The last writer not aborted: an aborted write is undone.
  const int writer = replay.LastWriter(x, true);
  const std::int32_t writeTs = writer == 0 ? 0 : replay.Timestamp(writer);
  // Too late first: a wait only ever goes from a younger transaction to an older one.
  if (ts < writeTs || (step.kind == OpKind::Write && ts < readTs_[x])) {
    return Outcome::Reject();
  }
  if (writer != 0 && writer != t && replay.IsActive(writer)) {
    return Outcome::Wait(TransactionSet{writer});
  }
  if (step.kind == OpKind::Write) {
    return Outcome::Done();
  }
  if (readTs_[x] < ts) {
    readTs_[x] = ts;
  }
  return Outcome::Read(writer);
}

void StrictTimestampRules::Released(Replay& replay, int t, bool /*committed*/) {
  replay.MakeRunnable(replay.WaitingFor(t));
}

}  // namespace tosim::protocols
