// How a failed write of the trace ends the run. Declared here for the streams; each program
// defines it once: tosim with its failure report, the others with their own way to stop.
#pragma once

namespace tosim {

// Ends the run at once with `errorNumber`. Never returns.
[[noreturn]] void FailRun(int errorNumber);

}  // namespace tosim
