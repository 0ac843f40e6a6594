// How the report cuts a plan file into plans: a plan runs from its start to the next plan start on
// the same line or to the end of the line; a line that does not start with a plan holds none.
#pragma once

#include <cstdint>

#include "analysis/plan_analysis.h"
#include "plan/plan_reader.h"
#include "tosim/streams.h"

namespace tosim::report {

// Reads `plan` to its end and calls `done(report)` for every plan in it, in order. Lines are
// counted as the reader ends them (LF, CR or CR LF). The reader's syntax messages go to the trace
// streams, which must be open.
// `start()` and `add(operation)` see the same plan starts and operations as the analysis, first.
template <typename Start, typename Add, typename Done>
void ForEachPlanReport(InStream& plan, Start&& start, Add&& add, Done&& done) {
  Operation operation;
  analysis::PlanAnalysis analysis;
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
      done(analysis.Finish());
    }
    plan.SkipLine();
  }
}

template <typename Done>
void ForEachPlanReport(InStream& plan, Done&& done) {
  ForEachPlanReport(
      plan, [] {}, [](const Operation&) {}, done);
}

}  // namespace tosim::report
