// The tosim-report program: reads a plan file once, analyses every plan in it and writes one
// report per plan to the standard output, as a Spanish summary or as JSON Lines, or the whole run
// as an HTML page.
#pragma once

#include <cstddef>

namespace tosim::report {

// The exit status of usage errors: a wrong command line is not one of the failures of the files.
inline constexpr int kUsageError = 64;
// The exit status when the plan file is larger than --html takes.
inline constexpr int kTooLargeForHtml = 65;
// The exit status when the answers of --check cannot all be read or checked.
inline constexpr int kBadAnswers = 65;
// --check holds the answer file in memory: it takes files up to this size.
inline constexpr std::size_t kMostAnswerBytes = 64 * 1024 * 1024;
// --html holds the plan file, its trace and the page in memory at once, about 25 times the plan
// file's size: it takes plan files up to this size (a course's files are far smaller).
inline constexpr std::size_t kMostHtmlPlanBytes = 1024 * 1024;

// The whole program. Returns its exit status: 0, kUsageError, kTooLargeForHtml, kBadAnswers, or
// the error number of a file that cannot be read or an output that cannot be written, after a
// line on standard error that says which and why.
int RunReport(int argc, char** argv);

}  // namespace tosim::report
