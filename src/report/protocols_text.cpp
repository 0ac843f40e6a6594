#include <algorithm>
#include <bit>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "report/protocols_format.h"
#include "report/report_labels.h"

namespace tosim::report {

namespace {

using protocols::Cause;
using protocols::ProtocolRun;
using protocols::Result;
using protocols::Step;

// "T1, T3", or `none` for the empty set.
void PutSet(std::string& out, TransactionSet set, std::string_view none) {
  if (set.Empty()) {
    out += none;
  }
  set.ForEach([&](int t) {
    out += out.back() == ' ' ? "T" : ", T";
    out += std::to_string(t);
  });
}

// "T1 → T2 → T1"
void PutChain(std::string& out, const std::vector<std::int32_t>& list) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    out += i == 0 ? "T" : " → T";
    out += std::to_string(list[i]);
  }
}

// A label of the protocol lab's words.
std::string_view Word(Label label) {
  return Text(label);
}

// "cause.CAUSE" of the table of words.
std::string_view CauseText(Cause cause) {
  return TextOfKey(std::string("cause.") + protocols::CauseName(cause));
}

// Characters, not bytes: the table is aligned for the eye.
std::size_t Width(std::string_view text) {
  std::size_t width = 0;
  for (const char byte : text) {
    width += (static_cast<unsigned char>(byte) & 0xC0u) != 0x80u;
  }
  return width;
}

// "; label " between the parts of a protocol's line.
void PutEntry(std::string& out, Label label) {
  out += "; ";
  out += Word(label);
  out += ' ';
}

void PutPadded(std::string& out, const std::string& text, std::size_t width) {
  out += text;
  out.append(width - Width(text), ' ');
}

}  // namespace

std::string StepCell(const ProtocolRun& run, const Step& step) {
  std::string cell;
  const auto then = [&] {
    cell += ' ';
    cell += Word(Label::StepThen);
    cell += ' ';
  };
  if (!step.wounded.Empty()) {
    cell += Word(Label::StepWounds);
    cell += ' ';
    PutSet(cell, step.wounded, "");
    then();
  }
  if (!step.waitedFor.Empty()) {
    cell += Word(Label::StepWaits);
    cell += ' ';
    PutSet(cell, step.waitedFor, "");
    if (step.result == Result::Pending) {
      return cell;
    }
    then();
  } else if (step.delayed) {
    cell += Word(Label::StepQueued);
    then();
  }
  std::string key = "step.";
  key += ResultKey(step.result);
  if (run.aborted.Contains(step.t)) {
    const std::string_view ending =
        TextOfKey(key + "." + protocols::CauseName(run.causes[step.t - 1]));
    if (!ending.empty()) {
      cell += ending;
      return cell;
    }
  }
  cell += TextOfKey(key);
  return cell;
}

void AppendStepWhy(std::string& out, const ProtocolRun& run, const Step& step) {
  using protocols::StepRule;
  const protocols::StepWhy& why = step.why;
  const std::string t = std::to_string(step.t);
  const std::string x(1, step.item);
  const auto set = [](TransactionSet members) {
    std::string text = " ";
    PutSet(text, members, "");
    return text.substr(1);
  };
  // The first transaction the rule names.
  const std::string u =
      why.others.Empty()
          ? std::string()
          : "T" + std::to_string(std::countr_zero(why.others.bits()) + kFirstTransaction);
  const std::string lock(Word(why.a == 1 ? Label::LabLockExclusive : Label::LabLockShared));
  std::string version(Word(Label::LabWhyVersionInitial));
  if (!why.others.Empty()) {
    version.clear();
    AppendFilled(version, Label::LabWhyVersion, {{"u", u}, {"a", std::to_string(why.a)}});
  }
  if (!step.wounded.Empty()) {
    AppendFilled(out, Label::LabWhyWounds, {{"t", t}, {"others", set(step.wounded)}, {"x", x}});
    out += "; ";
  }
  const bool waits = why.rule == StepRule::LockWaits || why.rule == StepRule::StrictWaits;
  if (!step.waitedFor.Empty() && step.result != Result::Pending && !waits) {
    AppendFilled(out, Label::LabWhyWaited, {{"t", t}, {"others", set(step.waitedFor)}});
    out += ' ';
  } else if (step.delayed && step.waitedFor.Empty() && step.result != Result::Pending &&
             step.result != Result::Dropped) {
    AppendFilled(out, Label::LabWhyQueued, {{"t", t}});
    out += ' ';
  }
  const auto say = [&](Label label) {
    AppendFilled(out, label,
                 {{"t", t},
                  {"x", x},
                  {"u", u},
                  {"ts", std::to_string(why.ts)},
                  {"a", std::to_string(why.a)},
                  {"b", std::to_string(why.b)},
                  {"others", set(why.others)},
                  {"lock", lock},
                  {"version", version},
                  {"cause", std::string(CauseText(run.causes[step.t - 1]))}});
  };
  switch (why.rule) {
    case StepRule::Begin:
      return say(Label::LabWhyBegin);
    case StepRule::BeginAgain:
      return say(Label::LabWhyBeginAgain);
    case StepRule::NotActive:
      return say(static_cast<Label>(static_cast<int>(Label::LabWhyNotActiveInactive) + why.a));
    case StepRule::Commit:
      return say(Label::LabWhyCommit);
    case StepRule::Abort:
      return say(Label::LabWhyAbort);
    case StepRule::Dropped:
      return say(Label::LabWhyDropped);
    case StepRule::Pending:
      return say(Label::LabWhyPending);
    case StepRule::Scheduler: {
      analysis::TraceStep scheduled;
      scheduled.kind = step.kind;
      scheduled.item = step.item;
      scheduled.decision = why.decision;
      scheduled.stateBefore = TransactionState::Active;
      scheduled.number = step.t;
      scheduled.ts = why.ts;
      scheduled.tsLect = why.a;
      scheduled.tsEscr = why.b;
      scheduled.before = why.c;
      return AppendWhy(out, scheduled);
    }
    case StepRule::StrictReadTooLate:
      return say(Label::LabWhyStrictReadTooLate);
    case StepRule::StrictWriteTooLate:
      return say(why.ts < why.b ? Label::LabWhyStrictWriteTooLateRead
                                : Label::LabWhyStrictWriteTooLateWrite);
    case StepRule::StrictWaits:
      return say(Label::LabWhyStrictWaits);
    case StepRule::StrictRead:
      return say(Label::LabWhyStrictRead);
    case StepRule::StrictWrite:
      return say(Label::LabWhyStrictWrite);
    case StepRule::VersionRead:
      return say(Label::LabWhyVersionRead);
    case StepRule::VersionTooLate:
      return say(Label::LabWhyVersionTooLate);
    case StepRule::VersionWrite:
      return say(Label::LabWhyVersionWrite);
    case StepRule::LockGranted:
      return say(Label::LabWhyLockGranted);
    case StepRule::LockHeld:
      // After a wait the lock came with a release: it was granted then.
      return say(!step.waitedFor.Empty() ? Label::LabWhyLockGranted : Label::LabWhyLockHeld);
    case StepRule::LockWaits:
      return say(Label::LabWhyLockWaits);
    case StepRule::Dies:
      return say(Label::LabWhyLockDies);
    case StepRule::OccRead:
      return say(why.others.Empty()                     ? Label::LabWhyOccReadInitial
                 : why.others == TransactionSet{step.t} ? Label::LabWhyOccReadOwn
                                                        : Label::LabWhyOccReadCommitted);
    case StepRule::OccWrite:
      return say(Label::LabWhyOccWrite);
    case StepRule::OccWriteLost:
      return say(Label::LabWhyOccWriteLost);
    case StepRule::OccValidated:
      return say(Label::LabWhyOccValidated);
    case StepRule::OccValidationFails:
      AppendFilled(out, Label::LabWhyOccFails,
                   {{"t", t}, {"u", u}, {"x", std::string(1, why.item)}});
      return;
    case StepRule::SiRead:
      return say(why.others.Empty()                     ? Label::LabWhySiReadInitial
                 : why.others == TransactionSet{step.t} ? Label::LabWhySiReadOwn
                                                        : Label::LabWhySiReadCommitted);
    case StepRule::SiWrite:
      return say(Label::LabWhySiWrite);
    case StepRule::SiWriteLost:
      return say(Label::LabWhySiWriteLost);
    case StepRule::SiValidated:
      return say(Label::LabWhySiValidated);
    case StepRule::SiFirstCommitterWins:
      AppendFilled(out, Label::LabWhySiFails,
                   {{"t", t}, {"u", u}, {"x", std::string(1, why.item)}});
      return;
  }
}

void AppendProtocolsText(std::string& out, const protocols::PlanProtocols& plan) {
  constexpr int kColumns = protocols::kProtocolCount + 1;
  const std::vector<Step>& steps = plan.runs[0].steps;
  // The table's cells, row by row: a header, then a row per operation.
  std::vector<std::string> cells;
  cells.reserve((steps.size() + 1) * kColumns);
  cells.emplace_back(Word(Label::LabOperation));
  for (int p = 0; p < protocols::kProtocolCount; ++p) {
    cells.emplace_back(protocols::ProtocolName(static_cast<protocols::Protocol>(p)));
  }
  for (std::size_t i = 0; i < steps.size(); ++i) {
    cells.push_back(protocols::StepLabel(steps[i]));
    for (const ProtocolRun& run : plan.runs) {
      cells.push_back(StepCell(run, run.steps[i]));
    }
  }
  std::size_t widths[kColumns] = {};
  for (std::size_t i = 0; i < cells.size(); ++i) {
    widths[i % kColumns] = std::max(widths[i % kColumns], Width(cells[i]));
  }

  out += "  ";
  out += Word(Label::LabHeading);
  out += ":\n";
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const std::size_t column = i % kColumns;
    if (column == 0) {
      out += "    ";
    }
    if (column + 1 == kColumns) {
      out += cells[i];
      out += '\n';
    } else {
      PutPadded(out, cells[i], widths[column] + 2);
    }
  }

  for (int p = 0; p < protocols::kProtocolCount; ++p) {
    const ProtocolRun& run = plan.runs[p];
    out += "    ";
    out += protocols::ProtocolName(static_cast<protocols::Protocol>(p));
    out += ": ";
    out += Word(Label::LabHistory);
    for (const protocols::Event& event : run.history) {
      out += ' ';
      out += protocols::StepLabel({event.kind, event.t, event.item});
    }
    if (run.history.empty()) {
      out += ' ';
      out += Word(Label::LabHistoryNone);
    }
    PutEntry(out, Label::LabCommitted);
    PutSet(out, run.committed, Word(Label::LabCommittedNone));
    PutEntry(out, Label::LabAborted);
    if (run.aborted.Empty()) {
      out += Word(Label::LabAbortedNone);
    }
    run.aborted.ForEach([&](int t) {
      out += out.back() == ' ' ? "T" : ", T";
      out += std::to_string(t);
      out += " (";
      out += CauseText(run.causes[t - 1]);
      out += ')';
    });
    if (!run.waiting.Empty()) {
      PutEntry(out, Label::LabWaiting);
      PutSet(out, run.waiting, "");
    }
    if (!run.active.Empty()) {
      PutEntry(out, Label::LabActive);
      PutSet(out, run.active, "");
    }
    if (!run.unrecoverable.Empty()) {
      PutEntry(out, Label::LabUnrecoverable);
      PutSet(out, run.unrecoverable, "");
    }
    PutEntry(out, Label::LabDeadlocks);
    if (run.deadlocks.empty()) {
      out += Word(Label::LabDeadlocksNone);
    }
    for (std::size_t i = 0; i < run.deadlocks.size(); ++i) {
      out += i == 0 ? "" : ", ";
      PutChain(out, run.deadlocks[i].cycle);
      out += " (";
      out += Word(Label::LabVictim);
      out += " T";
      out += std::to_string(run.deadlocks[i].victim);
      out += ')';
    }
    PutEntry(out, Label::LabOrder);
    if (!run.orderExists) {
      out += Word(Label::LabOrderNone);
    } else if (run.order.empty()) {
      out += Word(Label::LabOrderEmpty);
    } else {
      PutChain(out, run.order);
    }
    out += '\n';
    for (const Step& step : run.steps) {
      const bool plain = step.result == Result::Executed && !step.delayed && step.wounded.Empty() &&
                         step.why.rule != protocols::StepRule::OccWriteLost &&
                         step.why.rule != protocols::StepRule::SiWriteLost;
      if (!plain) {
        out += "      ";
        out += protocols::StepLabel(step);
        out += ": ";
        AppendStepWhy(out, run, step);
        out += '\n';
      }
    }
  }
}

}  // namespace tosim::report
