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
      {{"plans.txt", "--json"}, Format::Json, "", "plans.txt", ""},
      {{"plans.txt", "--html", "out.html"}, Format::Html, "out.html", "plans.txt", ""},
      {{"--", "--json"}, Format::Text, "", "--json", ""},
      {{"-"}, Format::Text, "", "-", ""},
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

// A sheet takes its page from --html wherever that stands; "--exercises=" names one protocol of the
// lab or all of them; "--each-plan-alone=no" is taken without a sheet too.
TEST(ReportOptions, ExercisesAndTheirProtocols) {
  const Options sheet = ParseOptions({"plans.txt", "--exercises", "--html", "sheet.html"});
  EXPECT_TRUE(sheet.exercises);
  EXPECT_EQ(sheet.htmlPath, "sheet.html");
  EXPECT_EQ(sheet.problem, "");
  EXPECT_EQ(ParseOptions({"--html", "s.html", "--exercises=all", "p.txt"}).sheetProtocols.size(),
            9u);
  EXPECT_EQ(ParseOptions({"--html", "s.html", "--exercises=tso", "p.txt"}).problem,
            "--exercises=tso: no es un protocolo del laboratorio (to, to_basic, strict_to, mvto, "
            "2pl, wait_die, wound_wait, occ, si) ni all");
  EXPECT_FALSE(ParseOptions({"--each-plan-alone=no", "p.txt"}).eachPlanAlone);
}

TEST(ReportOptions, CheckTakesItsAnswerFileInAnyFormButHtml) {
  const Options check = ParseOptions({"--check", "answers.jsonl", "--json", "p.txt"});
  EXPECT_EQ(check.checkPath, "answers.jsonl");
  EXPECT_EQ(check.planPath, "p.txt");
  EXPECT_EQ(check.format, Format::Json);
  EXPECT_EQ(check.problem, "");
  EXPECT_EQ(ParseOptions({"p.txt", "--check"}).problem,
            "falta el fichero de respuestas tras --check");
  EXPECT_EQ(ParseOptions({"--check", "a.jsonl", "--html", "o.html", "p.txt"}).problem,
            "--check y --html no van juntas");
  EXPECT_EQ(ParseOptions({"--check", "a.jsonl", "--moodle", "q.xml", "p.txt"}).problem,
            "--check y --moodle no van juntas");
}

TEST(ReportOptions, HelpAndVersionWinWherePlacedAmongMistakes) {
  EXPECT_TRUE(ParseOptions({"--bogus", "--help"}).help);
  const Options version = ParseOptions({"a", "b", "--version"});
  EXPECT_TRUE(version.version);
  EXPECT_FALSE(version.help);
  EXPECT_FALSE(ParseOptions({"--", "--version"}).version);
}

}  // namespace
}  // namespace tosim::report
