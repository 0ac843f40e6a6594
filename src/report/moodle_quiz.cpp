#include "report/moodle_quiz.h"

#include <cstdint>
#include <vector>

#include "analysis/for_each_plan_report.h"
#include "plan/in_stream.h"
#include "report/report_format.h"
#include "report/report_labels.h"
#include "schedule/op_label.h"
#include "trace/text_encoding.h"

namespace tosim::report {

namespace {

using analysis::Outcome;
using analysis::PlanReport;
using analysis::TraceStep;

// The plan file's lines as the reader ends them: at LF, CR or CR LF; a Ctrl-Z byte ends the data.
std::vector<std::string_view> Lines(std::string_view plans) {
  std::vector<std::string_view> lines;
  const std::size_t end = plans.find('\x1A');
  if (end != std::string_view::npos) {
    plans = plans.substr(0, end);
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i < plans.size(); ++i) {
    if (plans[i] == '\n' || plans[i] == '\r') {
      lines.push_back(plans.substr(start, i - start));
      if (plans[i] == '\r' && i + 1 < plans.size() && plans[i + 1] == '\n') {
        ++i;
      }
      start = i + 1;
    }
  }
  lines.push_back(plans.substr(start));
  return lines;
}

// UTF-8 text as HTML text. "{" and "}" are written as references, so that no text of the plan
// can open a Cloze field.
void PutHtml(std::string& out, std::string_view text) {
  for (const char ch : text) {
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '{':
        out += "&#123;";
        break;
      case '}':
        out += "&#125;";
        break;
      default:
        out += ch;
        break;
    }
  }
}

// A plan file's line (Windows-1252) as HTML text; a control byte, which XML does not take, is
// shown as "\xNN".
void PutLine(std::string& out, std::string_view line) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string readable;
  for (const char ch : line) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte < 0x20 && byte != '\t') {
      readable += "\\x";
      readable += kHex[byte >> 4];
      readable += kHex[byte & 0xF];
    } else {
      readable += ch;
    }
  }
  PutHtml(out, Cp1252ToUtf8(readable));
}

// A text inside a Cloze field: HTML, then escaped for the field.
void PutInField(std::string& out, std::string_view text) {
  std::string html;
  PutHtml(html, text);
  out += ClozeEscaped(html);
}

struct Choice {
  std::string_view text;
  bool right = false;
};

// {1:MULTICHOICE:=right#feedback~wrong#feedback}: every answer gets the same feedback, the reason
// for the right one.
void PutMultichoice(std::string& out, const std::vector<Choice>& choices,
                    std::string_view feedback) {
  out += "{1:MULTICHOICE:";
  for (std::size_t i = 0; i < choices.size(); ++i) {
    out += i == 0 ? "" : "~";
    out += choices[i].right ? "=" : "";
    PutInField(out, choices[i].text);
    if (!feedback.empty()) {
      out += '#';
      PutInField(out, feedback);
    }
  }
  out += '}';
}

// {1:NUMERICAL:=value#feedback~*#feedback}: any other number gets the reason too.
void PutNumerical(std::string& out, std::int64_t value, std::string_view feedback) {
  out += "{1:NUMERICAL:=";
  out += std::to_string(value);
  for (const char* other : {"", "~*"}) {
    out += other;
    out += '#';
    PutInField(out, feedback);
  }
  out += '}';
}

std::string Why(const TraceStep& step) {
  std::string why;
  AppendWhy(why, step);
  return why;
}

std::string_view DecisionText(Outcome outcome) {
  return Text(
      static_cast<Label>(static_cast<int>(Label::DecisionExecuted) + static_cast<int>(outcome)));
}

// What a student may choose for an operation: by its kind, when the reader read it whole.
std::vector<Outcome> Outcomes(const TraceStep& step) {
  switch (analysis::IsWhole(step) ? step.kind : OpKind::Illegal) {
    case OpKind::Begin:
      return {Outcome::Begun, Outcome::Error};
    case OpKind::Read:
      return {Outcome::Executed, Outcome::Rejected, Outcome::Error};
    case OpKind::Write:
      return {Outcome::Executed, Outcome::Rejected, Outcome::Skipped, Outcome::Error};
    case OpKind::Validate:
      return {Outcome::Committed, Outcome::Error};
    case OpKind::Abort:
      return {Outcome::Aborted, Outcome::Error};
    default:
      return {Outcome::Executed, Outcome::Error};
  }
}

void PutOperationRow(std::string& out, const TraceStep& step) {
  out += "<tr><td>";
  if (analysis::IsWhole(step)) {
    out += OpLabel(step.kind, step.number, step.item);
  } else {
    PutHtml(out, Text(Label::QuizUnreadable));
  }
  out += "</td><td>";
  const std::string why = Why(step);
  const Outcome outcome = analysis::OutcomeOf(step);
  std::vector<Choice> choices;
  for (const Outcome option : Outcomes(step)) {
    choices.push_back({DecisionText(option), option == outcome});
  }
  PutMultichoice(out, choices, why);
  out += "</td>";
  const bool status = analysis::ShowsStatus(step.decision);
  for (const std::int32_t value : {step.tsLect, step.tsEscr}) {
    out += "<td>";
    if (status) {
      PutNumerical(out, value, why);
    }
    out += "</td>";
  }
  out += "</tr>\n";
}

bool Has(const std::vector<std::int32_t>& list, std::int32_t t) {
  for (const std::int32_t member : list) {
    if (member == t) {
      return true;
    }
  }
  return false;
}

// The last step of transaction t that decided how it ends, or null.
const TraceStep* Ending(const PlanReport& report, std::int32_t t) {
  const TraceStep* ending = nullptr;
  for (const TraceStep& step : report.trace) {
    const Outcome outcome = analysis::OutcomeOf(step);
    if (step.number == t && step.kind != OpKind::Illegal &&
        (outcome == Outcome::Committed || outcome == Outcome::Aborted ||
         outcome == Outcome::Rejected)) {
      ending = &step;
    }
  }
  return ending;
}

void PutListItem(std::string& out, std::string_view name) {
  out += "<li>";
  PutHtml(out, name);
  out += ": ";
}

void PutYesNo(std::string& out, Label label, bool yes, std::string_view feedback) {
  PutListItem(out, Text(label));
  PutMultichoice(out, {{Text(Label::Yes), yes}, {Text(Label::No), !yes}}, feedback);
  out += "</li>\n";
}

void PutQuestion(std::string& out, const PlanReport& report, std::string_view line) {
  std::string name = std::string(Text(Label::Line)) + ' ' + std::to_string(report.line) + ", " +
                     std::string(Text(Label::Plan)) + " P" + std::to_string(report.plan);
  out += "  <question type=\"cloze\">\n    <name><text>";
  PutHtml(out, name);
  out += "</text></name>\n    <questiontext format=\"html\"><text><![CDATA[<p>";
  PutHtml(out, Text(Label::QuizAlone));
  out += "</p>\n<pre>";
  PutLine(out, line);
  out += "</pre>\n";
  if (!report.trace.empty()) {
    out += "<p>";
    PutHtml(out, Text(Label::QuizOperations));
    out += "</p>\n<table>\n<tr><th>";
    PutHtml(out, Text(Label::LabOperation));
    out += "</th><th>";
    PutHtml(out, Text(Label::QuizDecision));
    out += "</th><th>";
    PutHtml(out, Text(Label::QuizTsLect));
    out += "</th><th>";
    PutHtml(out, Text(Label::QuizTsEscr));
    out += "</th></tr>\n";
    for (const TraceStep& step : report.trace) {
      PutOperationRow(out, step);
    }
    out += "</table>\n";
  }
  if (!report.timestamps.empty()) {
    out += "<p>";
    PutHtml(out, Text(Label::Timestamps));
    out += ":</p>\n<ul>\n";
    for (const auto& [t, timestamp] : report.timestamps) {
      PutListItem(out, "T" + std::to_string(t));
      std::string why;
      for (const TraceStep& step : report.trace) {
        if (step.kind == OpKind::Begin && step.number == t &&
            analysis::OutcomeOf(step) == Outcome::Begun) {
          why = Why(step);
        }
      }
      PutNumerical(out, timestamp, why);
      out += "</li>\n";
    }
    out += "</ul>\n<p>";
    PutHtml(out, Text(Label::QuizFates));
    out += ":</p>\n<ul>\n";
    for (const auto& [t, timestamp] : report.timestamps) {
      PutListItem(out, "T" + std::to_string(t));
      const TraceStep* ending = Ending(report, t);
      const bool committed = Has(report.committed, t);
      const bool aborted = Has(report.aborted, t);
      PutMultichoice(out,
                     {{Text(Label::DecisionCommitted), committed},
                      {Text(Label::DecisionAborted), aborted},
                      {Text(Label::QuizActive), !committed && !aborted}},
                     ending == nullptr ? std::string() : Why(*ending));
      out += "</li>\n";
    }
    out += "</ul>\n";
  }
  out += "<p>";
  PutHtml(out, Text(Label::WrittenHeading));
  out += ":</p>\n<ul>\n";
  std::string serializable;
  AppendSerializable(serializable, report.conflictSerializable,
                     report.conflictSerializable ? report.conflictOrder : report.conflictCycle);
  PutYesNo(out, Label::ConflictSerializable, report.conflictSerializable, serializable);
  serializable.clear();
  AppendSerializable(serializable, report.viewSerializable, report.viewOrder);
  PutYesNo(out, Label::ViewSerializable, report.viewSerializable, serializable);
  std::string readsFrom = std::string(Text(Label::ReadsFrom)) + ": ";
  AppendReadsFrom(readsFrom, report.readsFrom);
  PutYesNo(out, Label::Recoverable, report.recoverable, readsFrom);
  PutYesNo(out, Label::Cascadeless, report.cascadeless, readsFrom);
  PutYesNo(out, Label::Strict, report.strict, readsFrom);
  out +=
      "</ul>]]></text></questiontext>\n"
      "    <generalfeedback format=\"html\"><text></text></generalfeedback>\n"
      "    <penalty>0.3333333</penalty>\n"
      "    <hidden>0</hidden>\n"
      "  </question>\n";
}

}  // namespace

std::string ClozeEscaped(std::string_view text) {
  std::string escaped;
  for (const char ch : text) {
    if (ch == '}' || ch == '#' || ch == '~' || ch == '/' || ch == '"' || ch == '\\') {
      escaped += '\\';
    }
    escaped += ch;
  }
  return escaped;
}

std::string MoodleQuiz(std::string_view plans) {
  const std::vector<std::string_view> lines = Lines(plans);
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quiz>\n";
  MemorySource source{plans};
  InStream stream;
  stream.Open(ReadFromMemory, &source);
  // Memory never fails to be read.
  (void)analysis::ForEachPlanReport(
      stream, [] {}, [](const Operation&) {},
      [&](const PlanReport& report) {
        if (report.hasPlan) {
          const auto line = static_cast<std::size_t>(report.line - 1);
          PutQuestion(out, report, line < lines.size() ? lines[line] : std::string_view{});
        }
      },
      PlanTimestamps::FromOne);
  out += "</quiz>\n";
  return out;
}

}  // namespace tosim::report
