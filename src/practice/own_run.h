// The trace as the student ran it: the scheduler's rules applied, row by row, to the tables as the
// student's own answers left them. Internal to the checker.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "analysis/plan_analysis.h"
#include "practice/answers.h"
#include "practice/check.h"

namespace tosim::practice {

struct OwnRun {
  // Each trace entry decided on the student's tables, before their own decision in the row.
  std::vector<analysis::TraceStep> judged;
  // By transaction number - 1: the timestamp the counter gives each begin the student's decisions
  // let happen ("none": never begun in their run).
  std::array<Answer<std::int32_t>, kTransactionCount> timestamps;
  std::vector<std::int32_t> committed;  // at the end of their run, ascending
  std::vector<std::int32_t> aborted;
  std::vector<analysis::Access> skippedWrites;
};

// Replays `report`'s trace on the student's tables and marks every trace cell answered, adding
// the counts to `marks` and the cells not right to `cells`.
OwnRun RunAsStudent(const analysis::PlanReport& report, const Answers& answers, PlanMarks& marks,
                    std::vector<Cell>& cells);

// Counts `cell` in `marks` and keeps it in `cells` unless it is right.
void Tally(PlanMarks& marks, std::vector<Cell>& cells, Cell&& cell);

// The mark of an answer that is `right` or else follows from the student's earlier answers.
[[nodiscard]] inline Mark MarkOf(bool right, bool followsOwn) {
  return right ? Mark::Right : followsOwn ? Mark::Consistent : Mark::Wrong;
}

[[nodiscard]] Value NumberOrNull(bool shown, std::int32_t number);
[[nodiscard]] Value NumbersValue(const std::vector<std::int32_t>& numbers);

}  // namespace tosim::practice
