// The process's standard input, shared by the file prompts and the final wait for Enter so that
// nothing typed is lost between them.
#pragma once

#include <string>

#include "plan/in_stream.h"

namespace tosim {

[[nodiscard]] InStream& StandardInputStream();
// Reads one line of standard input into `line`, without its line end; false at the end of input.
// A failed read ends the run with the failure report.
[[nodiscard]] bool ReadInputLine(std::string& line);

}  // namespace tosim
