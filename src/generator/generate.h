// What tosim-gen does after reading its command line, as a pure function: the program writes its
// result, the playground's engine hands it to the page, so that both give the same bytes.
#pragma once

#include <string>
#include <string_view>

#include "generator/options.h"

namespace tosim::generator {

// The exit statuses besides 0.
inline constexpr int kRefused = 64;   // a wrong command line, or properties that cannot hold
inline constexpr int kNotFound = 65;  // not found, or not as many distinct plans, in the bounds

struct Generation {
  int status = 0;
  std::string plans;  // the plan file ("P1; ...", CR LF), when status is 0
  // When the seed came from the clock: "semilla N (la repite --seed N)".
  std::string seedNote;
  std::string problem;  // why nothing was written, when status is not 0
};

// Generates the plans `options` ask for (help, version and problems aside, which the caller
// answers); without --seed, `clockSeed` is the seed's text.
[[nodiscard]] Generation Generate(const Options& options, std::string_view clockSeed);

}  // namespace tosim::generator
