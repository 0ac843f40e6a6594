// The reports of the plans of a plan file held in memory, read the way tosim-report reads a file.
#pragma once

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "analysis/for_each_plan_report.h"

namespace tosim::analysis {

inline std::vector<PlanReport> ReportsOf(std::string_view planFile,
                                         PlanTimestamps timestamps = PlanTimestamps::RunOn) {
  MemorySource source{planFile};
  InStream plan;
  plan.Open(ReadFromMemory, &source);
  std::vector<PlanReport> reports;
  EXPECT_EQ(ForEachPlanReport(
                plan, [] {}, [](const Operation&) {},
                [&](const PlanReport& report) { reports.push_back(report); }, timestamps),
            0);
  return reports;
}

}  // namespace tosim::analysis
