// The scheduler's texts in the trace: what each decision prints after the operation's label.
#include "scheduler.h"
#include "tosim/trace.h"

namespace tosim {

namespace {

// The status after every read or write of an active transaction, whatever the decision: the
// values as they are after it.
void EchoStatus(const SchedulerTables& tables, std::int32_t t, char x) {
  const TransactionEntry& transaction = *FindTransaction(tables, t);
  const ItemEntry& item = *FindItem(tables, x);
  EchoLineOf("\tTStamp T", t, '=', transaction.TStamp, " TS_lect_", x, '=', item.TS_lect,
             " TS_escr_", x, '=', item.TS_escr);
}

}  // namespace

void EchoDecision(const SchedulerTables& tables, const Operation& operation, Decision decision) {
  const std::int32_t t = operation.number;
  const char x = operation.item;
  switch (decision) {
    case Decision::PlanStarted:
      EchoLineOf("plan P", t, " iniciado");
      return;
    case Decision::Begun:
      EchoLine("iniciada");
      return;
    case Decision::AlreadyStarted:
      EchoLine("ERR: ya estaba activa");
      return;
    case Decision::TransactionOutOfRange:
      EchoLine("ERR: transaccion fuera de rango");
      return;
    case Decision::Validated:
      EchoLine("validada");
      return;
    case Decision::Aborted:
      EchoLine("abortada");
      return;
    case Decision::NotActive:
      EchoLine("ERR: no estaba activa");
      return;
    case Decision::AccessNotActive:
      EchoLine("ERR: transaccion no en estado activo");
      return;
    case Decision::ItemOutOfRange:
      EchoLine("ERR: elemento fuera de rango");
      return;
    case Decision::ReadDone:
      EchoTextOf('T', t, " lee de elemento \"", x, '"');
      break;
    case Decision::ReadTooLate:
      EchoTextOf('T', t, " abortada al leer\"", x, "\" (TS_escr > TStamp)");
      break;
    case Decision::WriteDone:
      EchoTextOf('T', t, " escribe en \"", x, '"');
      break;
    case Decision::WriteTooLate:
      EchoTextOf('T', t, " abortada al leer \"", x, "\" (TS_lect > TStamp)");
      break;
    case Decision::WriteSkipped:
      EchoTextOf('T', t, " no escribe (TS_escr > TStamp)");
      break;
    case Decision::WriteObsoleteAborted:
      // Only the report's run without the Thomas write rule decides this; it has no trace.
      EchoTextOf('T', t, " abortada al escribir \"", x, "\" (TS_escr > TStamp)");
      break;
    case Decision::None:
      // Nothing follows the label: the next operation continues the same trace line.
      return;
  }
  EchoStatus(tables, t, x);
}

}  // namespace tosim
