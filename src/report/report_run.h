// The tosim-report program: reads a plan file once, analyses every plan in it and writes one
// report per plan to the standard output, as a Spanish summary or as JSON Lines.
#pragma once

namespace tosim::report {

// The exit status of usage errors: a wrong command line is not one of the failures of the files.
inline constexpr int kUsageError = 64;

// The whole program. Returns its exit status: 0, or kUsageError. A file that cannot be read or an
// output that cannot be written ends the process inside, with a line on standard error and the
// error number as exit status.
int RunReport(int argc, char** argv);

}  // namespace tosim::report
