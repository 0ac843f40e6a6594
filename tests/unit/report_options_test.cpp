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

// A sheet numbers each plan from 1 unless told otherwise; a protocol named asks for its grid and
// turns the lab on.
TEST(ReportOptions, ExercisesNumberFromOneAndNameTheirProtocols) {
  EXPECT_TRUE(ParseOptions({"--html", "s.html", "--exercises", "p.txt"}).eachPlanAlone);
  EXPECT_FALSE(ParseOptions({"--html", "s.html", "--exercises", "--each-plan-alone=no", "p.txt"})
                   .eachPlanAlone);
  EXPECT_FALSE(ParseOptions({"--each-plan-alone=no", "p.txt"}).eachPlanAlone);

  const Options one = ParseOptions({"--html", "s.html", "--exercises=wound_wait", "p.txt"});
  EXPECT_EQ(one.sheetProtocols, std::vector<std::string>{"wound_wait"});
  EXPECT_TRUE(one.protocols);
  EXPECT_EQ(one.problem, "");
  EXPECT_EQ(ParseOptions({"--html", "s.html", "--exercises=all", "p.txt"}).sheetProtocols.size(),
            9u);
  EXPECT_EQ(ParseOptions({"--html", "s.html", "--exercises", "--protocols", "p.txt"})
                .sheetProtocols.size(),
            9u);
  EXPECT_TRUE(ParseOptions({"--html", "s.html", "--exercises", "p.txt"}).sheetProtocols.empty());
  EXPECT_EQ(ParseOptions({"--html", "s.html", "--exercises=tso", "p.txt"}).problem,
            "--exercises=tso: no es un protocolo del laboratorio (to, to_basic, strict_to, mvto, "
            "2pl, wait_die, wound_wait, occ, si) ni all");
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
