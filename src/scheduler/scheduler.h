// The timestamp scheduler: basic timestamp ordering with the Thomas write rule. Each call decides
// one operation of the current plan on a set of tables and returns the decision as a value; the
// trace prints it, the analysis and the protocols count it. The rules are here and nowhere else;
// this layer writes nothing.
#pragma once

#include <cstdint>

#include "tosim/operation.h"

namespace tosim {

enum class TransactionState : std::uint8_t { Inactive, Active, Validated, Aborted };

struct TransactionEntry {
  TransactionState state = TransactionState::Inactive;
  std::int32_t TStamp = -1;
};

struct ItemEntry {
  std::int32_t TS_lect = 0;  // the youngest timestamp that has read the item
  std::int32_t TS_escr = 0;  // the timestamp of the last accepted write
};

// What the scheduler decided for one operation.
enum class Decision : std::uint8_t {
  PlanStarted,            // the tables were reset
  Begun,                  // the transaction received its timestamp
  AlreadyStarted,         // a transaction starts once per plan
  TransactionOutOfRange,  // a start outside 1..10
  Validated,              // commit
  Aborted,                // abort operation
  NotActive,              // commit or abort of a transaction that is not active
  AccessNotActive,        // read or write of a transaction that is not active
  ItemOutOfRange,         // read or write of an item that is not a letter
  ReadDone,               // TStamp >= TS_escr: read; TS_lect raised to TStamp
  ReadTooLate,            // TS_escr > TStamp: the reader is aborted
  WriteDone,              // TS_escr := TStamp
  WriteTooLate,           // TS_lect > TStamp: the writer is aborted
  WriteSkipped,           // TS_escr > TStamp, Thomas write rule: the write is ignored
  WriteObsoleteAborted,   // TS_escr > TStamp without the Thomas write rule: the writer is aborted
  None,                   // an illegal operation: nothing to decide
};

// Whether the timestamp counter runs on from plan to plan (tosim's rule) or every plan start sets
// it back to 0, so that each plan's timestamps start at 1 as if it were alone in its file.
enum class PlanTimestamps : std::uint8_t { RunOn, FromOne };

// The transaction and item tables of the current plan and the run-wide timestamp counter. A new
// set of tables starts a run: the counter is 0 and every plan start resets the tables, not the
// counter (unless `planTimestamps` says FromOne). Without `thomasWriteRule` an obsolete write
// aborts its writer instead of being skipped.
struct SchedulerTables {
  TransactionEntry TransactionTable[kTransactionCount];
  ItemEntry ItemTable[kItemCount];
  std::int32_t TimestampCounter = 0;
  bool thomasWriteRule = true;
  PlanTimestamps planTimestamps = PlanTimestamps::RunOn;
};

// Increments the counter (wrapping around like a signed 32-bit number) and returns the new
// value; the first timestamp of a run is 1.
[[nodiscard]] std::int32_t NextTimestamp(SchedulerTables& tables);

// Resets every transaction to Inactive and every item's timestamps to 0 (and the counter, when
// the tables' planTimestamps is FromOne).
Decision StartPlan(SchedulerTables& tables);
Decision BeginTransaction(SchedulerTables& tables, std::int32_t t);
Decision AbortTransaction(SchedulerTables& tables, std::int32_t t);
Decision ValidateTransaction(SchedulerTables& tables, std::int32_t t);
Decision ReadItem(SchedulerTables& tables, std::int32_t t, char x);
Decision WriteItem(SchedulerTables& tables, std::int32_t t, char x);

// The call above that `operation` stands for; None for Illegal and EndOfPlan.
Decision Decide(SchedulerTables& tables, const Operation& operation);

// The entries of transaction `t` and item `x`: nullptr outside 1..10 and "A".."Z".
[[nodiscard]] const TransactionEntry* FindTransaction(const SchedulerTables& tables,
                                                      std::int32_t t);
[[nodiscard]] const ItemEntry* FindItem(const SchedulerTables& tables, char x);

}  // namespace tosim
