// The playground's engine: tosim's own reader, scheduler and trace, compiled to WebAssembly. The
// page hands over the plan file's bytes and takes back what tosim would have written: the console
// (without the final prompt) and the listing, what tosim-report --json writes, and on request the
// page tosim-report --html writes (with --protocols when the run had them). It checks a student's
// answers to the last run as tosim-report --check --json does, and generates plan files as
// tosim-gen does, from the same arguments.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "generator/generate.h"
#include "generator/options.h"

#include "report/check_report.h"
#include "report/in_memory_run.h"
#include "report/json_writing.h"
#include "report/report_labels.h"
#include "report/report_page.h"

namespace {

enum Output : int {
  kConsole = 0,
  kListing = 1,
  kReport = 2,
  kReportPage = 3,
  kLabels = 4,
  kMarks = 5,
  kCheckProblems = 6,
  kCounters = 7,
  kGenerated = 8,
  kGeneratorMessage = 9,
  kOutputCount
};

std::string plans;  // the plan file of the last run
bool eachPlanAlone = false;
tosim::report::InMemoryRun run;
std::string reportPage;
std::string marks;
std::string checkProblems;
std::string counters;  // per report, the timestamp counter at its plan's start, as JSON
const std::string labels = tosim::report::LabelsJson();
tosim::generator::Generation generation;

const std::string& OutputOf(int which) {
  switch (which) {
    case kReport:
      return run.reports;
    case kReportPage:
      return reportPage;
    case kLabels:
      return labels;
    case kMarks:
      return marks;
    case kCheckProblems:
      return checkProblems;
    case kCounters:
      return counters;
    case kGenerated:
      return generation.plans;
    case kGeneratorMessage:
      return generation.problem.empty() ? generation.seedNote : generation.problem;
    default:  // the console and the listing get the same bytes
      return run.trace;
  }
}

}  // namespace

extern "C" {

// Replays the plan file of `size` bytes at `plan`, with the protocol lab in the reports when
// `protocols` is not 0, and every plan as if alone in its file (--each-plan-alone) when `alone`
// is not 0; the results stay until the next call.
void tosim_run(const char* plan, std::size_t size, int protocols, int alone) {
  reportPage.clear();
  marks.clear();
  checkProblems.clear();
  plans.assign(plan, size);
  eachPlanAlone = alone != 0;
  run.keepReports = true;
  tosim::report::RunInMemory(
      plans, run, protocols != 0,
      eachPlanAlone ? tosim::PlanTimestamps::FromOne : tosim::PlanTimestamps::RunOn);
  counters.clear();
  tosim::report::json::PutNumbers(counters, run.counters);
}

// Makes the HTML report of the last run (output 3), as tosim-report --html writes it, naming the
// plan file `name` and the date `made` (both UTF-8); the exercise sheet (--exercises) when
// `exercises` is not 0, asking for the grid of the protocols in `sheetProtocols` (bit p for the
// lab's protocol p).
void tosim_make_report_page(const char* name, std::size_t nameSize, const char* made,
                            std::size_t madeSize, int exercises, int sheetProtocols) {
  reportPage = tosim::report::ReportPage({{name, nameSize},
                                          {made, madeSize},
                                          plans,
                                          run.trace,
                                          run.reports,
                                          exercises != 0,
                                          eachPlanAlone,
                                          static_cast<std::uint32_t>(sheetProtocols),
                                          &run.counters});
}

// Checks the answers of `size` bytes at `answers` (JSON Lines, the form of tosim-report --check's
// answer file) against the last run: output 5 holds the marks as tosim-report --check --json
// writes them, one object per plan answered, and output 6 a line for each answer that could not
// be read or checked (empty when all could).
void tosim_check(const char* answers, std::size_t size) {
  std::vector<tosim::report::PlanAnswers> objects;
  std::vector<tosim::report::AnswerProblem> problems;
  tosim::report::ReadAnswers({answers, size}, objects, problems);
  tosim::report::AnswerMatcher matcher(std::move(objects));
  tosim::report::Score score;
  marks.clear();
  for (const tosim::analysis::PlanReport& report : run.kept) {
    if (const tosim::report::PlanAnswers* answered = matcher.Take(report)) {
      tosim::report::AppendCheck(marks, true, report, answered, score, problems);
    }
  }
  matcher.Unmatched(problems);
  checkProblems.clear();
  for (const tosim::report::AnswerProblem& problem : problems) {
    checkProblems += std::to_string(problem.at) + ": " + problem.text + "\n";
  }
}

// Generates plans as tosim-gen does with the command-line arguments at `arguments` (`size` bytes
// of UTF-8, each argument ended by a NUL byte; --help and --version are not among them), the
// seed's text being `clockSeed` when they have no --seed. Returns tosim-gen's exit status (0,
// 64 or 65); output 5 is the plan file it would write, output 6 what it would say besides
// ("semilla ...", or the problem, without the program's name and the synopsis).
int tosim_generate(const char* arguments, std::size_t size, const char* clockSeed,
                   std::size_t clockSeedSize) {
  std::vector<std::string> list;
  for (std::size_t at = 0; at < size;) {
    const void* end = std::memchr(arguments + at, '\0', size - at);
    const std::size_t length =
        end == nullptr ? size - at
                       : static_cast<std::size_t>(static_cast<const char*>(end) - arguments) - at;
    list.emplace_back(arguments + at, length);
    at += length + 1;
  }
  const tosim::generator::Options options = tosim::generator::ParseOptions(list);
  if (!options.problem.empty()) {
    generation = {};
    generation.status = tosim::generator::kRefused;
    generation.problem = options.problem;
  } else {
    generation = tosim::generator::Generate(options, {clockSeed, clockSeedSize});
  }
  return generation.status;
}

// The bytes of output `which` (0 console, 1 listing, 2 JSON Lines, 3 the HTML report, 4 the
// report's words as JSON, 5 the marks of the last check, 6 its problems, 7 the timestamp counter
// at each plan's start as a JSON list, 8 and 9 the last generation's plans and words) of the last
// run, and their count.
const char* tosim_output(int which) {
  return which >= 0 && which < kOutputCount ? OutputOf(which).data() : nullptr;
}
std::size_t tosim_output_size(int which) {
  return which >= 0 && which < kOutputCount ? OutputOf(which).size() : 0;
}

}  // extern "C"
