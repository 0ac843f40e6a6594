// tosim's run: the program's entry and its only loop.
#pragma once

namespace tosim {

// The whole program: chooses the files, replays the plan file, closes both files and waits for
// Enter. Returns the exit status (0); an I/O failure ends the process inside, with the failure
// report.
int RunPlans(int argc, char** argv);

}  // namespace tosim
