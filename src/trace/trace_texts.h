// Every text of the trace, in one place: the operations' labels, the reader's syntax messages,
// the scheduler's decisions and the frame of each line of the plan file.
#pragma once

#include "plan/plan_reader.h"
#include "scheduler/scheduler.h"
#include "tosim/operation.h"
#include "trace/fragment.h"

namespace tosim {

// The label that names an operation in the trace, such as "T3_Write(B)" or "Validar T12".
[[nodiscard]] Fragment OperationLabel(const Operation& operation);

// The reader's message for `error`, without a line end, so that it stands in front of the next
// text of the trace; nothing for SyntaxError::None.
void EchoSyntaxError(SyntaxError error);

// Completes the trace line of `operation` (after its label and TAB) with `decision`, read from
// the tables as they stand after it.
void EchoDecision(const SchedulerTables& tables, const Operation& operation, Decision decision);

// The end of a plan's line: "fin Plan".
void EchoPlanEnd();
// A line that does not start with a plan start; the rest of the line is not read.
void EchoPlanExpected();

}  // namespace tosim
