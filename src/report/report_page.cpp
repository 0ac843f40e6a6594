#include "report/report_page.h"

#include "protocols/protocols.h"
#include "report/json_writing.h"
#include "report/report_labels.h"
#include "report_page_template.h"
#include "trace/text_encoding.h"

namespace tosim::report {

namespace {

std::string_view Template() {
  return {reinterpret_cast<const char*>(kReportPage), sizeof kReportPage};
}
constexpr std::string_view kDataMark = "@DATA@";

// Only printable ASCII stands as itself: "<", ">" and "&" are escaped too, so that the data
// cannot end the script element that holds it.
bool StandsAsItself(unsigned char byte) {
  return byte >= 0x20 && byte < 0x7F && byte != '<' && byte != '>' && byte != '&';
}

// Bytes as a JSON string of one character a byte, which the renderer decodes from
// Windows-1252.
void PutByteString(std::string& out, std::string_view bytes) {
  json::PutEscapedString(out, bytes, [](unsigned char byte) { return !StandsAsItself(byte); });
}

// The length of the UTF-8 sequence at the start of `bytes`, or 0 when none starts there.
std::size_t Utf8Length(std::string_view bytes) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  const std::size_t length = lead >= 0xF0 && lead < 0xF5   ? 4
                             : lead >= 0xE0                ? 3
                             : lead >= 0xC2 && lead < 0xE0 ? 2
                                                           : 0;
  if (length == 0 || lead >= 0xF5 || bytes.size() < length) {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80) {
      return 0;
    }
  }
  return length;
}

bool IsUtf8(std::string_view bytes) {
  while (!bytes.empty()) {
    const auto byte = static_cast<unsigned char>(bytes[0]);
    const std::size_t length = byte < 0x80 ? 1 : Utf8Length(bytes);
    if (length == 0) {
      return false;
    }
    bytes.remove_prefix(length);
  }
  return true;
}

// Text as a JSON string of characters: UTF-8 as it is, anything else taken as Windows-1252.
void PutText(std::string& out, std::string_view bytes) {
  const std::string text = IsUtf8(bytes) ? std::string(bytes) : Cp1252ToUtf8(bytes);
  json::PutEscapedString(out, text,
                         [](unsigned char byte) { return byte < 0x80 && !StandsAsItself(byte); });
}

}  // namespace

std::string ReportPage(const PageData& data) {
  const std::string_view pageTemplate = Template();
  const std::size_t mark = pageTemplate.find(kDataMark);
  std::string page(pageTemplate.substr(0, mark));
  page.reserve(pageTemplate.size() + data.plans.size() + 2 * data.trace.size() +
               data.reports.size());
  page += "{\"name\":";
  PutText(page, data.name);
  page += ",\"made\":";
  PutText(page, data.made);
  page += ",\"plans\":";
  PutByteString(page, data.plans);
  page += ",\"trace\":";
  PutByteString(page, data.trace);
  page += ",\"reports\":[";
  // One JSON object a line, each ending in LF. A "<", ">" or "&" can only stand inside a string
  // of them (a text that quotes the plan): escaped there, it reads the same.
  for (std::size_t at = 0; at < data.reports.size(); ++at) {
    const char ch = data.reports[at];
    if (ch == '\n') {
      if (at + 1 < data.reports.size()) {
        page += ',';
      }
    } else if (ch == '<' || ch == '>' || ch == '&') {
      json::PutEscape(page, static_cast<unsigned char>(ch));
    } else {
      page += ch;
    }
  }
  page += "],\"labels\":";
  AppendLabelsJson(page);
  page += ",\"mode\":";
  page += data.exercises ? "\"exercises\"" : "\"report\"";
  page += ",\"each_plan_alone\":";
  page += data.eachPlanAlone ? "true" : "false";
  page += ",\"sheet\":{\"protocols\":[";
  for (int p = 0; p < protocols::kProtocolCount; ++p) {
    if ((data.sheetProtocols >> p & 1u) != 0) {
      page += page.back() == '[' ? "\"" : ",\"";
      page += protocols::ProtocolName(static_cast<protocols::Protocol>(p));
      page += '"';
    }
  }
  page += "],\"counters\":";
  json::PutNumbers(page, data.counters != nullptr ? *data.counters : std::vector<std::int32_t>{});
  page += "}}";
  page += pageTemplate.substr(mark + kDataMark.size());
  return page;
}

}  // namespace tosim::report
