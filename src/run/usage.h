// tosim's answers to --help and --version.
#pragma once

#include <string>
#include <vector>

namespace tosim {

// Answers "--help" (also "-h", and "/?" on Windows) with the usage and "--version" with the
// version, on the console stream, when that word is the first argument and names no existing
// file; true when it did, and then the run ends there.
[[nodiscard]] bool AnswerInformationRequest(const std::vector<std::string>& arguments);

}  // namespace tosim
