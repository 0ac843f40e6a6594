// The report as one self-contained HTML page: the playground's renderer with the run's data
// inside. Pure: composes the page's bytes.
#pragma once

#include <string>
#include <string_view>

namespace tosim::report {

// The page for a plan file whose trace (tosim's console bytes, without the final prompt) is
// `trace` and whose reports are the JSON Lines `jsonLines`.
std::string ReportPage(std::string_view trace, std::string_view jsonLines);

}  // namespace tosim::report
