#include "generator/judge.h"

#include <algorithm>
#include <bit>

#include "schedule/op_label.h"
#include "schedule/transaction_set.h"

namespace tosim::generator {

namespace {

using protocols::Cause;
using protocols::Protocol;
using protocols::ProtocolRun;

const ProtocolRun& RunOf(const protocols::PlanProtocols& lab, Protocol protocol) {
  return lab.runs[static_cast<int>(protocol)];
}

// The transactions a protocol aborted for `cause`.
TransactionSet AbortedFor(const ProtocolRun& run, Cause cause) {
  TransactionSet set;
  run.aborted.ForEach([&](std::int32_t t) {
    if (run.causes[t - kFirstTransaction] == cause) {
      set.Insert(t);
    }
  });
  return set;
}

}  // namespace

std::string PlanText(const Plan& plan, int number) {
  std::string text = "P" + std::to_string(number);
  for (const PlanOp& op : plan) {
    text += "; ";
    text += OpLabel(op.kind, op.t, op.item);
  }
  return text;
}

Judge::Judge() : analysis_(PlanTimestamps::FromOne) {}

const Verdict& Judge::Of(const Plan& plan) {
  analysis_.Start(1, 1);
  lab_.Start();
  for (const PlanOp& op : plan) {
    const Operation operation{op.kind, op.t, op.item};
    analysis_.Add(operation);
    lab_.Add(operation);
  }
  const analysis::PlanReport& report = analysis_.Finish();
  const protocols::PlanProtocols& lab = lab_.Finish(report.timestamps);

  const TransactionSet rejectedByTo = AbortedFor(RunOf(lab, Protocol::To), Cause::Rejected);
  const ProtocolRun& strictTo = RunOf(lab, Protocol::StrictTo);
  verdict_ = {};
  const auto put = [&](Property property, std::size_t amount) {
    if (amount != 0) {
      verdict_.properties |= Bit(property);
      verdict_.amount[static_cast<int>(property)] =
          static_cast<std::int16_t>(std::min<std::size_t>(amount, 1000));
    }
  };
  const auto count = [](TransactionSet set) {
    return static_cast<std::size_t>(std::popcount(set.bits()));
  };
  put(Property::Thomas, report.skippedWrites.size());
  put(Property::ToRejects, count(rejectedByTo));
  put(Property::Cascade, report.cascading.size());
  put(Property::Csr, report.conflictSerializable);
  put(Property::VsrNotCsr, report.viewSerializable && !report.conflictSerializable);
  put(Property::Vsr, report.viewSerializable);
  put(Property::Recoverable, report.recoverable);
  put(Property::Cascadeless, report.cascadeless);
  put(Property::Strict, report.strict);
  put(Property::RcNotAca, report.recoverable && !report.cascadeless);
  put(Property::AcaNotStrict, report.cascadeless && !report.strict);
  put(Property::Deadlock, RunOf(lab, Protocol::TwoPl).deadlocks.size());
  put(Property::Dies, count(AbortedFor(RunOf(lab, Protocol::WaitDie), Cause::Died)));
  put(Property::Wounds, count(AbortedFor(RunOf(lab, Protocol::WoundWait), Cause::Wounded)));
  put(Property::OccFails, count(AbortedFor(RunOf(lab, Protocol::Occ), Cause::Validation)));
  put(Property::StrictToWaits, static_cast<std::size_t>(std::count_if(
                                   strictTo.steps.begin(), strictTo.steps.end(),
                                   [](const protocols::Step& step) { return step.delayed; })));
  put(Property::MvtoSaves, count(rejectedByTo & RunOf(lab, Protocol::Mvto).committed));
  const analysis::IsolationReport& isolation = report.isolation;
  const auto anomaly = [&](analysis::AnomalyKind kind) {
    return std::any_of(isolation.anomalies.begin(), isolation.anomalies.end(),
                       [&](const analysis::Anomaly& a) { return a.kind == kind; });
  };
  const auto phenomenon = [&](analysis::PhenomenonKind kind) {
    return std::any_of(isolation.phenomena.begin(), isolation.phenomena.end(),
                       [&](const analysis::Phenomenon& p) { return p.kind == kind; });
  };
  put(Property::LevelRc,
      analysis::StrongestLevel(isolation) == analysis::IsolationLevel::ReadCommitted);
  put(Property::GSingle, anomaly(analysis::AnomalyKind::GSingle));
  put(Property::WriteSkew, phenomenon(analysis::PhenomenonKind::A5B));
  put(Property::LostUpdate, phenomenon(analysis::PhenomenonKind::P4));
  TransactionSet transactions;
  for (const std::int32_t t : report.transactions) {
    transactions.Insert(t);
  }
  const ProtocolRun& si = RunOf(lab, Protocol::Si);
  put(Property::SiCommitsNotSerializable, si.committed == transactions && !si.orderExists);
  return verdict_;
}

}  // namespace tosim::generator
