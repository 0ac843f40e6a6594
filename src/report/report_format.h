// The two forms of a plan's report: a JSON object (one line of JSON Lines) and a short summary in
// Spanish. Both are pure: they only append UTF-8 text to `out`, which the caller writes out.
#pragma once

#include <functional>
#include <string>
#include <vector>

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

// Pieces both the summary and the Moodle quiz write.
// "sí, orden T1 → T2", "sí, orden vacío", "no, ciclo T1 → T2 → T1", or "no" when there is no
// cycle to show.
void AppendSerializable(std::string& out, bool yes, const std::vector<std::int32_t>& orderOrCycle);
// "T2 lee A de T1, T3 lee B de T2", or "ninguna".
void AppendReadsFrom(std::string& out, const std::vector<analysis::ReadFrom>& pairs);

// The JSON object of one plan, as AppendJson() writes it.
[[nodiscard]] inline std::string PlanJson(const analysis::PlanReport& report) {
  std::string out;
  AppendJson(out, report);
  return out;
}

}  // namespace tosim::report
