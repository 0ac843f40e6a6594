// The tosim-gen program: writes to standard output a plan file of generated plans, one a line,
// with the properties asked for.
#pragma once

namespace tosim::gen {

// The whole program. Returns its exit status: 0, generator::kRefused (a wrong command line, or
// properties that cannot hold together), generator::kNotFound, or the error number of an output
// that cannot be written, after a line on standard error that says why.
int RunGenerator(int argc, char** argv);

}  // namespace tosim::gen
