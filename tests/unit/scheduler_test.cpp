#include "scheduler/scheduler.h"

#include <gtest/gtest.h>

#include <string>

#include "trace_capture.h"

namespace tosim {
namespace {

using testing::TraceCapture;

// The scheduler's calls on the fixture's tables, each decided and echoed as the run driver does.
class Scheduler : public ::testing::Test {
 protected:
  Scheduler() {
    StartPlan(1);
    trace_.Clear();
  }
  // The trace of one call.
  template <typename Call>
  std::string Trace(Call call) {
    trace_.Clear();
    call();
    return trace_.Text();
  }
  Decision Execute(OpKind kind, std::int32_t number, char item = ' ') {
    const Operation operation{kind, number, item};
    const Decision decision = Decide(tables_, operation);
    EchoDecision(tables_, operation, decision);
    return decision;
  }
  Decision StartPlan(std::int32_t p) { return Execute(OpKind::Plan, p); }
  Decision BeginTransaction(std::int32_t t) { return Execute(OpKind::Begin, t); }
  Decision ValidateTransaction(std::int32_t t) { return Execute(OpKind::Validate, t); }
  Decision AbortTransaction(std::int32_t t) { return Execute(OpKind::Abort, t); }
  Decision ReadItem(std::int32_t t, char x) { return Execute(OpKind::Read, t, x); }
  Decision WriteItem(std::int32_t t, char x) { return Execute(OpKind::Write, t, x); }
  const TransactionEntry* FindTransaction(std::int32_t t) const {
    return tosim::FindTransaction(tables_, t);
  }
  const ItemEntry* FindItem(char x) const { return tosim::FindItem(tables_, x); }
  TransactionState State(std::int32_t t) const { return FindTransaction(t)->state; }

  SchedulerTables tables_;
  TraceCapture trace_;
};

TEST_F(Scheduler, AcceptsReadsAndWritesInTimestampOrder) {
  EXPECT_EQ(Trace([this] { BeginTransaction(1); }), "iniciada\r\n");
  EXPECT_EQ(Trace([this] { BeginTransaction(2); }), "iniciada\r\n");
  EXPECT_EQ(Trace([this] { ReadItem(1, 'A'); }),
            "T1 lee de elemento \"A\"\tTStamp T1=1 TS_lect_A=1 TS_escr_A=0\r\n");
  EXPECT_EQ(Trace([this] { ReadItem(2, 'B'); }),
            "T2 lee de elemento \"B\"\tTStamp T2=2 TS_lect_B=2 TS_escr_B=0\r\n");
  EXPECT_EQ(Trace([this] { WriteItem(2, 'B'); }),
            "T2 escribe en \"B\"\tTStamp T2=2 TS_lect_B=2 TS_escr_B=2\r\n");
  EXPECT_EQ(Trace([this] { WriteItem(1, 'A'); }),
            "T1 escribe en \"A\"\tTStamp T1=1 TS_lect_A=1 TS_escr_A=1\r\n");
  // An older reader does not lower the read timestamp.
  EXPECT_EQ(Trace([this] { ReadItem(1, 'B'); }),
            "T1 abortada al leer\"B\" (TS_escr > TStamp)\tTStamp T1=1 TS_lect_B=2 TS_escr_B=2\r\n");
  EXPECT_EQ(Trace([this] { ValidateTransaction(2); }), "validada\r\n");
}

TEST_F(Scheduler, ReadOfAYoungerWriteAbortsTheReader) {
  BeginTransaction(1);
  BeginTransaction(2);
  WriteItem(2, 'A');
  EXPECT_EQ(Trace([this] { ReadItem(1, 'A'); }),
            "T1 abortada al leer\"A\" (TS_escr > TStamp)\tTStamp T1=1 TS_lect_A=0 TS_escr_A=2\r\n");
  EXPECT_EQ(State(1), TransactionState::Aborted);
  EXPECT_EQ(Trace([this] { ReadItem(1, 'A'); }), "ERR: transaccion no en estado activo\r\n");
}

TEST_F(Scheduler, WriteAfterAYoungerReadAbortsTheWriter) {
  BeginTransaction(1);
  BeginTransaction(2);
  ReadItem(2, 'A');
  EXPECT_EQ(
      Trace([this] { WriteItem(1, 'A'); }),
      "T1 abortada al leer \"A\" (TS_lect > TStamp)\tTStamp T1=1 TS_lect_A=2 TS_escr_A=0\r\n");
  EXPECT_EQ(State(1), TransactionState::Aborted);
}

TEST_F(Scheduler, ThomasWriteRuleSkipsAnObsoleteWrite) {
  BeginTransaction(1);
  BeginTransaction(2);
  WriteItem(2, 'A');
  EXPECT_EQ(Trace([this] { WriteItem(1, 'A'); }),
            "T1 no escribe (TS_escr > TStamp)\tTStamp T1=1 TS_lect_A=0 TS_escr_A=2\r\n");
  EXPECT_EQ(State(1), TransactionState::Active);
  EXPECT_EQ(Trace([this] { ValidateTransaction(1); }), "validada\r\n");
}

TEST_F(Scheduler, WithoutTheThomasWriteRuleAnObsoleteWriteAbortsTheWriter) {
  tables_.thomasWriteRule = false;
  BeginTransaction(1);
  BeginTransaction(2);
  WriteItem(2, 'A');
  EXPECT_EQ(WriteItem(1, 'A'), Decision::WriteObsoleteAborted);
  EXPECT_EQ(State(1), TransactionState::Aborted);
  EXPECT_EQ(FindItem('A')->TS_escr, 2);
}

TEST_F(Scheduler, AbortTestComesBeforeTheObsoleteWriteTest) {
  BeginTransaction(1);
  BeginTransaction(2);
  ReadItem(2, 'C');
  WriteItem(2, 'C');
  EXPECT_EQ(
      Trace([this] { WriteItem(1, 'C'); }),
      "T1 abortada al leer \"C\" (TS_lect > TStamp)\tTStamp T1=1 TS_lect_C=2 TS_escr_C=2\r\n");
}

TEST_F(Scheduler, EqualTimestampsNeverConflict) {
  BeginTransaction(1);
  EXPECT_EQ(Trace([this] { WriteItem(1, 'A'); }),
            "T1 escribe en \"A\"\tTStamp T1=1 TS_lect_A=0 TS_escr_A=1\r\n");
  EXPECT_EQ(Trace([this] { ReadItem(1, 'A'); }),
            "T1 lee de elemento \"A\"\tTStamp T1=1 TS_lect_A=1 TS_escr_A=1\r\n");
  EXPECT_EQ(Trace([this] { WriteItem(1, 'A'); }),
            "T1 escribe en \"A\"\tTStamp T1=1 TS_lect_A=1 TS_escr_A=1\r\n");
}

TEST_F(Scheduler, AnAbortUndoesNothing) {
  BeginTransaction(1);
  BeginTransaction(2);
  WriteItem(2, 'A');
  EXPECT_EQ(Trace([this] { AbortTransaction(2); }), "abortada\r\n");
  EXPECT_EQ(FindItem('A')->TS_escr, 2);
  EXPECT_EQ(State(1), TransactionState::Active);
}

TEST_F(Scheduler, StatesOnlyMoveForwardWithinAPlan) {
  EXPECT_EQ(Trace([this] { ValidateTransaction(1); }), "ERR: no estaba activa\r\n");
  EXPECT_EQ(Trace([this] { WriteItem(1, 'A'); }), "ERR: transaccion no en estado activo\r\n");
  BeginTransaction(1);
  EXPECT_EQ(Trace([this] { BeginTransaction(1); }), "ERR: ya estaba activa\r\n");
  ValidateTransaction(1);
  EXPECT_EQ(Trace([this] { BeginTransaction(1); }), "ERR: ya estaba activa\r\n");
  EXPECT_EQ(Trace([this] { AbortTransaction(1); }), "ERR: no estaba activa\r\n");
  EXPECT_EQ(State(1), TransactionState::Validated);
  BeginTransaction(2);
  AbortTransaction(2);
  EXPECT_EQ(Trace([this] { ValidateTransaction(2); }), "ERR: no estaba activa\r\n");
}

TEST_F(Scheduler, PlanStartResetsTablesButNotTheCounter) {
  BeginTransaction(1);
  BeginTransaction(2);
  WriteItem(1, 'Z');
  EXPECT_EQ(Trace([this] { StartPlan(-7); }), "plan P-7 iniciado\r\n");
  EXPECT_EQ(State(1), TransactionState::Inactive);
  EXPECT_EQ(FindTransaction(1)->TStamp, -1);
  EXPECT_EQ(FindItem('Z')->TS_escr, 0);
  BeginTransaction(1);
  EXPECT_EQ(FindTransaction(1)->TStamp, 3);
}

TEST_F(Scheduler, OutOfRangeTransactionsAndItemsLeaveTheTablesIntact) {
  BeginTransaction(10);
  EXPECT_EQ(Trace([this] { BeginTransaction(11); }), "ERR: transaccion fuera de rango\r\n");
  EXPECT_EQ(Trace([this] { BeginTransaction(0); }), "ERR: transaccion fuera de rango\r\n");
  EXPECT_EQ(Trace([this] { BeginTransaction(INT32_MIN); }), "ERR: transaccion fuera de rango\r\n");
  EXPECT_EQ(Trace([this] { ValidateTransaction(11); }), "ERR: no estaba activa\r\n");
  EXPECT_EQ(Trace([this] { AbortTransaction(-1); }), "ERR: no estaba activa\r\n");
  EXPECT_EQ(Trace([this] { ReadItem(11, 'A'); }), "ERR: transaccion no en estado activo\r\n");
  EXPECT_EQ(Trace([this] { WriteItem(0, 'A'); }), "ERR: transaccion no en estado activo\r\n");
  EXPECT_EQ(Trace([this] { ReadItem(10, ' '); }), "ERR: elemento fuera de rango\r\n");
  EXPECT_EQ(Trace([this] { WriteItem(10, '['); }), "ERR: elemento fuera de rango\r\n");
  // No timestamp was issued for the refused starts, and nothing else moved.
  BeginTransaction(9);
  EXPECT_EQ(FindTransaction(9)->TStamp, 2);
  EXPECT_EQ(State(10), TransactionState::Active);
  for (char x = 'A'; x <= 'Z'; ++x) {
    EXPECT_EQ(FindItem(x)->TS_lect, 0);
    EXPECT_EQ(FindItem(x)->TS_escr, 0);
  }
}

}  // namespace
}  // namespace tosim
