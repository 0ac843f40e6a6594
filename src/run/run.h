// The run driver: the program's entry and its only loop.
#pragma once

#include <string>
#include <vector>

#include "scheduler/scheduler.h"
#include "tosim/fragment.h"
#include "tosim/operation.h"
#include "tosim/streams.h"

namespace tosim {

// The whole program: chooses the files, replays the plan file, closes both files and waits for
// Enter. Returns the exit status (0); an I/O failure ends the process inside.
int RunPlans(int argc, char** argv);

// Replays every line of `plan` into the trace, with the timestamp counter starting at 0.
void ReplayPlans(InStream& plan);

// Prints the operation's label and a TAB, then the scheduler's decision on `tables`.
void ExecuteOperation(SchedulerTables& tables, const Operation& operation);

// The label that names an operation in the trace, such as "T3_Write(B)" or "Validar T12".
Fragment OperationLabel(const Operation& operation);

// Fills both paths from the command line, or from the file prompts when it has no argument. An
// empty plan path means there is nothing to run; an empty listing path sends the listing to the
// standard output.
void ChooseFiles(const std::vector<std::string>& arguments, std::string& planPath,
                 std::string& listingPath);

// Answers "--help" (also "-h", and "/?" on Windows) with the usage and "--version" with the
// version, on the console stream, when that word is the first argument and names no existing
// file; true when it did, and then the run ends there.
bool AnswerInformationRequest(const std::vector<std::string>& arguments);

// The process's standard input, shared by the file prompts and the final wait for Enter so that
// nothing typed is lost between them.
InStream& StandardInputStream();
// Reads one line of standard input into `line`, without its line end; false at the end of input.
bool ReadInputLine(std::string& line);

}  // namespace tosim
