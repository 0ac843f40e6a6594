// tosim-report's command line: the order of the options does not matter, and each mistake is
// named.
#include "report_cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tosim::report {
namespace {

struct Line {
  std::vector<std::string> arguments;
  Format format;
  std::string htmlPath;
  std::string planPath;
  std::string problem;
};

TEST(ReportOptions, ReadsEachFormInAnyOrder) {
  const Line lines[] = {
      {{"plans.txt"}, Format::Text, "", "plans.txt", ""},
      {{"--json", "plans.txt"}, Format::Json, "", "plans.txt", ""},
      {{"plans.txt", "--json"}, Format::Json, "", "plans.txt", ""},
      {{"--html", "out.html", "plans.txt"}, Format::Html, "out.html", "plans.txt", ""},
      {{"plans.txt", "--html", "out.html"}, Format::Html, "out.html", "plans.txt", ""},
      {{"--", "--json"}, Format::Text, "", "--json", ""},
      {{"-"}, Format::Text, "", "-", ""},
      {{}, Format::Text, "", "", "falta el fichero de planes"},
      {{"a.txt", "b.txt"}, Format::Text, "", "", "sobran argumentos"},
      {{"--html", "plans.txt"}, Format::Html, "plans.txt", "", "falta el fichero de planes"},
      {{"--html", "--json", "plans.txt"},
       Format::Html,
       "",
       "plans.txt",
       "falta el fichero del informe tras --html"},
      {{"--json", "--html", "o.html", "plans.txt"},
       Format::Html,
       "o.html",
       "plans.txt",
       "--json y --html no van juntas"},
      {{"--jsn", "plans.txt"}, Format::Text, "", "plans.txt", "opción desconocida \"--jsn\""},
      {{"--exercises", "plans.txt"}, Format::Text, "", "plans.txt", "--exercises va con --html"},
  };
  for (const Line& line : lines) {
    const Options options = ParseOptions(line.arguments);
    SCOPED_TRACE(testing::PrintToString(line.arguments));
    EXPECT_FALSE(options.help);
    EXPECT_EQ(options.format, line.format);
    EXPECT_EQ(options.htmlPath, line.htmlPath);
    EXPECT_EQ(options.planPath, line.planPath);
    EXPECT_EQ(options.problem, line.problem);
  }
}

TEST(ReportOptions, EachPlanAloneWithAnyFormatExercisesOnlyWithHtml) {
  const Options alone = ParseOptions({"--each-plan-alone", "--json", "plans.txt"});
  EXPECT_TRUE(alone.eachPlanAlone);
  EXPECT_EQ(alone.format, Format::Json);
  EXPECT_EQ(alone.problem, "");
  EXPECT_FALSE(ParseOptions({"plans.txt"}).eachPlanAlone);

  const Options sheet = ParseOptions({"plans.txt", "--exercises", "--html", "sheet.html"});
  EXPECT_TRUE(sheet.exercises);
  EXPECT_EQ(sheet.htmlPath, "sheet.html");
  EXPECT_EQ(sheet.problem, "");
  EXPECT_EQ(ParseOptions({"--exercises", "--json", "plans.txt"}).problem,
            "--exercises va con --html");
}

// "--html -h" asks for the help; it does not name a page "-h".
TEST(ReportOptions, HelpAndVersionWinWherePlacedAmongMistakes) {
  const Options help = ParseOptions({"--html", "-h", "plans.txt"});
  EXPECT_TRUE(help.help);
  EXPECT_EQ(help.htmlPath, "");
  EXPECT_TRUE(ParseOptions({"--bogus", "--help"}).help);
  const Options version = ParseOptions({"a", "b", "--version"});
  EXPECT_TRUE(version.version);
  EXPECT_FALSE(version.help);
  EXPECT_FALSE(ParseOptions({"--", "--version"}).version);
}

}  // namespace
}  // namespace tosim::report
