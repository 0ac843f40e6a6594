#include "report/in_memory_run.h"

#include "analysis/for_each_plan_report.h"
#include "plan/in_stream.h"
#include "protocols/protocols.h"
#include "report/protocols_format.h"
#include "trace/trace.h"
#include "trace/trace_loop.h"

namespace tosim::report {

void RunInMemory(std::string_view plan, InMemoryRun& run, bool protocols,
                 PlanTimestamps timestamps) {
  // A trace is about ten times as long as its plans: room for it at once, not by doubling.
  for (std::string* output : {&run.trace, &run.reports}) {
    output->clear();
    output->reserve(12 * plan.size());
  }
  // Both ends are buffered, as with a console redirected to a file, and get the same bytes: the
  // console's are kept.
  ConsoleStream().Open(AppendToString, &run.trace, false);
  ListingStream().Open(Discard, nullptr, false);
  MemorySource source{plan};
  InStream stream;
  stream.Open(ReadFromMemory, &source);
  ReplayPlans(stream, timestamps);
  ConsoleStream().Flush();
  ConsoleStream().Open(Discard, nullptr, false);
  ListingStream().Open(Discard, nullptr, false);

  run.counters.clear();
  run.kept.clear();
  source = MemorySource{plan};
  stream.Open(ReadFromMemory, &source);
  protocols::ProtocolLab lab;
  // Memory never fails to be read.
  (void)analysis::ForEachPlanReport(
      stream,
      [&] {
        if (protocols) {
          lab.Start();
        }
      },
      [&](const Operation& operation) {
        if (protocols) {
          lab.Add(operation);
        }
      },
      [&](const analysis::PlanReport& report) {
        AppendPlanJson(run.reports, report, protocols ? &lab.Finish(report.timestamps) : nullptr);
        run.counters.push_back(report.counterAtStart);
        if (run.keepReports) {
          run.kept.push_back(report);
        }
      },
      timestamps);
}

}  // namespace tosim::report
