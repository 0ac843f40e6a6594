// How a plan file is cut into plans: a plan runs from its start to the next plan start on the same
// line or to the end of the line; a line that does not start with a plan holds none.
#pragma once

#include <cstdint>

#include "analysis/plan_analysis.h"
#include "plan/in_stream.h"
#include "plan/plan_reader.h"

namespace tosim::analysis {

// Reads `plan` to its end and calls `done(report)` for every plan in it, in order. Lines are
// counted as the reader ends them (LF, CR or CR LF). `start()` and `add(operation)` see the same
// plan starts and operations as the analysis, first. Returns 0, or the error number of a failed
// read of `plan`; a plan that the failure cut short is not reported.
template <typename Start, typename Add, typename Done>
[[nodiscard]] int ForEachPlanReport(InStream& plan, Start&& start, Add&& add, Done&& done) {
  Operation operation;
  PlanAnalysis analysis;
  std::int64_t line = 0;
  while (!plan.AtEnd()) {
    ++line;
    ReadOperation(plan, operation);
    while (operation.kind == OpKind::Plan) {
      start();
      analysis.Start(line, operation.number);
      ReadOperation(plan, operation);
      while (operation.kind != OpKind::Plan && operation.kind != OpKind::EndOfPlan) {
        add(static_cast<const Operation&>(operation));
        analysis.Add(operation);
        ReadOperation(plan, operation);
      }
      if (plan.Error() != 0) {
        return plan.Error();
      }
      done(analysis.Finish());
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
