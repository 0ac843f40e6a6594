#include <string>

#include "protocols/backlog_replay.h"
#include "protocols/protocols.h"
#include "schedule/op_label.h"

namespace tosim::protocols {

const char* ProtocolName(Protocol protocol) {
  static const char* const kNames[kProtocolCount] = {
      "to", "to_basic", "strict_to", "mvto", "2pl", "wait_die", "wound_wait", "occ", "si"};
  return kNames[static_cast<int>(protocol)];
}

const char* CauseName(Cause cause) {
  static const char* const kNames[] = {"abort", "rejected", "cascade",    "victim",
                                       "died",  "wounded",  "validation", "first_committer"};
  return kNames[static_cast<int>(cause)];
}

std::string StepLabel(const Step& step) {
  return OpLabel(step.kind, step.t, step.item);
}

void ProtocolLab::Start() {
  written_.Start();
  schedule_.clear();
}

void ProtocolLab::Add(const Operation& operation) {
  if (!written_.Add(operation)) {
    return;
  }
  Step step;
  step.kind = operation.kind;
  step.t = static_cast<std::int8_t>(operation.number);
  step.item =
      operation.kind == OpKind::Read || operation.kind == OpKind::Write ? operation.item : ' ';
  schedule_.push_back(step);
}

const PlanProtocols& ProtocolLab::Finish(
    const std::vector<std::pair<std::int32_t, std::int32_t>>& timestamps) {
  std::int32_t ts[kTransactionCount] = {};
  for (const auto& [t, timestamp] : timestamps) {
    if (t >= kFirstTransaction && t <= kLastTransaction) {
      ts[t - 1] = timestamp;
    }
  }
  TimestampRules to(true);
  TimestampRules toBasic(false);
  StrictTimestampRules strictTo;
  MultiversionRules mvto;
  LockingRules twoPl(LockingRules::Policy::Detect);
  LockingRules waitDie(LockingRules::Policy::WaitDie);
  LockingRules woundWait(LockingRules::Policy::WoundWait);
  OptimisticRules occ;
  SnapshotRules si;
  Rules* const rules[kProtocolCount] = {&to,      &toBasic,   &strictTo, &mvto, &twoPl,
                                        &waitDie, &woundWait, &occ,      &si};
  twoPl.deadlocks = &result_.runs[static_cast<int>(Protocol::TwoPl)].deadlocks;
  for (int p = 0; p < kProtocolCount; ++p) {
    Replay replay(*rules[p]);
    replay.Run(schedule_, ts, result_.runs[p]);
  }
  return result_;
}

}  // namespace tosim::protocols
