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
  const ItemEntry* item = FindItem(tables_, step.item);
  StepWhy why{StepRule::Scheduler};
  if (item != nullptr) {
    why.c = step.kind == OpKind::Write ? item->TS_escr : item->TS_lect;
  }
  why.decision = tosim::Decide(tables_, operation);
  why.ts = FindTransaction(tables_, step.t)->TStamp;
  if (item != nullptr) {
    why.a = item->TS_lect;
    why.b = item->TS_escr;
  }
  switch (why.decision) {
    case Decision::ReadDone:
      // The last write executed, whoever wrote it: an abort undoes nothing here.
      return Outcome::Read(replay.LastWriter(step.item - 'A', false), why);
    case Decision::WriteSkipped:
      return Outcome::Skip(why);
    case Decision::ReadTooLate:
    case Decision::WriteTooLate:
    case Decision::WriteObsoleteAborted:
      return Outcome::Reject(why);
    default:
      return Outcome::Done(why);  // WriteDone, Validated, Aborted
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
  StepWhy why{StepRule::StrictRead};
  if (writer != 0) {
    why.others = TransactionSet{writer};
  }
  why.ts = ts;
  why.a = writeTs;
  why.b = readTs_[x];
  // Too late first: a wait only ever goes from a younger transaction to an older one.
  if (ts < writeTs || (step.kind == OpKind::Write && ts < readTs_[x])) {
    why.rule =
        step.kind == OpKind::Read ? StepRule::StrictReadTooLate : StepRule::StrictWriteTooLate;
    return Outcome::Reject(why);
  }
  if (writer != 0 && writer != t && replay.IsActive(writer)) {
    why.rule = StepRule::StrictWaits;
    return Outcome::Wait(TransactionSet{writer}, why);
  }
  if (step.kind == OpKind::Write) {
    why.rule = StepRule::StrictWrite;
    return Outcome::Done(why);
  }
  if (readTs_[x] < ts) {
    readTs_[x] = ts;
  }
  return Outcome::Read(writer, why);
}

void StrictTimestampRules::Released(Replay& replay, int t, bool /*committed*/) {
  replay.MakeRunnable(replay.WaitingFor(t));
}

}  // namespace tosim::protocols
