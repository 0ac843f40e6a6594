// How a failed read or write of the run's files ends the run. The program that starts a run hands
// its failure handler to the streams and the trace loop; nothing in this layer ends the process
// by itself.
#pragma once

namespace tosim {

// Called with the error number of a failed read or write. It must not return: it ends the
// process, as its program decides (tosim with its failure report). Called directly from the place
// that failed, so that its return address names that place.
using FailureHandler = void (*)(int errorNumber);

// The handler of runs whose streams are in memory, which cannot fail: stops at once.
[[noreturn]] void CannotFail(int errorNumber);

// Calls `handler`; should it return, stops at once.
[[noreturn]] inline void Fail(FailureHandler handler, int errorNumber) {
  handler(errorNumber);
  CannotFail(errorNumber);
}

}  // namespace tosim
