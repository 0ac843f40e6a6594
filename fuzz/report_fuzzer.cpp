// libFuzzer target: any bytes as a plan file through the reader, the plan analysis and both
// report formatters. Aborts when a report breaks what holds for every plan: conflict- implies
// view-serializable; strict implies cascadeless implies recoverable; every edge goes forward in
// the conflict order, or the cycle is one of edges; plans come in line order; a JSON object is one
// line. Termination (the bounded view search included) is libFuzzer's -timeout.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "report/plan_reports.h"
#include "report/report_format.h"
#include "tosim/trace.h"

namespace {

void Require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "report_fuzzer: %s\n", what);
    std::abort();
  }
}

void Check(const tosim::analysis::PlanReport& r, std::int64_t& lastLine) {
  Require(r.line >= 1 && r.line >= lastLine, "plans out of line order");
  lastLine = r.line;
  Require(!r.conflictSerializable || r.viewSerializable, "conflict but not view");
  Require(!r.strict || r.cascadeless, "strict but not cascadeless");
  Require(!r.cascadeless || r.recoverable, "cascadeless but not recoverable");
  const auto& order = r.conflictOrder;
  const auto at = [&](std::int32_t t) { return std::find(order.begin(), order.end(), t); };
  for (const auto& [from, to] : r.edges) {
    Require(!r.conflictSerializable || (at(from) < at(to) && at(to) != order.end()),
            "an edge against the conflict order");
  }
  const auto& cycle = r.conflictCycle;
  Require(r.conflictSerializable || (cycle.size() >= 3 && cycle.front() == cycle.back()),
          "not a cycle");
  for (std::size_t i = 1; i < cycle.size(); ++i) {
    const auto step = std::make_pair(cycle[i - 1], cycle[i]);
    Require(std::find(r.edges.begin(), r.edges.end(), step) != r.edges.end(), "not an edge");
  }
  const std::string json = tosim::report::PlanJson(r);
  Require(json.find('\n') == json.size() - 1, "a JSON object over more than one line");
  std::string text;
  tosim::report::AppendText(text, r);
}

int Discard(void*, const char*, std::size_t) {
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tosim::ConsoleStream().Open(Discard, nullptr, false);
  tosim::ListingStream().Open(Discard, nullptr, false);
  tosim::MemorySource source{{reinterpret_cast<const char*>(data), size}};
  tosim::InStream plan;
  plan.Open(tosim::ReadFromMemory, &source);
  std::int64_t lastLine = 0;
  tosim::report::ForEachPlanReport(plan, [&](const auto& report) { Check(report, lastLine); });
  return 0;
}
