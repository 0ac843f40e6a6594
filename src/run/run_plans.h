// tosim's run: the program's entry and its only loop.
#pragma once

#include "trace/failure.h"

namespace tosim {

// The whole program: chooses the files, replays the plan file, closes both files and waits for
// Enter. Returns the exit status (0); a failed input/output call goes to `onIoFailure`, which
// ends the process.
int RunPlans(int argc, char** argv, FailureHandler onIoFailure);

}  // namespace tosim
