// libFuzzer target: any bytes as a plan file through the reader, the plan analysis and both
// report formatters, aborting when a report breaks what the theory guarantees for every plan:
//  1. conflict-serializable implies view-serializable; strict implies cascadeless implies
//     recoverable;
//  2. a conflict order puts every edge's source first; a cycle starts and ends with one number
//     and each step is an edge;
//  3. plans come in file order, line numbers from 1;
//  4. each JSON object is one line.
// Termination (the bounded view search included) is libFuzzer's own -timeout.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

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

bool IsEdge(const tosim::analysis::PlanReport& report, std::int32_t from, std::int32_t to) {
  return std::find(report.edges.begin(), report.edges.end(), std::make_pair(from, to)) !=
         report.edges.end();
}

void Check(const tosim::analysis::PlanReport& report, std::int64_t& lastLine) {
  Require(report.line >= 1 && report.line >= lastLine, "line numbers out of order");
  lastLine = report.line;
  Require(!report.conflict_serializable || report.view_serializable, "conflict but not view");
  Require(!report.strict || report.cascadeless, "strict but not cascadeless");
  Require(!report.cascadeless || report.recoverable, "cascadeless but not recoverable");
  const auto& order = report.conflict_order;
  const auto& cycle = report.conflict_cycle;
  if (report.conflict_serializable) {
    for (const auto& [from, to] : report.edges) {
      const auto at = [&](std::int32_t t) { return std::find(order.begin(), order.end(), t); };
      Require(at(from) < at(to) && at(to) != order.end(), "an edge against the conflict order");
    }
  } else {
    Require(cycle.size() >= 3 && cycle.front() == cycle.back(), "not a cycle");
    for (std::size_t i = 1; i < cycle.size(); ++i) {
      Require(IsEdge(report, cycle[i - 1], cycle[i]), "a cycle step that is no edge");
    }
  }
  if (report.view_serializable && report.conflict_serializable) {
    Require(report.view_order.size() == order.size(), "orders of different lengths");
  }
  const std::string json = tosim::report::PlanJson(report);
  Require(json.find('\n') == json.size() - 1, "a JSON object over more than one line");
  std::string text;
  tosim::report::AppendText(text, report);
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
  tosim::report::ForEachPlanReport(
      plan, [&](const tosim::analysis::PlanReport& report) { Check(report, lastLine); });
  return 0;
}
