// The replay of a plan file into the trace: tosim's main loop, shared by every program that shows
// tosim's trace (tosim itself, the report page, the playground).
#pragma once

#include "plan/in_stream.h"
#include "scheduler/scheduler.h"
#include "tosim/operation.h"
#include "trace/failure.h"

namespace tosim {

// Replays every line of `plan` into the trace streams, which must be open, with the timestamp
// counter starting at 0 and running on from plan to plan unless `timestamps` says FromOne. A
// failed read of `plan` ends the run through `onReadFailure`; a failed write, through the
// streams' own handlers.
void ReplayPlans(InStream& plan, PlanTimestamps timestamps = PlanTimestamps::RunOn,
                 FailureHandler onReadFailure = CannotFail);

// Prints the operation's label and a TAB, then the scheduler's decision on `tables`.
void ExecuteOperation(SchedulerTables& tables, const Operation& operation);

}  // namespace tosim
