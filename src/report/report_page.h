// The report as one self-contained HTML page: the playground's renderer with the run's data
// inside. Pure: composes the page's bytes. The one filler of the page's template: tosim-report
// --html and the playground's «Descargar informe» both use it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tosim::report {

struct PageData {
  std::string_view name;       // the plan file's name, as the user named it (shown as text)
  std::string_view made;       // when the page was made, in words (shown as text)
  std::string_view plans;      // the plan file's bytes
  std::string_view trace;      // tosim's console bytes, without the final prompt
  std::string_view reports;    // tosim-report --json's JSON Lines
  bool exercises = false;      // the exercise sheet instead of the report
  bool eachPlanAlone = false;  // the run gave every plan timestamps from 1
  // The exercise sheet asks for the grid of these protocols: bit p for protocols::Protocol p.
  std::uint32_t sheetProtocols = 0;
  // Per report: the timestamp counter when its plan started; nullptr: all 0.
  const std::vector<std::int32_t>* counters = nullptr;
};

// The page for `data`. Its data is one JSON object: {"name", "made", "plans" and "trace" (the
// bytes as strings of one character a byte), "reports": [the reports], "labels": LabelsJson(),
// "mode": "report" or "exercises", "each_plan_alone": true or false, "sheet": {"protocols": the
// names of the protocols the sheet asks about, "counters": per report the timestamp counter at
// its plan's start}}. The name and the date are
// bytes in UTF-8, or else in Windows-1252; nothing of them, nor of the plans or the reports,
// can end the script element that holds the data.
[[nodiscard]] std::string ReportPage(const PageData& data);

}  // namespace tosim::report
