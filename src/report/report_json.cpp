#include <charconv>
#include <cstdint>
#include <string_view>
#include <vector>

#include "report/report_format.h"

namespace tosim::report {

namespace {

using analysis::Access;
using analysis::PlanReport;

void PutNumber(std::string& out, std::int64_t number) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  out.append(digits, end);
}

void PutBool(std::string& out, bool value) {
  out += value ? "true" : "false";
}

// `"key":`, preceded by a comma unless it is the object's first key.
void PutKey(std::string& out, std::string_view key) {
  if (out.back() != '{') {
    out += ',';
  }
  out += '"';
  out += key;
  out += "\":";
}

void PutNumbers(std::string& out, const std::vector<std::int32_t>& numbers) {
  out += '[';
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    if (i != 0) {
      out += ',';
    }
    PutNumber(out, numbers[i]);
  }
  out += ']';
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
    out += access.kind == OpKind::Write ? 'W' : 'R';
    PutNumber(out, access.t);
    out += '(';
    out += access.item;
    out += ")\"";
  }
  out += ']';
}

}  // namespace

void AppendJson(std::string& out, const PlanReport& report) {
  out += '{';
  PutKey(out, "line");
  PutNumber(out, report.line);
  PutKey(out, "plan");
  PutNumber(out, report.plan);
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
  out += "]}\n";
}

}  // namespace tosim::report
