#include "scheduler/scheduler.h"

namespace tosim {

namespace {

// Transactions and items outside the tables have no entry; an operation on them is decided
// without touching the tables.
TransactionEntry* Transaction(SchedulerTables& tables, std::int32_t t) {
  if (t < kFirstTransaction || t > kLastTransaction) {
    return nullptr;
  }
  return &tables.TransactionTable[t - kFirstTransaction];
}

ItemEntry* Item(SchedulerTables& tables, char x) {
  if (x < 'A' || x > 'Z') {
    return nullptr;
  }
  return &tables.ItemTable[x - 'A'];
}

bool IsActive(const TransactionEntry* entry) {
  return entry != nullptr && entry->state == TransactionState::Active;
}

// Only an active transaction can end.
Decision EndTransaction(SchedulerTables& tables, std::int32_t t, TransactionState outcome,
                        Decision done) {
  TransactionEntry* entry = Transaction(tables, t);
  if (!IsActive(entry)) {
    return Decision::NotActive;
  }
  entry->state = outcome;
  return done;
}

}  // namespace

std::int32_t NextTimestamp(SchedulerTables& tables) {
  tables.TimestampCounter =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(tables.TimestampCounter) + 1u);
  return tables.TimestampCounter;
}

Decision StartPlan(SchedulerTables& tables) {
  for (TransactionEntry& entry : tables.TransactionTable) {
    entry = TransactionEntry{TransactionState::Inactive, -1};
  }
  for (ItemEntry& entry : tables.ItemTable) {
    entry = ItemEntry{0, 0};
  }
  if (tables.planTimestamps == PlanTimestamps::FromOne) {
    tables.TimestampCounter = 0;
  }
  return Decision::PlanStarted;
}

Decision BeginTransaction(SchedulerTables& tables, std::int32_t t) {
  TransactionEntry* entry = Transaction(tables, t);
  if (entry == nullptr) {
    return Decision::TransactionOutOfRange;
  }
  if (entry->state != TransactionState::Inactive) {
    // A transaction cannot be started again within the same plan.
    return Decision::AlreadyStarted;
  }
  entry->state = TransactionState::Active;
  entry->TStamp = NextTimestamp(tables);
  return Decision::Begun;
}

Decision AbortTransaction(SchedulerTables& tables, std::int32_t t) {
  return EndTransaction(tables, t, TransactionState::Aborted, Decision::Aborted);
}

Decision ValidateTransaction(SchedulerTables& tables, std::int32_t t) {
  // A commit tests nothing beyond the transaction being active.
  return EndTransaction(tables, t, TransactionState::Validated, Decision::Validated);
}

Decision ReadItem(SchedulerTables& tables, std::int32_t t, char x) {
  TransactionEntry* transaction = Transaction(tables, t);
  if (!IsActive(transaction)) {
    return Decision::AccessNotActive;
  }
  ItemEntry* item = Item(tables, x);
  if (item == nullptr) {
    return Decision::ItemOutOfRange;
  }
  if (item->TS_escr > transaction->TStamp) {
    // A younger transaction has written the item already: the reader is too late.
    transaction->state = TransactionState::Aborted;
    return Decision::ReadTooLate;
  }
  if (item->TS_lect < transaction->TStamp) {
    item->TS_lect = transaction->TStamp;
  }
  return Decision::ReadDone;
}

Decision WriteItem(SchedulerTables& tables, std::int32_t t, char x) {
  TransactionEntry* transaction = Transaction(tables, t);
  if (!IsActive(transaction)) {
    return Decision::AccessNotActive;
  }
  ItemEntry* item = Item(tables, x);
  if (item == nullptr) {
    return Decision::ItemOutOfRange;
  }
  // The abort test comes before the obsolete-write test.
  if (item->TS_lect > transaction->TStamp) {
    transaction->state = TransactionState::Aborted;
    return Decision::WriteTooLate;
  }
  if (item->TS_escr > transaction->TStamp) {
    // A younger write has overwritten this one already: the Thomas write rule skips it; basic
    // timestamp ordering aborts the writer.
    if (tables.thomasWriteRule) {
      return Decision::WriteSkipped;
    }
    transaction->state = TransactionState::Aborted;
    return Decision::WriteObsoleteAborted;
  }
  item->TS_escr = transaction->TStamp;
  return Decision::WriteDone;
}

Decision Decide(SchedulerTables& tables, const Operation& operation) {
  switch (operation.kind) {
    case OpKind::Validate:
      return ValidateTransaction(tables, operation.number);
    case OpKind::Abort:
      return AbortTransaction(tables, operation.number);
    case OpKind::Read:
      return ReadItem(tables, operation.number, operation.item);
    case OpKind::Write:
      return WriteItem(tables, operation.number, operation.item);
    case OpKind::Begin:
      return BeginTransaction(tables, operation.number);
    case OpKind::Plan:
      return StartPlan(tables);
    case OpKind::Illegal:
    case OpKind::EndOfPlan:
      break;
  }
  return Decision::None;
}

const TransactionEntry* FindTransaction(const SchedulerTables& tables, std::int32_t t) {
  return Transaction(const_cast<SchedulerTables&>(tables), t);
}
const ItemEntry* FindItem(const SchedulerTables& tables, char x) {
  return Item(const_cast<SchedulerTables&>(tables), x);
}

}  // namespace tosim
