#include "trace/trace_loop.h"

#include "plan/plan_reader.h"
#include "trace/failure.h"
#include "trace/trace.h"
#include "trace/trace_texts.h"

namespace tosim {

namespace {

// Reads the next operation and prints the reader's message, if any, which stands in front of
// whatever the trace prints next. A failed read ends the run before anything of it is shown.
void ReadAndReport(InStream& plan, Operation& operation, FailureHandler onReadFailure) {
  const SyntaxError error = ReadOperation(plan, operation);
  if (plan.Error() != 0) {
    Fail(onReadFailure, plan.Error());
  }
  EchoSyntaxError(error);
}

void CheckRead(const InStream& plan, FailureHandler onReadFailure) {
  if (plan.Error() != 0) {
    Fail(onReadFailure, plan.Error());
  }
}

}  // namespace

void ExecuteOperation(SchedulerTables& tables, const Operation& operation) {
  EchoText(OperationLabel(operation).View());
  EchoText("\t");
  EchoDecision(tables, operation, Decide(tables, operation));
}

void ReplayPlans(InStream& plan, PlanTimestamps timestamps, FailureHandler onReadFailure) {
  Operation operation;     // one record for the whole run
  SchedulerTables tables;  // the timestamp counter starts at 0
  tables.planTimestamps = timestamps;
  while (!plan.AtEnd()) {
    ReadAndReport(plan, operation, onReadFailure);
    if (operation.kind == OpKind::Plan) {
      while (operation.kind != OpKind::EndOfPlan) {
        ExecuteOperation(tables, operation);
        ReadAndReport(plan, operation, onReadFailure);
      }
      EchoPlanEnd();
    } else {
      EchoPlanExpected();
    }
    plan.SkipLine();
    CheckRead(plan, onReadFailure);
    EchoLine("");
    EchoLine("");
  }
  CheckRead(plan, onReadFailure);
}

}  // namespace tosim
