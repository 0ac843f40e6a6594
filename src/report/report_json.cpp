#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string_view>
#include <vector>

#include "report/json_writing.h"
#include "report/report_format.h"
#include "report/report_labels.h"
#include "schedule/op_label.h"
#include "trace/text_encoding.h"

namespace tosim::report {

namespace {

using analysis::Access;
using analysis::PlanReport;
using analysis::ReadFrom;
using analysis::Warning;
using analysis::WarningKind;
using json::PutKey;
using json::PutNumber;
using json::PutNumbers;
using json::PutString;

void PutBool(std::string& out, bool value) {
  out += value ? "true" : "false";
}

// An order or a cycle that may not exist.
void PutNumbersOrNull(std::string& out, bool exists, const std::vector<std::int32_t>& numbers) {
  if (exists) {
    PutNumbers(out, numbers);
  } else {
    out += "null";
  }
}

// Labels such as "R1(A)": nothing in them needs escaping.
void PutAccesses(std::string& out, const std::vector<Access>& accesses) {
  out += '[';
  for (std::size_t i = 0; i < accesses.size(); ++i) {
    const Access& access = accesses[i];
    out += i == 0 ? "\"" : ",\"";
    char label[kOpLabelSize];
    out.append(label, PutOpLabel(label, access.kind, access.t, access.item));
    out += '"';
  }
  out += ']';
}

// The analysis's warnings about what an operation of a transaction means.
bool IsAboutTransaction(WarningKind kind) {
  switch (kind) {
    case WarningKind::TransactionOutOfRange:
    case WarningKind::ItemOutOfRange:
    case WarningKind::SecondBegin:
    case WarningKind::NotBegun:
    case WarningKind::AfterCommit:
    case WarningKind::AfterAbort:
      return true;
    default:
      return false;
  }
}

// Hands what `out` holds to `spill` once it is long.
void SpillIfLong(std::string& out, const Spill& spill) {
  if (spill && out.size() >= kSpillAt) {
    spill(out);
  }
}

void PutWarnings(std::string& out, const std::vector<Warning>& warnings, const Spill& spill) {
  out += '[';
  std::string text;
  for (const Warning& warning : warnings) {
    SpillIfLong(out, spill);
    // What came before may have gone out already: the place in the list says.
    out += &warning == &warnings.front() ? "{" : ",{";
    PutKey(out, "position");
    PutNumber(out, warning.position);
    PutKey(out, "kind");
    PutString(out, WarningKey(warning.kind));
    PutKey(out, "text");
    text.clear();
    AppendWarningText(text, warning);
    PutString(out, text);
    if (IsAboutTransaction(warning.kind)) {
      PutKey(out, "transaction");
      PutNumber(out, warning.transaction);
    }
    if (warning.ignored.count != 0) {
      const std::size_t kept = std::min<std::uint64_t>(warning.ignored.count, IgnoredText::kKept);
      PutKey(out, "ignored");
      PutString(out, Cp1252ToUtf8(std::string_view(warning.ignored.text, kept)));
      PutKey(out, "ignored_bytes");
      PutNumber(out, static_cast<std::int64_t>(warning.ignored.count));
    }
    out += '}';
  }
  out += ']';
}

// A number, or null when the trace shows none.
void PutNumberIf(std::string& out, bool shown, std::int32_t number) {
  if (shown) {
    PutNumber(out, number);
  } else {
    out += "null";
  }
}

void PutTrace(std::string& out, const std::vector<analysis::TraceStep>& trace, const Spill& spill) {
  out += '[';
  for (std::size_t i = 0; i < trace.size(); ++i) {
    SpillIfLong(out, spill);
    const analysis::TraceStep& step = trace[i];
    const bool status = analysis::ShowsStatus(step.decision);
    out += i == 0 ? "{" : ",{";
    PutKey(out, "position");
    PutNumber(out, static_cast<std::int64_t>(i) + 2);
    PutKey(out, "op");
    if (analysis::IsWhole(step)) {
      out += '"';
      out += OpLabel(step.kind, step.number, step.item);
      out += '"';
    } else {
      out += "null";
    }
    PutKey(out, "t");
    PutNumberIf(out, step.kind != OpKind::Illegal, step.number);
    PutKey(out, "decision");
    PutString(out, OutcomeKey(analysis::OutcomeOf(step)));
    PutKey(out, "ts");
    PutNumberIf(out, status, step.ts);
    PutKey(out, "ts_lect");
    PutNumberIf(out, status, step.tsLect);
    PutKey(out, "ts_escr");
    PutNumberIf(out, status, step.tsEscr);
    PutKey(out, "rule");
    PutString(out, RuleKey(analysis::RuleOf(step)));
    PutKey(out, "why");
    AppendWhyJson(out, step);
    out += '}';
  }
  out += ']';
}

// [1,"rw","A",2]
void PutEdge(std::string& out, const analysis::DependencyEdge& edge) {
  out += '[';
  PutNumber(out, edge.from);
  out += ",\"";
  out += DependencyKey(edge.kind);
  out += "\",\"";
  out += edge.item;
  out += "\",";
  PutNumber(out, edge.to);
  out += ']';
}

void PutEdges(std::string& out, const std::vector<analysis::DependencyEdge>& edges,
              const Spill& spill) {
  out += '[';
  for (std::size_t i = 0; i < edges.size(); ++i) {
    SpillIfLong(out, spill);
    if (i != 0) {
      out += ',';
    }
    PutEdge(out, edges[i]);
  }
  out += ']';
}

// "R1(A)", "C1"
void PutWitnessOperation(std::string& out, const analysis::WitnessOperation& operation) {
  char label[kOpLabelSize];
  out += '"';
  out.append(label, PutOpLabel(label, operation.kind, operation.t, operation.item));
  out += '"';
}

// [1,2,"A","R1(A)","W2(A)"]
void PutConflicts(std::string& out, const std::vector<analysis::Conflict>& conflicts,
                  const Spill& spill) {
  out += '[';
  for (std::size_t i = 0; i < conflicts.size(); ++i) {
    SpillIfLong(out, spill);
    const analysis::Conflict& conflict = conflicts[i];
    out += i == 0 ? "[" : ",[";
    PutNumber(out, conflict.from);
    out += ',';
    PutNumber(out, conflict.to);
    out += ",\"";
    out += conflict.item;
    out += "\",";
    PutWitnessOperation(out, {conflict.first, conflict.from, conflict.item});
    out += ',';
    PutWitnessOperation(out, {conflict.second, conflict.to, conflict.item});
    out += ']';
  }
  out += ']';
}

void PutIsolation(std::string& out, const analysis::IsolationReport& isolation,
                  const Spill& spill) {
  out += '{';
  PutKey(out, "level");
  PutString(out, LevelKey(analysis::StrongestLevel(isolation)));
  PutKey(out, "anomalies");
  out += '[';
  for (const analysis::Anomaly& anomaly : isolation.anomalies) {
    out += out.back() == '[' ? "{" : ",{";
    PutKey(out, "kind");
    PutString(out, AnomalyKey(anomaly.kind));
    if (anomaly.cycle.empty()) {
      PutKey(out, "read");
      PutWitnessOperation(out, {OpKind::Read, anomaly.reader, anomaly.item});
      PutKey(out, "writer");
      PutNumber(out, anomaly.writer);
    } else {
      PutKey(out, "cycle");
      PutEdges(out, anomaly.cycle, spill);
    }
    out += '}';
  }
  out += ']';
  PutKey(out, "phenomena");
  out += '[';
  for (const analysis::Phenomenon& phenomenon : isolation.phenomena) {
    out += out.back() == '[' ? "{" : ",{";
    PutKey(out, "kind");
    PutString(out, PhenomenonKey(phenomenon.kind));
    PutKey(out, "ops");
    const analysis::WitnessOperations operations = analysis::OperationsOf(phenomenon);
    for (int i = 0; i < operations.count; ++i) {
      out += i == 0 ? '[' : ',';
      PutWitnessOperation(out, operations.operations[i]);
    }
    out += "]}";
  }
  out += ']';
  PutKey(out, "dsg");
  PutEdges(out, isolation.dsg, spill);
  out += '}';
}

}  // namespace

void AppendJson(std::string& out, const PlanReport& report, const Spill& spill) {
  out += '{';
  PutKey(out, "line");
  PutNumber(out, report.line);
  PutKey(out, "plan");
  if (report.hasPlan) {
    PutNumber(out, report.plan);
  } else {
    out += "null";
  }
  PutKey(out, "transactions");
  PutNumbers(out, report.transactions);
  PutKey(out, "timestamps");
  out += '{';
  for (const auto& [t, timestamp] : report.timestamps) {
    out += out.back() == '{' ? "\"" : ",\"";
    PutNumber(out, t);
    out += "\":";
    PutNumber(out, timestamp);
  }
  out += '}';
  PutKey(out, "committed");
  PutNumbers(out, report.committed);
  PutKey(out, "aborted");
  PutNumbers(out, report.aborted);
  PutKey(out, "skipped_writes");
  PutAccesses(out, report.skippedWrites);
  PutKey(out, "executed");
  PutAccesses(out, report.executed);
  PutKey(out, "to_order");
  PutNumbers(out, report.toOrder);
  PutKey(out, "cascading");
  PutNumbers(out, report.cascading);
  PutKey(out, "without_thomas");
  out += '{';
  PutKey(out, "committed");
  PutNumbers(out, report.withoutThomasCommitted);
  PutKey(out, "aborted");
  PutNumbers(out, report.withoutThomasAborted);
  out += '}';
  PutKey(out, "conflict_serializable");
  PutBool(out, report.conflictSerializable);
  PutKey(out, "conflict_order");
  PutNumbersOrNull(out, report.conflictSerializable, report.conflictOrder);
  PutKey(out, "conflict_cycle");
  PutNumbersOrNull(out, !report.conflictSerializable, report.conflictCycle);
  PutKey(out, "view_serializable");
  PutBool(out, report.viewSerializable);
  PutKey(out, "view_order");
  PutNumbersOrNull(out, report.viewSerializable, report.viewOrder);
  PutKey(out, "recoverable");
  PutBool(out, report.recoverable);
  PutKey(out, "cascadeless");
  PutBool(out, report.cascadeless);
  PutKey(out, "strict");
  PutBool(out, report.strict);
  PutKey(out, "edges");
  out += '[';
  for (std::size_t i = 0; i < report.edges.size(); ++i) {
    out += i == 0 ? "[" : ",[";
    PutNumber(out, report.edges[i].first);
    out += ',';
    PutNumber(out, report.edges[i].second);
    out += ']';
  }
  out += ']';
  PutKey(out, "warnings");
  PutWarnings(out, report.warnings, spill);
  PutKey(out, "active");
  PutNumbers(out, report.active);
  PutKey(out, "reads_from");
  out += '[';
  for (const ReadFrom& pair : report.readsFrom) {
    out += out.back() == '[' ? "[" : ",[";
    PutNumber(out, pair.reader);
    out += ',';
    PutNumber(out, pair.writer);
    out += ",\"";
    out += pair.item;
    out += "\"]";
  }
  out += ']';
  PutKey(out, "trace");
  PutTrace(out, report.trace, spill);
  PutKey(out, "isolation");
  PutIsolation(out, report.isolation, spill);
  PutKey(out, "conflicts");
  PutConflicts(out, report.conflicts, spill);
  out += "}\n";
}

}  // namespace tosim::report
