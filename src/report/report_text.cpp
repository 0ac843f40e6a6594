#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/report_format.h"
#include "report/report_labels.h"
#include "schedule/op_label.h"

namespace tosim::report {

namespace {

using analysis::Access;
using analysis::PlanReport;
using analysis::ReadFrom;
using analysis::Warning;

void PutNumber(std::string& out, std::int64_t number) {
  out += std::to_string(number);
}

// "T1, T3" (or `none` when there are none).
void PutTransactions(std::string& out, const std::vector<std::int32_t>& list, std::string_view none,
                     std::string_view separator = ", ") {
  if (list.empty()) {
    out += none;
    return;
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i != 0) {
      out += separator;
    }
    out += 'T';
    PutNumber(out, list[i]);
  }
}

// "R1(A) W2(A)"
void PutAccesses(std::string& out, const std::vector<Access>& list, std::string_view none) {
  if (list.empty()) {
    out += none;
    return;
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i != 0) {
      out += ' ';
    }
    out += OpLabel(list[i].kind, list[i].t, list[i].item);
  }
}

// "T1=1, T2=2" or "T1 → T2, T2 → T3": pairs of numbers, the first a transaction; `none` when
// there are none.
void PutPairs(std::string& out, const std::vector<std::pair<std::int32_t, std::int32_t>>& pairs,
              const char* between, std::string_view none) {
  if (pairs.empty()) {
    out += none;
  }
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    out += i == 0 ? "T" : ", T";
    PutNumber(out, pairs[i].first);
    out += between;
    PutNumber(out, pairs[i].second);
  }
}

// "    Label: ", a line of one of the two headings.
void PutLabel(std::string& out, Label label) {
  out += "\n    ";
  out += Text(label);
  out += ": ";
}

void PutHeading(std::string& out, Label label) {
  out += "\n  ";
  out += Text(label);
  out += ':';
}

void PutYesNo(std::string& out, Label label, bool yes) {
  PutLabel(out, label);
  out += Text(yes ? Label::Yes : Label::No);
}

void PutSerializable(std::string& out, Label label, bool yes,
                     const std::vector<std::int32_t>& orderOrCycle) {
  PutLabel(out, label);
  AppendSerializable(out, yes, orderOrCycle);
}

// "  Avisos: ninguno", or one line a warning: "    operación 4: ...".
void PutWarnings(std::string& out, const std::vector<Warning>& warnings) {
  out += "\n  ";
  out += Text(Label::Warnings);
  out += ':';
  if (warnings.empty()) {
    out += ' ';
    out += Text(Label::WarningsNone);
  }
  for (const Warning& warning : warnings) {
    out += "\n    ";
    out += Text(Label::Position);
    out += ' ';
    PutNumber(out, warning.position);
    out += ": ";
    AppendWarningText(out, warning);
  }
}

// "    Label: none", or "    Label:" and one line for each of `count` entries, which `entry(i)`
// appends.
template <typename Entry>
void PutList(std::string& out, Label label, Label none, std::size_t count, Entry entry) {
  out += "\n    ";
  out += Text(label);
  out += ':';
  if (count == 0) {
    out += ' ';
    out += Text(none);
  }
  for (std::size_t i = 0; i < count; ++i) {
    out += "\n      ";
    entry(i);
  }
}

// The strongest level, the four levels each allowed or not, the anomalies and the phenomena.
void PutIsolation(std::string& out, const analysis::IsolationReport& isolation) {
  using analysis::IsolationLevel;
  PutHeading(out, Label::IsolationHeading);
  PutLabel(out, Label::IsolationLevel);
  out += Text(LevelLabel(analysis::StrongestLevel(isolation)));
  static constexpr IsolationLevel kLevels[] = {
      IsolationLevel::ReadUncommitted, IsolationLevel::ReadCommitted,
      IsolationLevel::RepeatableRead, IsolationLevel::Serializable};
  PutList(out, Label::IsolationLevels, Label::IsolationLevels, std::size(kLevels),
          [&](std::size_t i) {
            out += Text(LevelLabel(kLevels[i]));
            out += ": ";
            out += Text(analysis::Allows(isolation, kLevels[i]) ? Label::IsolationAllowed
                                                                : Label::IsolationNotAllowed);
          });
  PutList(out, Label::Anomalies, Label::AnomaliesNone, isolation.anomalies.size(),
          [&](std::size_t i) { AppendAnomalyText(out, isolation.anomalies[i]); });
  PutList(out, Label::Phenomena, Label::PhenomenaNone, isolation.phenomena.size(),
          [&](std::size_t i) { AppendPhenomenonText(out, isolation.phenomena[i]); });
}

}  // namespace

void AppendSerializable(std::string& out, bool yes, const std::vector<std::int32_t>& orderOrCycle) {
  out += Text(yes ? Label::Yes : Label::No);
  if (yes) {
    out += ", ";
    out += Text(Label::Order);
    out += ' ';
    PutTransactions(out, orderOrCycle, Text(Label::OrderEmpty), " → ");
  } else if (!orderOrCycle.empty()) {
    out += ", ";
    out += Text(Label::Cycle);
    out += ' ';
    PutTransactions(out, orderOrCycle, "", " → ");
  }
}

// "T2 lee A de T1, T3 lee B de T2"
void AppendReadsFrom(std::string& out, const std::vector<ReadFrom>& pairs) {
  if (pairs.empty()) {
    out += Text(Label::ReadsFromNone);
  }
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    out += i == 0 ? "T" : ", T";
    PutNumber(out, pairs[i].reader);
    out += ' ';
    out += Text(Label::ReadsFromReads);
    out += ' ';
    out += pairs[i].item;
    out += ' ';
    out += Text(Label::ReadsFromFrom);
    out += " T";
    PutNumber(out, pairs[i].writer);
  }
}

void AppendText(std::string& out, const PlanReport& report) {
  out += Text(Label::Line);
  out += ' ';
  PutNumber(out, report.line);
  out += ", ";
  if (!report.hasPlan) {
    out += Text(Label::NoPlan);
    PutWarnings(out, report.warnings);
    out += "\n\n";
    return;
  }
  out += Text(Label::Plan);
  out += " P";
  PutNumber(out, report.plan);
  PutWarnings(out, report.warnings);

  PutHeading(out, Label::ExecutedHeading);
  PutLabel(out, Label::Timestamps);
  PutPairs(out, report.timestamps, "=", Text(Label::TimestampsNone));
  PutLabel(out, Label::Committed);
  PutTransactions(out, report.committed, Text(Label::CommittedNone));
  PutLabel(out, Label::Aborted);
  PutTransactions(out, report.aborted, Text(Label::AbortedNone));
  PutLabel(out, Label::Active);
  PutTransactions(out, report.active, Text(Label::ActiveNone));
  PutLabel(out, Label::Executed);
  PutAccesses(out, report.executed, Text(Label::ExecutedNone));
  PutLabel(out, Label::ToOrder);
  PutTransactions(out, report.toOrder, Text(Label::ToOrderNone), " → ");
  PutLabel(out, Label::SkippedWrites);
  PutAccesses(out, report.skippedWrites, Text(Label::SkippedWritesNone));
  PutLabel(out, Label::Cascading);
  PutTransactions(out, report.cascading, Text(Label::CascadingNone));
  PutLabel(out, Label::WithoutThomas);
  out += Text(Label::WithoutThomasCommitted);
  out += ": ";
  PutTransactions(out, report.withoutThomasCommitted, Text(Label::CommittedNone));
  out += "; ";
  out += Text(Label::WithoutThomasAborted);
  out += ": ";
  PutTransactions(out, report.withoutThomasAborted, Text(Label::AbortedNone));

  PutHeading(out, Label::WrittenHeading);
  PutLabel(out, Label::Transactions);
  PutTransactions(out, report.transactions, Text(Label::TransactionsNone));
  PutLabel(out, Label::Edges);
  PutPairs(out, report.edges, " → T", Text(Label::EdgesNone));
  PutSerializable(out, Label::ConflictSerializable, report.conflictSerializable,
                  report.conflictSerializable ? report.conflictOrder : report.conflictCycle);
  PutSerializable(out, Label::ViewSerializable, report.viewSerializable, report.viewOrder);
  PutLabel(out, Label::ReadsFrom);
  AppendReadsFrom(out, report.readsFrom);
  PutYesNo(out, Label::Recoverable, report.recoverable);
  PutYesNo(out, Label::Cascadeless, report.cascadeless);
  PutYesNo(out, Label::Strict, report.strict);
  PutIsolation(out, report.isolation);
  out += "\n\n";
}

}  // namespace tosim::report
