// A whole run of a plan file held in memory: tosim's trace and the report's JSON Lines, with the
// protocol lab on request. The playground's engine and tosim-report --html both stand on it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/plan_analysis.h"
#include "scheduler/scheduler.h"

namespace tosim::report {

struct InMemoryRun {
  // The listing file's bytes; the console shows the same, then the final prompt.
  std::string trace;
  std::string reports;  // what tosim-report --json writes, with or without --protocols
  // Per report, in order: the timestamp counter when its plan started.
  std::vector<std::int32_t> counters;
  // With `keepReports` set before the run: the reports themselves, in order (for checking a
  // student's answers afterwards).
  bool keepReports = false;
  std::vector<analysis::PlanReport> kept;
};

// Replays `plan` (a plan file's bytes) as tosim does, and reports every plan in it; with
// `protocols`, each report ends with the protocol lab's key, which the pages show as a view of
// their own (it makes the reports about ten times longer). With PlanTimestamps::FromOne every
// plan is replayed and reported as if it stood alone in its file: its timestamps start at 1, and
// its part of the trace is what tosim prints for a file of that plan alone. Uses the
// process-wide trace streams, and leaves them discarding.
void RunInMemory(std::string_view plan, InMemoryRun& run, bool protocols,
                 PlanTimestamps timestamps = PlanTimestamps::RunOn);

}  // namespace tosim::report
