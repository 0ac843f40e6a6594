// The report as one self-contained HTML page: the playground's renderer with the run's data
// inside. Pure: composes the page's bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tosim::report {

// What the page shows: the report, or an exercise sheet (each plan's text and questions, the
// answers at the end).
enum class PageMode : std::uint8_t { Report, Exercises };

struct PageSettings {
  PageMode mode = PageMode::Report;
  bool eachPlanAlone = false;  // the run gave every plan timestamps from 1
};

// The page for a plan file whose trace (tosim's console bytes, without the final prompt) is
// `trace` and whose reports are the JSON Lines `jsonLines`. The page's data is one JSON object:
// {"trace": the trace as a string of one character a byte, "reports": [the reports],
//  "labels": LabelsJson(), "mode": "report" or "exercises", "each_plan_alone": true or false}.
std::string ReportPage(std::string_view trace, std::string_view jsonLines,
                       const PageSettings& settings = {});

}  // namespace tosim::report
