// A whole run of a plan file held in memory: tosim's trace and the report's JSON Lines with the
// protocol lab. The playground's engine and tosim-report --html both stand on it.
#pragma once

#include <string>
#include <string_view>

namespace tosim::report {

struct InMemoryRun {
  // The listing file's bytes; the console shows the same, then the final prompt.
  std::string trace;
  std::string reports;  // what tosim-report --json --protocols writes
};

// Replays `plan` (a plan file's bytes) as tosim does, and reports every plan in it, the protocol
// lab's key included: the pages show each plan under the eight protocols. Uses the process-wide
// trace streams, and leaves them discarding.
void RunInMemory(std::string_view plan, InMemoryRun& run);

}  // namespace tosim::report
