// The two forms of a plan's report: a JSON object (one line of JSON Lines) and a short summary in
// Spanish. Both are pure: they only append UTF-8 text to `out`, which the caller writes out.
#pragma once

#include <functional>
#include <string>

#include "analysis/plan_analysis.h"

namespace tosim::report {

// Takes the bytes composed so far, when a plan's lists are long: writes them out and empties
// `out`. Without it, everything stays in `out`.
using Spill = std::function<void(std::string& out)>;
// `out` is spilled in the middle of a long list once it holds this much.
inline constexpr std::size_t kSpillAt = 64 * 1024;

// One JSON object with the report's stable keys, followed by LF.
void AppendJson(std::string& out, const analysis::PlanReport& report, const Spill& spill = {});

// The summary of one plan, a few lines each ending in LF, then an empty line.
void AppendText(std::string& out, const analysis::PlanReport& report);

// The JSON object of one plan, as AppendJson() writes it.
[[nodiscard]] inline std::string PlanJson(const analysis::PlanReport& report) {
  std::string out;
  AppendJson(out, report);
  return out;
}

}  // namespace tosim::report
