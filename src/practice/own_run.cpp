#include "practice/own_run.h"

#include <utility>

namespace tosim::practice {

namespace {

using analysis::Outcome;
using analysis::TraceStep;

bool IsAccess(OpKind kind) {
  return kind == OpKind::Read || kind == OpKind::Write;
}

// Whether the operation's transaction, and item for a read or write, have entries in the tables.
bool InTables(const TraceStep& step) {
  return step.number >= kFirstTransaction && step.number <= kLastTransaction &&
         (!IsAccess(step.kind) || (step.item >= 'A' && step.item <= 'Z'));
}

// Whether `outcome` is one the operation of `step` can have at all; an error always is.
bool Possible(Outcome outcome, const TraceStep& step) {
  if (outcome == Outcome::Error) {
    return true;
  }
  if (!InTables(step)) {
    return false;
  }
  switch (step.kind) {
    case OpKind::Begin:
      return outcome == Outcome::Begun;
    case OpKind::Validate:
      return outcome == Outcome::Committed;
    case OpKind::Abort:
      return outcome == Outcome::Aborted;
    case OpKind::Read:
      return outcome == Outcome::Executed || outcome == Outcome::Rejected;
    case OpKind::Write:
      return outcome == Outcome::Executed || outcome == Outcome::Rejected ||
             outcome == Outcome::Skipped;
    default:
      return false;
  }
}

// The tables as the student's decision `outcome` (a possible one) for the operation of `step`
// leaves them: what the decision means, whatever the rules would have said. A begin receives
// `timestamp`.
void Apply(SchedulerTables& tables, const TraceStep& step, Outcome outcome,
           std::int32_t timestamp) {
  if (outcome == Outcome::Error) {
    return;
  }
  TransactionEntry& transaction = tables.TransactionTable[step.number - kFirstTransaction];
  switch (outcome) {
    case Outcome::Begun:
      transaction = TransactionEntry{TransactionState::Active, timestamp};
      tables.TimestampCounter = timestamp;
      return;
    case Outcome::Committed:
      transaction.state = TransactionState::Validated;
      return;
    case Outcome::Aborted:
    case Outcome::Rejected:
      transaction.state = TransactionState::Aborted;
      return;
    case Outcome::Skipped:
      transaction.state = TransactionState::Active;
      return;
    default:
      break;
  }
  transaction.state = TransactionState::Active;
  ItemEntry& item = tables.ItemTable[step.item - 'A'];
  if (step.kind == OpKind::Write) {
    item.TS_escr = transaction.TStamp;
  } else if (item.TS_lect < transaction.TStamp) {
    item.TS_lect = transaction.TStamp;
  }
}

Value OutcomeValue(Outcome outcome) {
  Value value;
  value.kind = Value::Kind::Outcome;
  value.outcome = outcome;
  return value;
}

Value NumberAnswer(const Answer<std::int32_t>& answer) {
  return NumberOrNull(!answer.none, answer.value);
}

// An item's timestamp after a row: `shown` false where the row has no status.
struct Timestamp {
  bool shown = false;
  std::int32_t value = 0;
  bool operator==(const Timestamp&) const = default;
};

bool Matches(const Answer<std::int32_t>& answer, Timestamp timestamp) {
  return answer.none ? !timestamp.shown : timestamp.shown && answer.value == timestamp.value;
}

}  // namespace

Value NumberOrNull(bool shown, std::int32_t number) {
  Value value;
  if (shown) {
    value.kind = Value::Kind::Number;
    value.number = number;
  }
  return value;
}

Value NumbersValue(const std::vector<std::int32_t>& numbers) {
  Value value;
  value.kind = Value::Kind::Numbers;
  value.numbers = numbers;
  return value;
}

void Tally(PlanMarks& marks, std::vector<Cell>& cells, Cell&& cell) {
  switch (cell.mark) {
    case Mark::Right:
      ++marks.right;
      return;
    case Mark::Wrong:
      ++marks.wrong;
      break;
    case Mark::Consistent:
      ++marks.consistent;
      break;
  }
  cells.push_back(std::move(cell));
}

OwnRun RunAsStudent(const analysis::PlanReport& report, const Answers& answers, PlanMarks& marks,
                    std::vector<Cell>& cells) {
  OwnRun own;
  own.judged.reserve(report.trace.size());
  SchedulerTables tables;
  StartPlan(tables);
  tables.TimestampCounter = report.counterAtStart;
  std::int32_t counter = report.counterAtStart;  // the counter of the student's begins
  const bool answered = answers.trace.IsValue();

  for (std::size_t i = 0; i < report.trace.size(); ++i) {
    const TraceStep& truth = report.trace[i];
    const TraceAnswer* answer = answered ? &answers.trace.value[i] : nullptr;
    const Operation operation{truth.kind, truth.number, truth.item};

    // A begin receives the timestamp the student gave it, else the run's, else the counter's.
    const bool begin = truth.kind == OpKind::Begin && InTables(truth);
    std::int32_t timestamp = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) + 1u);
    if (begin) {
      const Answer<std::int32_t>& given = answers.timestamps[truth.number - kFirstTransaction];
      if (given.IsValue()) {
        timestamp = given.value;
      } else if (truth.decision == Decision::Begun) {
        timestamp = truth.ts;
      }
      tables.TimestampCounter =
          static_cast<std::int32_t>(static_cast<std::uint32_t>(timestamp) - 1u);
    }
    const SchedulerTables before = tables;
    own.judged.push_back(analysis::DecideStep(tables, operation, truth.error));
    const TraceStep& judged = own.judged.back();
    const Outcome ruled = analysis::OutcomeOf(judged);
    const Outcome right = analysis::OutcomeOf(truth);
    Outcome outcome = ruled;

    if (answer != nullptr && answer->decision.given) {
      const Outcome given = answer->decision.value;
      Cell cell;
      cell.field = Field::Decision;
      cell.index = static_cast<std::int32_t>(i);
      cell.mark = MarkOf(given == right, given == ruled);
      cell.given = OutcomeValue(given);
      cell.expected = OutcomeValue(right);
      cell.reason.why = Why::Step;
      cell.reason.entry = cell.index;
      cell.reason.judged = judged;
      cell.reason.truth = truth;
      Tally(marks, cells, std::move(cell));
      if (given != ruled && Possible(given, truth)) {
        tables = before;
        Apply(tables, truth, given, timestamp);
        outcome = given;
      }
    }
    if (begin && outcome == Outcome::Begun) {
      counter = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) + 1u);
      own.timestamps[truth.number - kFirstTransaction].Set(counter);
    }
    if (outcome == Outcome::Skipped) {
      own.skippedWrites.push_back({truth.kind, truth.number, truth.item});
    }
    if (answer == nullptr) {
      continue;
    }

    // TS_lect and TS_escr after the row, in the run and in the student's run so far.
    const bool shown = analysis::ShowsStatus(truth.decision);
    const bool ownShown = IsAccess(truth.kind) && InTables(truth) &&
                          (outcome == Outcome::Executed || outcome == Outcome::Rejected ||
                           outcome == Outcome::Skipped);
    ItemEntry* item =
        InTables(truth) && IsAccess(truth.kind) ? &tables.ItemTable[truth.item - 'A'] : nullptr;
    TraceStep after = judged;
    if (outcome != ruled && ownShown) {
      after.ts = tables.TransactionTable[truth.number - kFirstTransaction].TStamp;
      after.tsLect = item->TS_lect;
      after.tsEscr = item->TS_escr;
    }
    const auto markTimestamp = [&](Field field, const Answer<std::int32_t>& given,
                                   std::int32_t TraceStep::*member, std::int32_t ItemEntry::*kept) {
      if (!given.given) {
        return;
      }
      const Timestamp run{shown, truth.*member};
      const Timestamp mine{ownShown, ownShown ? item->*kept : 0};
      Cell cell;
      cell.field = field;
      cell.index = static_cast<std::int32_t>(i);
      cell.mark = MarkOf(Matches(given, run), Matches(given, mine));
      cell.given = NumberAnswer(given);
      cell.expected = NumberOrNull(shown, truth.*member);
      cell.reason.why = outcome == ruled ? Why::Step : Why::OwnDecision;
      cell.reason.decided = outcome;
      cell.reason.entry = cell.index;
      cell.reason.judged = after;
      cell.reason.truth = truth;
      Tally(marks, cells, std::move(cell));
      if (given.IsValue() && item != nullptr) {
        item->*kept = given.value;  // the student's own number from here on
      }
    };
    markTimestamp(Field::TsLect, answer->tsLect, &TraceStep::tsLect, &ItemEntry::TS_lect);
    markTimestamp(Field::TsEscr, answer->tsEscr, &TraceStep::tsEscr, &ItemEntry::TS_escr);
  }

  for (int t = 0; t < kTransactionCount; ++t) {
    if (!own.timestamps[t].given) {
      own.timestamps[t].SetNone();
    }
    const TransactionState state = tables.TransactionTable[t].state;
    if (state == TransactionState::Validated) {
      own.committed.push_back(t + kFirstTransaction);
    } else if (state == TransactionState::Aborted) {
      own.aborted.push_back(t + kFirstTransaction);
    }
  }
  return own;
}

}  // namespace tosim::practice
