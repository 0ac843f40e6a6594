// What tosim-report and tosim-gen share around their runs: the failure that ends a run and the
// exit status it gives, their text on standard output, and an error number's cause in words.
#pragma once

#include <string>
#include <string_view>

namespace tosim::program {

// What ended a run: the line for standard error and the exit status. No status: no failure.
struct [[nodiscard]] Failure {
  std::string line;
  int status = 0;

  explicit operator bool() const { return status != 0; }
};

// Writes UTF-8 text to standard output: as characters to a console or terminal that takes them,
// whatever its code page; as the bytes they are to a file or a pipe. Returns 0, or the error
// number of a failed or short write.
[[nodiscard]] int WriteStandardOutput(std::string_view utf8);

// The cause of a failed open, read, write or close, with its number: "el fichero no existe
// (error 2)".
[[nodiscard]] std::string Cause(int errorNumber);

// The exit status of a run that ended with `failure`; a failure's line goes to standard error
// first, after `program` ("tosim-gen: ").
int ExitStatus(std::string_view program, const Failure& failure);

}  // namespace tosim::program
