// tosim-gen's command line, parsed as a pure function of the arguments: the program and the
// playground's engine read the same arguments the same way.
#pragma once

#include <string>
#include <vector>

#include "generator/search.h"

namespace tosim::generator {

struct Options {
  bool help = false;     // -h, --help: the usage, and nothing else
  bool version = false;  // --version: the version, and nothing else
  SearchRequest search;  // all but the seed
  bool seedGiven = false;
  std::string seed;     // --seed's text, as given
  std::string problem;  // what is wrong with the command line; empty when nothing is
};

// Reads the arguments (without the program's name), in any order. --seed takes the next
// argument, whatever it is, as its text; the other options with a value take it from the next
// argument too. --help and --version win over everything else, mistakes included.
[[nodiscard]] Options ParseOptions(const std::vector<std::string>& arguments);

}  // namespace tosim::generator
