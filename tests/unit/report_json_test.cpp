// The report's JSON goes out in pieces while a plan's long lists are composed: wherever the cut
// falls, what goes out is the same JSON.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "plan_reports.h"
#include "report/report_format.h"

namespace tosim::report {
namespace {

// A plan with two warnings (T3 after its abort, twice) and a trace, its JSON composed after
// `before` bytes of earlier plans, going out whenever a piece is long.
TEST(ReportJson, StaysJsonWhereverItGoesOut) {
  const std::vector<analysis::PlanReport> reports =
      analysis::ReportsOf("P1; T1; T3; A3; R3(A); W3(B); C1\n");
  ASSERT_EQ(reports.size(), 1u);
  const analysis::PlanReport& report = reports[0];
  ASSERT_EQ(report.warnings.size(), 2u);
  const std::string alone = PlanJson(report);
  // Cut right before the warnings, before the trace, and nowhere.
  for (const std::size_t before : {kSpillAt, kSpillAt - 1, std::size_t{0}}) {
    std::string out(before, 'x');
    std::string written;
    const Spill spill = [&](std::string& bytes) {
      written += bytes;
      bytes.clear();
    };
    AppendJson(out, report, spill);
    written += out;
    SCOPED_TRACE(before);
    EXPECT_EQ(written.substr(before), alone);
    EXPECT_TRUE(nlohmann::json::accept(written.substr(before)));
  }
}

}  // namespace
}  // namespace tosim::report
