#include "report/check_report.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "report/json_writing.h"
#include "report/protocols_format.h"
#include "report/report_format.h"
#include "report/report_labels.h"
#include "schedule/op_label.h"

namespace tosim::report {

namespace {

using practice::Cell;
using practice::Field;
using practice::Mark;
using practice::Reason;
using practice::Value;
using practice::Why;

std::string Transaction(std::int32_t t) {
  return "T" + std::to_string(t);
}

// "T1 → T2 → T1", or «vacío».
std::string Chain(const std::vector<std::int32_t>& numbers) {
  if (numbers.empty()) {
    return std::string(Text(Label::OrderEmpty));
  }
  std::string text;
  for (const std::int32_t t : numbers) {
    text += text.empty() ? "" : " → ";
    text += Transaction(t);
  }
  return text;
}

// "T1, T2", or `none`.
std::string List(const std::vector<std::int32_t>& numbers, Label none) {
  std::string text;
  for (const std::int32_t t : numbers) {
    text += text.empty() ? "" : ", ";
    text += Transaction(t);
  }
  return text.empty() ? std::string(Text(none)) : text;
}

std::string AccessLabel(const analysis::Access& access) {
  return OpLabel(access.kind, access.t, access.item);
}

bool IsOrder(Field field) {
  return field == Field::ConflictOrder || field == Field::ConflictCycle ||
         field == Field::ViewOrder;
}

std::string_view OutcomeText(analysis::Outcome outcome) {
  return Text(
      static_cast<Label>(static_cast<int>(Label::DecisionExecuted) + static_cast<int>(outcome)));
}

// A value as the summary says it.
std::string Said(const Value& value, Field field) {
  switch (value.kind) {
    case Value::Kind::Null:
      return std::string(Text(Label::CheckNull));
    case Value::Kind::Bool:
      return std::string(Text(value.yes ? Label::Yes : Label::No));
    case Value::Kind::Number:
      return std::to_string(value.number);
    case Value::Kind::Numbers:
      return IsOrder(field) ? Chain(value.numbers) : List(value.numbers, Label::CommittedNone);
    case Value::Kind::Outcome:
      return std::string(OutcomeText(value.outcome));
    case Value::Kind::Accesses: {
      std::string text;
      for (const analysis::Access& access : value.accesses) {
        text += text.empty() ? "" : ", ";
        text += AccessLabel(access);
      }
      return text.empty() ? std::string(Text(Label::SkippedWritesNone)) : text;
    }
    case Value::Kind::Result:
      return std::string(TextOfKey("step." + std::string(ResultKey(value.result))));
  }
  return {};
}

void PutValue(std::string& out, const Value& value) {
  switch (value.kind) {
    case Value::Kind::Null:
      out += "null";
      break;
    case Value::Kind::Bool:
      out += value.yes ? "true" : "false";
      break;
    case Value::Kind::Number:
      json::PutNumber(out, value.number);
      break;
    case Value::Kind::Numbers:
      json::PutNumbers(out, value.numbers);
      break;
    case Value::Kind::Outcome:
      json::PutString(out, OutcomeKey(value.outcome));
      break;
    case Value::Kind::Accesses:
      out += '[';
      for (const analysis::Access& access : value.accesses) {
        out += out.back() == '[' ? "" : ",";
        json::PutString(out, AccessLabel(access));
      }
      out += ']';
      break;
    case Value::Kind::Result:
      json::PutString(out, ResultKey(value.result));
      break;
  }
}

// The operation of trace entry `step` at `index` for the summary: "R1(A)", or «operación 5»
// for one the reader could not read whole.
std::string EntryLabel(const analysis::TraceStep& step, std::int32_t index) {
  if (analysis::IsWhole(step)) {
    return OpLabel(step.kind, step.number, step.item);
  }
  return std::string(Text(Label::Position)) + " " + std::to_string(index + 2);
}

bool SameNumbers(const analysis::TraceStep& a, const analysis::TraceStep& b) {
  return a.decision == b.decision && a.stateBefore == b.stateBefore && a.ts == b.ts &&
         a.tsLect == b.tsLect && a.tsEscr == b.tsEscr && a.before == b.before;
}

// «No: » for a mistake, «Coherente con sus respuestas anteriores: » for a consistent cell.
void Opening(std::string& out, Mark mark) {
  out += Text(mark == Mark::Consistent ? Label::CheckFollows : Label::CheckNo);
  out += ": ";
}

// "; en la ejecución, " and the run's sentence for entry `truth`.
void InTheRun(std::string& out, const analysis::TraceStep& truth) {
  out += "; ";
  out += Text(Label::CheckWithRun);
  out += ", ";
  AppendWhy(out, truth);
}

void StepWhy(std::string& out, Mark mark, const Reason& reason) {
  Opening(out, mark);
  if (mark == Mark::Wrong && SameNumbers(reason.judged, reason.truth)) {
    AppendWhy(out, reason.truth);
    return;
  }
  if (mark == Mark::Wrong) {
    out += Text(Label::CheckWithYours);
    out += ", ";
  }
  AppendWhy(out, reason.judged);
  InTheRun(out, reason.truth);
}

void BreachWhy(std::string& out, Field field, const Reason& reason) {
  const int offset = field == Field::Recoverable ? 0 : field == Field::Cascadeless ? 2 : 4;
  const bool holds = reason.why == Why::NoBreach;
  const Label label =
      static_cast<Label>(static_cast<int>(Label::CheckRecoverableYes) + offset + (holds ? 0 : 1));
  const analysis::Breach& breach = reason.breach;
  AppendFilled(out, label,
               {{"t", std::to_string(breach.t)},
                {"u", std::to_string(breach.u)},
                {"x", std::string(1, breach.item)},
                {"p", std::to_string(breach.position)}});
}

// A write read or last in the plan or in an order: «W1(A) (operación 5)», «el valor inicial».
std::string WriteSaid(std::int64_t position, std::int32_t writer, char item) {
  if (writer == 0) {
    return std::string(Text(Label::CheckViewInitial));
  }
  std::string said;
  AppendFilled(
      said, Label::CheckViewWrite,
      {{"op", AccessLabel({OpKind::Write, writer, item})}, {"p", std::to_string(position)}});
  return said;
}

void VerdictWhy(std::string& out, Field field, const Reason& reason) {
  const bool conflict = field == Field::ConflictSerializable || field == Field::ConflictOrder ||
                        field == Field::ConflictCycle;
  if (conflict) {
    AppendFilled(out, reason.cycle ? Label::CheckConflictNo : Label::CheckConflictYes,
                 {{"order", Chain(reason.numbers)}, {"cycle", Chain(reason.numbers)}});
  } else if (reason.cycle) {
    out += Text(Label::CheckViewNo);
  } else {
    AppendFilled(out, Label::CheckViewYes, {{"order", Chain(reason.numbers)}});
  }
}

}  // namespace

std::string CellKey(const Cell& cell) {
  static constexpr std::string_view kKeys[] = {"timestamps",
                                               "committed",
                                               "aborted",
                                               "skipped_writes",
                                               "conflict_serializable",
                                               "conflict_order",
                                               "conflict_cycle",
                                               "view_serializable",
                                               "view_order",
                                               "recoverable",
                                               "cascadeless",
                                               "strict",
                                               "decision",
                                               "ts_lect",
                                               "ts_escr",
                                               "result",
                                               "waited_for"};
  const std::string_view key = kKeys[static_cast<int>(cell.field)];
  const std::string index = "[" + std::to_string(cell.index) + "].";
  switch (cell.field) {
    case Field::Timestamp:
      return std::string(key) + "." + std::to_string(cell.index);
    case Field::Decision:
    case Field::TsLect:
    case Field::TsEscr:
      return "trace" + index + std::string(key);
    case Field::StepResult:
    case Field::StepWaitedFor:
      return std::string("protocols.") + protocols::ProtocolName(cell.protocol) + ".steps" + index +
             std::string(key);
    default:
      return std::string(key);
  }
}

void AppendCellWhy(std::string& out, const analysis::PlanReport& report,
                   const protocols::PlanProtocols* lab, const Cell& cell) {
  const Reason& reason = cell.reason;
  switch (reason.why) {
    case Why::Step:
      StepWhy(out, cell.mark, reason);
      return;
    case Why::OwnDecision:
      Opening(out, cell.mark);
      AppendFilled(out, Label::CheckOwnDecision,
                   {{"decision", std::string(OutcomeText(reason.decided))}});
      InTheRun(out, reason.truth);
      return;
    case Why::Begin:
      if (cell.mark == Mark::Consistent) {
        out += Text(Label::CheckFollows);
        InTheRun(out, reason.truth);
      } else {
        Opening(out, cell.mark);
        AppendWhy(out, reason.truth);
      }
      return;
    case Why::NotBegun:
      Opening(out, cell.mark);
      AppendFilled(out, Label::CheckNotBegun, {{"t", std::to_string(reason.t)}});
      return;
    case Why::Ended:
    case Why::Skipped: {
      Opening(out, cell.mark);
      const std::string item =
          reason.why == Why::Ended ? Transaction(reason.t) : AccessLabel(reason.access);
      AppendFilled(out, reason.missing ? Label::CheckMissing : Label::CheckExtra, {{"item", item}});
      out += ": ";
      if (reason.entry >= 0) {
        AppendWhy(out, reason.truth);
      } else if (reason.why == Why::Ended) {
        AppendFilled(out, Label::CheckNotEnded, {{"t", std::to_string(reason.t)}});
      } else {
        out += Text(Label::CheckNotInPlan);
      }
      return;
    }
    case Why::ConflictVerdict:
    case Why::ViewVerdict:
      Opening(out, cell.mark);
      VerdictWhy(out, cell.field, reason);
      return;
    case Why::FollowsVerdict:
      AppendFilled(out, Label::CheckFollowsVerdict,
                   {{"answer", std::string(Text(reason.cycle ? Label::Yes : Label::No))}});
      out += "; ";
      VerdictWhy(out, cell.field, reason);
      return;
    case Why::NotAnOrder:
      Opening(out, cell.mark);
      AppendFilled(out, Label::CheckNotAnOrder,
                   {{"list", List(reason.numbers, Label::OrderEmpty)}});
      return;
    case Why::EdgeAgainst:
    case Why::NotAnEdge:
      Opening(out, cell.mark);
      AppendFilled(out,
                   reason.why == Why::EdgeAgainst ? Label::CheckEdgeAgainst : Label::CheckNotAnEdge,
                   {{"t", std::to_string(reason.t)}, {"u", std::to_string(reason.u)}});
      return;
    case Why::NotACycle:
      Opening(out, cell.mark);
      out += Text(Label::CheckNotACycle);
      return;
    case Why::ViewDiffers: {
      Opening(out, cell.mark);
      const analysis::ViewDifference& view = reason.view;
      const bool read = view.kind == analysis::ViewDifference::Kind::Read;
      AppendFilled(out, read ? Label::CheckViewRead : Label::CheckViewFinal,
                   {{"op", AccessLabel({OpKind::Read, view.t, view.item})},
                    {"p", std::to_string(view.position)},
                    {"x", std::string(1, view.item)},
                    {"source", WriteSaid(view.writeInP, view.writerInP, view.item)},
                    {"other", WriteSaid(view.writeInOrder, view.writerInOrder, view.item)}});
      return;
    }
    case Why::Breach:
    case Why::NoBreach:
      Opening(out, cell.mark);
      BreachWhy(out, cell.field, reason);
      return;
    case Why::ProtocolStep: {
      Opening(out, cell.mark);
      const protocols::ProtocolRun& run = lab->runs[static_cast<int>(cell.protocol)];
      std::string why;
      AppendStepWhy(why, run, reason.protocolStep);
      AppendFilled(out, Label::CheckProtocolStep,
                   {{"protocol", protocols::ProtocolName(cell.protocol)},
                    {"op", protocols::StepLabel(reason.protocolStep)},
                    {"cell", StepCell(run, reason.protocolStep)},
                    {"why", why}});
      return;
    }
  }
  (void)report;
}

AnswerMatcher::AnswerMatcher(std::vector<PlanAnswers> objects)
    : objects_(std::move(objects)), taken_(objects_.size(), false) {}

const PlanAnswers* AnswerMatcher::Take(const analysis::PlanReport& report) {
  for (std::size_t i = 0; i < objects_.size(); ++i) {
    const PlanAnswers& object = objects_[i];
    if (taken_[i] || object.line != report.line) {
      continue;
    }
    if (object.planGiven &&
        (object.hasPlan != report.hasPlan || (report.hasPlan && object.plan != report.plan))) {
      continue;
    }
    taken_[i] = true;
    return &object;
  }
  return nullptr;
}

void AnswerMatcher::Unmatched(std::vector<AnswerProblem>& problems) const {
  for (std::size_t i = 0; i < objects_.size(); ++i) {
    if (taken_[i]) {
      continue;
    }
    const PlanAnswers& object = objects_[i];
    std::string text = "el fichero de planes no tiene ";
    if (!object.planGiven) {
      text += "otro plan en la línea " + std::to_string(object.line);
    } else if (!object.hasPlan) {
      text += "una línea " + std::to_string(object.line) + " sin plan";
    } else {
      text += "otro plan P" + std::to_string(object.plan) + " en la línea " +
              std::to_string(object.line);
    }
    problems.push_back({object.at, text});
  }
}

void AppendCheck(std::string& out, bool json, const analysis::PlanReport& report,
                 const PlanAnswers* answers, Score& score, std::vector<AnswerProblem>& problems) {
  practice::PlanMarks marks;
  protocols::PlanProtocols lab;
  const bool withLab = answers != nullptr && answers->protocols;
  if (withLab) {
    lab = practice::ReplayLab(report);
  }
  if (answers != nullptr) {
    marks = practice::CheckPlan(report, withLab ? &lab : nullptr, answers->answers);
    const practice::Misfit& misfit = marks.misfit;
    if (misfit.kind != practice::Misfit::Kind::None) {
      const std::string key =
          misfit.kind == practice::Misfit::Kind::TraceLength
              ? std::string("trace")
              : std::string("protocols.") + protocols::ProtocolName(misfit.protocol) + ".steps";
      const auto count = [](std::size_t n) {
        return std::to_string(n) + (n == 1 ? " operación" : " operaciones");
      };
      problems.push_back({answers->at, "\"" + key + "\": respuestas para " + count(misfit.given) +
                                           "; el plan tiene " + count(misfit.expected)});
      answers = nullptr;
    }
  }
  if (answers == nullptr && !report.hasPlan) {
    return;  // a line without a plan, not answered: nothing to say
  }
  score.good += marks.right + marks.consistent;
  score.marked += marks.right + marks.wrong + marks.consistent;

  if (json) {
    out += '{';
    json::PutKey(out, "line");
    json::PutNumber(out, report.line);
    json::PutKey(out, "plan");
    if (report.hasPlan) {
      json::PutNumber(out, report.plan);
    } else {
      out += "null";
    }
    json::PutKey(out, "right");
    json::PutNumber(out, marks.right);
    json::PutKey(out, "wrong");
    json::PutNumber(out, marks.wrong);
    json::PutKey(out, "consistent");
    json::PutNumber(out, marks.consistent);
    json::PutKey(out, "cells");
    out += '[';
    std::string why;
    for (const Cell& cell : marks.cells) {
      out += out.back() == '[' ? "{" : ",{";
      json::PutKey(out, "key");
      json::PutString(out, CellKey(cell));
      json::PutKey(out, "given");
      PutValue(out, cell.given);
      json::PutKey(out, "expected");
      PutValue(out, cell.expected);
      json::PutKey(out, "mark");
      out += cell.mark == Mark::Wrong ? "\"wrong\"" : "\"consistent\"";
      json::PutKey(out, "why");
      why.clear();
      AppendCellWhy(why, report, withLab ? &lab : nullptr, cell);
      json::PutString(out, why);
      out += '}';
    }
    out += "]}\n";
    return;
  }

  out += Text(Label::Line);
  out += ' ';
  out += std::to_string(report.line);
  out += ", ";
  if (report.hasPlan) {
    out += Text(Label::Plan);
    out += " P" + std::to_string(report.plan);
  } else {
    out += Text(Label::NoPlan);
  }
  out += ": ";
  if (answers == nullptr) {
    out += Text(Label::CheckUnanswered);
    out += '\n';
    return;
  }
  const std::int32_t marked = marks.right + marks.wrong + marks.consistent;
  out += std::to_string(marks.right + marks.consistent) + " " + std::string(Text(Label::CheckOf)) +
         " " + std::to_string(marked);
  if (marks.wrong != 0) {
    out += "; " + std::to_string(marks.wrong) + " " + std::string(Text(Label::CheckWrong));
  }
  if (marks.consistent != 0) {
    out +=
        "; " + std::to_string(marks.consistent) + " " + std::string(Text(Label::CheckConsistent));
  }
  out += '\n';
  for (const Cell& cell : marks.cells) {
    out += "  ";
    out += Text(cell.mark == Mark::Wrong ? Label::CheckWrong : Label::CheckConsistent);
    out += ": ";
    out += CellKey(cell);
    if (cell.field >= Field::Decision && cell.field <= Field::TsEscr) {
      out += " (" + EntryLabel(report.trace[cell.index], cell.index) + ")";
    } else if (cell.field >= Field::StepResult) {
      out += " (" + protocols::StepLabel(cell.reason.protocolStep) + ")";
    }
    out += ": ";
    out += Text(Label::CheckGiven);
    out += " «" + Said(cell.given, cell.field) + "»; ";
    out += Text(Label::CheckExpected);
    out += " «" + Said(cell.expected, cell.field) + "». ";
    AppendCellWhy(out, report, withLab ? &lab : nullptr, cell);
    out += '\n';
  }
}

void AppendCheckTotal(std::string& out, const Score& score) {
  out += Text(Label::CheckTotal);
  out += ": " + std::to_string(score.good) + " " + std::string(Text(Label::CheckOf)) + " " +
         std::to_string(score.marked) + "\n";
}

}  // namespace tosim::report
