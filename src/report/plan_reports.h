// The walk over a plan file that every form of the report shares.
#pragma once

#include <cstdint>

#include "analysis/plan_analysis.h"
#include "plan/plan_reader.h"
#include "tosim/operation.h"
#include "tosim/streams.h"

namespace tosim::report {

// Reads every plan of `plan` and hands each plan's report to `visit`. The reader's syntax
// messages go to the trace streams, which the caller has opened.
template <typename Visit>
void ForEachPlanReport(InStream& plan, Visit&& visit) {
  Operation operation;
  analysis::PlanAnalysis analysis;
  std::int64_t line = 0;
  while (!plan.AtEnd()) {
    ++line;
    // A plan runs from its start to the next plan start or the end of the line; a line that does
    // not start with a plan holds none.
    ReadOperation(plan, operation);
    while (operation.kind == OpKind::Plan) {
      analysis.Start(line, operation.number);
      ReadOperation(plan, operation);
      while (operation.kind != OpKind::Plan && operation.kind != OpKind::EndOfPlan) {
        analysis.Add(operation);
        ReadOperation(plan, operation);
      }
      visit(analysis.Finish());
    }
    plan.SkipLine();
  }
}

}  // namespace tosim::report
