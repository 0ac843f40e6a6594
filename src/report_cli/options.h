// tosim-report's command line, parsed as a pure function of the arguments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tosim::report {

enum class Format : std::uint8_t { Text, Json, Html, Moodle };

struct Options {
  bool help = false;     // -h, --help: the usage, and nothing else
  bool version = false;  // --version: the version, and nothing else
  Format format = Format::Text;
  bool protocols = false;  // --protocols: the protocol lab beside the report
  // --each-plan-alone: every plan analysed and traced as if it were alone in its file. An
  // exercise sheet is made so unless --each-plan-alone=no asks for tosim's running counter.
  bool eachPlanAlone = false;
  bool exercises = false;  // --exercises, with --html: the page is an exercise sheet
  // The protocols whose grid the sheet asks for, in the lab's order: --exercises=NAME, or all
  // eight with --exercises=all or --exercises --protocols. Any of them turns the lab on.
  std::vector<std::string> sheetProtocols;
  std::string htmlPath;   // --html's page
  std::string checkPath;  // --check's answer file: the plans' answers are checked
  std::string planPath;
  std::string problem;     // what is wrong with the command line; empty when nothing is
  std::string moodlePath;  // --moodle's quiz
};

// Reads the arguments (without the program's name). The order of the options does not matter;
// "--" ends them. --help and --version win over everything else, mistakes included. --html and
// --moodle take the next argument as their file unless that is an option: a file whose name
// starts with "-" is written as "./-name"; so does --check's answer file.
[[nodiscard]] Options ParseOptions(const std::vector<std::string>& arguments);

}  // namespace tosim::report
