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

// A JSON string of UTF-8 `text`. "<" is escaped too, so that the object can stand inside the
// report page's script element: no "</script" or "<!--" can appear in it.
void PutString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += ch;
    } else if (byte < 0x20 || byte == '<') {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += ch;
    }
  }
  out += '"';
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

void PutWarnings(std::string& out, const std::vector<Warning>& warnings) {
  out += '[';
  std::string text;
  for (const Warning& warning : warnings) {
    out += out.back() == '[' ? "{" : ",{";
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

}  // namespace

void AppendJson(std::string& out, const PlanReport& report) {
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
  PutWarnings(out, report.warnings);
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
  out += "]}\n";
}

}  // namespace tosim::report
