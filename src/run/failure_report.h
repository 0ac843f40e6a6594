// tosim's failure report: how a failed input/output call ends tosim's run.
#pragma once

namespace tosim {

// Writes "Runtime error N at $XXXXXXXX" (the place that failed) and the rest of the report on the
// console, leaves the files as they are and ends the process with status `errorNumber`. tosim's
// main hands it to the run as its failure handler.
[[noreturn]] void ReportFailure(int errorNumber);

}  // namespace tosim
