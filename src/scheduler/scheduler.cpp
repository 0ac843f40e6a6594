#include "scheduler.h"

#include "tosim/trace.h"

namespace tosim {

namespace {

TransactionEntry TransactionTable[kLastTransaction - kFirstTransaction + 1];
ItemEntry ItemTable['Z' - 'A' + 1];
std::int32_t TimestampCounter = 0;

// Transactions and items outside the tables have no entry; such an operation is answered with an
// error message and leaves the tables as they are.
TransactionEntry* Transaction(std::int32_t t) {
  if (t < kFirstTransaction || t > kLastTransaction) {
    return nullptr;
  }
  return &TransactionTable[t - kFirstTransaction];
}

ItemEntry* Item(char x) {
  if (x < 'A' || x > 'Z') {
    return nullptr;
  }
  return &ItemTable[x - 'A'];
}

// The entries a read or write of `x` by `t` works on. Only an active transaction reads or
// writes, and only items that have an entry; otherwise the error message ends the trace line.
struct Access {
  TransactionEntry* transaction = nullptr;
  ItemEntry* item = nullptr;
};

bool StartAccess(std::int32_t t, char x, Access& access) {
  access.transaction = Transaction(t);
  if (access.transaction == nullptr || access.transaction->state != TransactionState::Active) {
    EchoLine("ERR: transaccion no en estado activo");
    return false;
  }
  access.item = Item(x);
  if (access.item == nullptr) {
    EchoLine("ERR: elemento fuera de rango");
    return false;
  }
  return true;
}

// Ends the trace line of a commit or an abort: only an active transaction can end.
void EndTransaction(std::int32_t t, TransactionState outcome, std::string_view done) {
  TransactionEntry* entry = Transaction(t);
  if (entry == nullptr || entry->state != TransactionState::Active) {
    EchoLine("ERR: no estaba activa");
    return;
  }
  entry->state = outcome;
  EchoLine(done);
}

// The status after every read or write of an active transaction, whatever the decision.
void EchoStatus(std::int32_t t, const TransactionEntry& transaction, char x,
                const ItemEntry& item) {
  EchoLineOf("\tTStamp T", t, '=', transaction.TStamp, " TS_lect_", x, '=', item.TS_lect,
             " TS_escr_", x, '=', item.TS_escr);
}

}  // namespace

void ResetTimestampCounter() {
  TimestampCounter = 0;
}

std::int32_t NextTimestamp() {
  TimestampCounter = static_cast<std::int32_t>(static_cast<std::uint32_t>(TimestampCounter) + 1u);
  return TimestampCounter;
}

void StartPlan(std::int32_t planNumber) {
  for (TransactionEntry& entry : TransactionTable) {
    entry = TransactionEntry{TransactionState::Inactive, -1};
  }
  for (ItemEntry& entry : ItemTable) {
    entry = ItemEntry{0, 0};
  }
  EchoLineOf("plan P", planNumber, " iniciado");
}

void BeginTransaction(std::int32_t t) {
  TransactionEntry* entry = Transaction(t);
  if (entry == nullptr) {
    EchoLine("ERR: transaccion fuera de rango");
    return;
  }
  if (entry->state != TransactionState::Inactive) {
    // A transaction cannot be started again within the same plan.
    EchoLine("ERR: ya estaba activa");
    return;
  }
  entry->state = TransactionState::Active;
  entry->TStamp = NextTimestamp();
  EchoLine("iniciada");
}

void AbortTransaction(std::int32_t t) {
  EndTransaction(t, TransactionState::Aborted, "abortada");
}

void ValidateTransaction(std::int32_t t) {
  // A commit tests nothing beyond the transaction being active.
  EndTransaction(t, TransactionState::Validated, "validada");
}

void ReadItem(std::int32_t t, char x) {
  Access access;
  if (!StartAccess(t, x, access)) {
    return;
  }
  TransactionEntry& transaction = *access.transaction;
  ItemEntry& item = *access.item;
  if (item.TS_escr > transaction.TStamp) {
    // A younger transaction has written the item already: the reader is too late.
    transaction.state = TransactionState::Aborted;
    EchoTextOf('T', t, " abortada al leer\"", x, "\" (TS_escr > TStamp)");
  } else {
    if (item.TS_lect < transaction.TStamp) {
      item.TS_lect = transaction.TStamp;
    }
    EchoTextOf('T', t, " lee de elemento \"", x, '"');
  }
  EchoStatus(t, transaction, x, item);
}

void WriteItem(std::int32_t t, char x) {
  Access access;
  if (!StartAccess(t, x, access)) {
    return;
  }
  TransactionEntry& transaction = *access.transaction;
  ItemEntry& item = *access.item;
  // The abort test comes before the obsolete-write test.
  if (item.TS_lect > transaction.TStamp) {
    transaction.state = TransactionState::Aborted;
    EchoTextOf('T', t, " abortada al leer \"", x, "\" (TS_lect > TStamp)");
  } else if (item.TS_escr > transaction.TStamp) {
    // Thomas write rule: a younger write has overwritten this one already; skip it.
    EchoTextOf('T', t, " no escribe (TS_escr > TStamp)");
  } else {
    item.TS_escr = transaction.TStamp;
    EchoTextOf('T', t, " escribe en \"", x, '"');
  }
  EchoStatus(t, transaction, x, item);
}

const TransactionEntry* FindTransaction(std::int32_t t) {
  return Transaction(t);
}
const ItemEntry* FindItem(char x) {
  return Item(x);
}

}  // namespace tosim
