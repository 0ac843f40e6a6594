// How a plan file is cut into plans: a plan runs from its start to the next plan start on the same
// line or to the end of the line; a line that does not start with a plan holds none, and is
// reported as such unless it is empty or all spaces.
#pragma once

#include <cstdint>
#include <type_traits>

#include "analysis/plan_analysis.h"
#include "plan/in_stream.h"
#include "plan/plan_reader.h"

namespace tosim::analysis {

// Reads `plan` to its end and calls `done(report)` for every plan in it, in order, and for every
// line that holds text but does not start with a plan (a report whose hasPlan is false). Lines
// are counted as the reader ends them (LF, CR or CR LF). `start()` and `add(operation)` see the
// same plan starts and operations as the analysis, first (`start()` is called before the report
// of a line without a plan too). A `done` that returns a bool stops the reading when it returns
// false. The timestamps run on from plan to plan as in tosim's trace, or
// start at 1 in every plan with PlanTimestamps::FromOne. Returns 0, or the error number of a
// failed read of `plan`; a plan that the failure cut short is not reported.
template <typename Start, typename Add, typename Done>
[[nodiscard]] int ForEachPlanReport(InStream& plan, Start&& start, Add&& add, Done&& done,
                                    PlanTimestamps timestamps = PlanTimestamps::RunOn) {
  Operation operation;
  IgnoredText ignored;
  PlanAnalysis analysis(timestamps);
  std::int64_t line = 0;
  while (!plan.AtEnd()) {
    ++line;
    SyntaxError error = ReadOperation(plan, operation, &ignored);
    const auto report = [&](const PlanReport& plan) {
      if constexpr (std::is_same_v<decltype(done(plan)), bool>) {
        return done(plan);
      } else {
        done(plan);
        return true;
      }
    };
    if (operation.kind != OpKind::Plan && operation.kind != OpKind::EndOfPlan) {
      start();
      if (!report(analysis.LineWithoutPlan(line))) {
        return 0;
      }
    }
    while (operation.kind == OpKind::Plan) {
      start();
      analysis.Start(line, operation.number, error, &ignored);
      error = ReadOperation(plan, operation, &ignored);
      while (operation.kind != OpKind::Plan && operation.kind != OpKind::EndOfPlan) {
        add(static_cast<const Operation&>(operation));
        analysis.Add(operation, error, &ignored);
        error = ReadOperation(plan, operation, &ignored);
      }
      if (plan.Error() != 0) {
        return plan.Error();
      }
      if (!report(analysis.Finish())) {
        return 0;
      }
    }
    plan.SkipLine();
  }
  return plan.Error();
}

template <typename Done>
[[nodiscard]] int ForEachPlanReport(InStream& plan, Done&& done) {
  return ForEachPlanReport(
      plan, [] {}, [](const Operation&) {}, done);
}

}  // namespace tosim::analysis
