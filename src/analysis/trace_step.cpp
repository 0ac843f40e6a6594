#include "analysis/trace_step.h"

namespace tosim::analysis {

bool ShowsStatus(Decision decision) {
  switch (decision) {
    case Decision::ReadDone:
    case Decision::ReadTooLate:
    case Decision::WriteDone:
    case Decision::WriteTooLate:
    case Decision::WriteSkipped:
    case Decision::WriteObsoleteAborted:
      return true;
    default:
      return false;
  }
}

bool IsWhole(const TraceStep& step) {
  switch (step.error) {
    case SyntaxError::None:
    case SyntaxError::CloseExpected:
      return step.kind != OpKind::Illegal;
    default:
      return false;
  }
}

TraceStep DecideStep(SchedulerTables& tables, const Operation& operation, SyntaxError error) {
  TraceStep step;
  step.kind = operation.kind;
  step.item = operation.item;
  step.error = error;
  step.number = operation.number;
  const TransactionEntry* transaction = FindTransaction(tables, operation.number);
  step.stateBefore = transaction == nullptr ? TransactionState::Inactive : transaction->state;
  const ItemEntry* item = FindItem(tables, operation.item);
  const std::int32_t before = item == nullptr                   ? 0
                              : operation.kind == OpKind::Write ? item->TS_escr
                                                                : item->TS_lect;
  step.decision = Decide(tables, operation);
  if (ShowsStatus(step.decision)) {
    step.ts = transaction->TStamp;
    step.tsLect = item->TS_lect;
    step.tsEscr = item->TS_escr;
    step.before = before;
  } else if (step.decision == Decision::Begun) {
    step.ts = transaction->TStamp;
  }
  return step;
}

Outcome OutcomeOf(const TraceStep& step) {
  switch (step.decision) {
    case Decision::Begun:
      return Outcome::Begun;
    case Decision::Validated:
      return Outcome::Committed;
    case Decision::Aborted:
      return Outcome::Aborted;
    case Decision::ReadDone:
    case Decision::WriteDone:
      return Outcome::Executed;
    case Decision::ReadTooLate:
    case Decision::WriteTooLate:
    case Decision::WriteObsoleteAborted:
      return Outcome::Rejected;
    case Decision::WriteSkipped:
      return Outcome::Skipped;
    default:
      return Outcome::Error;
  }
}

Rule RuleOf(const TraceStep& step) {
  switch (step.kind == OpKind::Illegal ? SyntaxError::IllegalOperation : step.error) {
    case SyntaxError::IllegalOperation:
      return Rule::IllegalOperation;
    case SyntaxError::NumberExpected:
      return Rule::NumberExpected;
    case SyntaxError::OpenExpected:
      return Rule::OpenExpected;
    case SyntaxError::LetterExpected:
      return Rule::LetterExpected;
    case SyntaxError::None:
    case SyntaxError::CloseExpected:
      break;
  }
  switch (step.decision) {
    case Decision::Begun:
      return Rule::Begin;
    case Decision::AlreadyStarted:
      return Rule::AlreadyBegun;
    case Decision::TransactionOutOfRange:
      return Rule::TransactionOutOfRange;
    case Decision::Validated:
      return Rule::Commit;
    case Decision::Aborted:
      return Rule::Abort;
    case Decision::NotActive:
      return Rule::NotActive;
    case Decision::AccessNotActive:
      return Rule::AccessNotActive;
    case Decision::ItemOutOfRange:
      return Rule::ItemOutOfRange;
    case Decision::ReadDone:
      return Rule::Read;
    case Decision::ReadTooLate:
      return Rule::ReadTooLate;
    case Decision::WriteDone:
      return Rule::Write;
    case Decision::WriteTooLate:
      return Rule::WriteTooLate;
    case Decision::WriteSkipped:
      return Rule::Thomas;
    case Decision::WriteObsoleteAborted:
      return Rule::ObsoleteWrite;
    case Decision::PlanStarted:
    case Decision::None:
      break;
  }
  return Rule::IllegalOperation;
}

}  // namespace tosim::analysis
