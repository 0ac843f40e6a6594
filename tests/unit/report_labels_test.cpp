// The report's label table: the page receives, as JSON, the very words the summary prints.
#include "report/report_labels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tosim::report {
namespace {

// The pairs of a flat JSON object of strings without escapes: {"a":"x","b":"y"}.
std::vector<std::pair<std::string, std::string>> Pairs(const std::string& json) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::vector<std::string> strings;
  for (std::size_t at = json.find('"'); at != std::string::npos;) {
    const std::size_t end = json.find('"', at + 1);
    strings.push_back(json.substr(at + 1, end - at - 1));
    at = json.find('"', end + 1);
  }
  for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
    pairs.emplace_back(strings[i], strings[i + 1]);
  }
  return pairs;
}

TEST(ReportLabels, ThePageGetsEveryLabelOnceWithTheSummarysWords) {
  const std::string json = LabelsJson();
  EXPECT_EQ(json.front(), '{');
  EXPECT_EQ(json.back(), '}');
  EXPECT_EQ(json.find('\\'), std::string::npos);
  const auto pairs = Pairs(json);
  ASSERT_EQ(pairs.size(), static_cast<std::size_t>(Label::Count));
  std::set<std::string> keys;
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    EXPECT_TRUE(keys.insert(pairs[i].first).second) << "twice: " << pairs[i].first;
    EXPECT_EQ(pairs[i].second, Text(static_cast<Label>(i))) << pairs[i].first;
    EXPECT_FALSE(pairs[i].second.empty()) << pairs[i].first;
  }
}

// The verdicts that the summary and the page used to word two ways have one wording each.
TEST(ReportLabels, OneWordingForEachVerdict) {
  const auto pairs = Pairs(LabelsJson());
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"executed", "Operaciones ejecutadas"},
      {"to_order", "Orden en serie de las marcas de tiempo"},
      {"cascadeless", "Sin abortos en cascada"},
      {"strict", "Estricto"},
      {"committed.none", "ninguna"},
      {"executed_heading", "Lo que ejecutó la ordenación por marcas de tiempo"},
      {"written_heading", "El plan tal como está escrito"},
  };
  for (const auto& pair : expected) {
    EXPECT_NE(std::find(pairs.begin(), pairs.end(), pair), pairs.end()) << pair.first;
  }
}

}  // namespace
}  // namespace tosim::report
