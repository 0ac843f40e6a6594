#include "report/report_page.h"

#include "report/report_labels.h"
#include "report_page_template.h"

namespace tosim::report {

namespace {

std::string_view Template() {
  return {reinterpret_cast<const char*>(kReportPage), sizeof kReportPage};
}
constexpr std::string_view kDataMark = "@DATA@";

// The trace's bytes as a JSON string of one character a byte, which the renderer decodes from
// Windows-1252. Only printable ASCII stands as itself; "<" is escaped too, so that the data
// cannot end the script element that holds it.
void PutByteString(std::string& out, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char ch : bytes) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += ch;
    } else if (byte >= 0x20 && byte < 0x7F && byte != '<' && byte != '>' && byte != '&') {
      out += ch;
    } else {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  out += '"';
}

}  // namespace

std::string ReportPage(std::string_view trace, std::string_view jsonLines,
                       const PageSettings& settings) {
  const std::string_view pageTemplate = Template();
  const std::size_t mark = pageTemplate.find(kDataMark);
  std::string page(pageTemplate.substr(0, mark));
  page += "{\"trace\":";
  PutByteString(page, trace);
  page += ",\"reports\":[";
  // One JSON object a line, each ending in LF, with "<" escaped in its strings.
  bool first = true;
  for (std::size_t at = 0; at < jsonLines.size();) {
    const std::size_t end = jsonLines.find('\n', at);
    if (!first) {
      page += ',';
    }
    page += jsonLines.substr(at, end - at);
    first = false;
    at = end == std::string_view::npos ? jsonLines.size() : end + 1;
  }
  page += "],\"labels\":";
  AppendLabelsJson(page);
  page += ",\"mode\":";
  page += settings.mode == PageMode::Exercises ? "\"exercises\"" : "\"report\"";
  page += ",\"each_plan_alone\":";
  page += settings.eachPlanAlone ? "true" : "false";
  page += '}';
  page += pageTemplate.substr(mark + kDataMark.size());
  return page;
}

}  // namespace tosim::report
