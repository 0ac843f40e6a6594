// tosim's trace as data: one record per operation, with the decision, its numbers and the rule
// that decided it, for the report's `trace` key and for checking a student's predictions.
#pragma once

#include <cstdint>

#include "plan/plan_reader.h"
#include "scheduler/scheduler.h"
#include "tosim/operation.h"

namespace tosim::analysis {

// One operation of a plan after its start, as tosim's trace shows it: what the reader read, what
// the scheduler decided, and the numbers of the decision. Compact: a plan may have millions.
struct TraceStep {
  OpKind kind = OpKind::Illegal;  // any kind but Plan and EndOfPlan
  char item = ' ';                // as read
  Decision decision = Decision::None;
  SyntaxError error = SyntaxError::None;  // what the reader found wrong with the operation
  // The transaction's state before the operation; Inactive too for a number outside 1..10.
  TransactionState stateBefore = TransactionState::Inactive;
  std::int32_t number = 0;  // the transaction number as read (stale for an illegal operation)
  // When the trace line shows the status (ShowsStatus()): the transaction's timestamp and the
  // item's timestamps after the decision, and `before`, the one of the item's timestamps that the
  // operation may change (TS_lect for a read, TS_escr for a write), as it was before. For a begin
  // that succeeded, `ts` is the timestamp received. Otherwise 0.
  std::int32_t ts = 0;
  std::int32_t tsLect = 0;
  std::int32_t tsEscr = 0;
  std::int32_t before = 0;
};

// What became of an operation, as a student names it.
enum class Outcome : std::uint8_t {
  Executed,   // an accepted read or write
  Rejected,   // a read or write that aborts its transaction
  Skipped,    // a write the Thomas write rule ignores
  Aborted,    // an abort operation
  Committed,  // a commit
  Begun,      // a transaction start
  Error,      // the trace says "ERR:": the operation is refused, nothing changes
};

// The rule that decided an operation: one per distinct rule of the scheduler, and of the plan
// reader when it could not read the operation whole.
enum class Rule : std::uint8_t {
  Begin,
  AlreadyBegun,
  TransactionOutOfRange,
  Commit,
  Abort,
  NotActive,        // a commit or abort of a transaction that is not active
  AccessNotActive,  // a read or write of a transaction that is not active
  ItemOutOfRange,
  Read,           // TS_escr <= TS: read, TS_lect raised
  ReadTooLate,    // TS_escr > TS
  Write,          // TS_lect <= TS and TS_escr <= TS
  WriteTooLate,   // TS_lect > TS
  Thomas,         // TS_escr > TS: an obsolete write, skipped
  ObsoleteWrite,  // the same without the Thomas write rule: the writer aborts
  IllegalOperation,
  NumberExpected,
  OpenExpected,
  LetterExpected,
};

// Whether the trace line of a decision shows the status "TStamp Tn=... TS_lect_x=...
// TS_escr_x=...".
[[nodiscard]] bool ShowsStatus(Decision decision);

// Whether the reader read the operation whole: not an illegal one, and none whose number, "(" or
// item letter was missing (a missing ")" leaves a whole operation).
[[nodiscard]] bool IsWhole(const TraceStep& step);

// Decides `operation` (any kind but Plan and EndOfPlan), read with `error`, on `tables`, and
// returns its record as the trace shows it.
[[nodiscard]] TraceStep DecideStep(SchedulerTables& tables, const Operation& operation,
                                   SyntaxError error);

[[nodiscard]] Outcome OutcomeOf(const TraceStep& step);
[[nodiscard]] Rule RuleOf(const TraceStep& step);

}  // namespace tosim::analysis
