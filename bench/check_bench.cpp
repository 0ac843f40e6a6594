// Checking a student's answers for one plan of 10 transactions and 200 operations, every cell
// filled: how long it takes to read the answers' JSON line, mark every cell and write the marks'
// JSON line, as the playground's engine does for «Comprobar». A benchmark, not a test: it prints
// figures and fails on nothing.
//
//   cmake --build --preset default --target tosim_check_bench
//   build/default/tosim_check_bench [PLANS] [REPEAT]
//
// PLANS plans (default 50) are generated as bench/protocols_bench.cpp makes them: 10 begins, 180
// reads and writes of random transactions on 6 items, the 10 commits in random order. The answers
// are the plan's own --json line with one slip (the first TS_lect answered one too high), so that
// the cells after it are judged on the student's values and their reasons composed. Each plan is
// checked REPEAT times (default 200); the slowest and the median plan are reported.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/for_each_plan_report.h"
#include "report/check_report.h"
#include "report/report_format.h"

namespace {

struct Random {
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
};

std::string MakePlan(Random& random) {
  std::string plan = "P1";
  for (int t = 1; t <= 10; ++t) {
    plan += "; T" + std::to_string(t);
  }
  for (int i = 0; i < 180; ++i) {
    plan += random.Below(3) == 0 ? "; W" : "; R";
    plan +=
        std::to_string(1 + random.Below(10)) + "(" + static_cast<char>('A' + random.Below(6)) + ")";
  }
  int order[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  for (int i = 9; i > 0; --i) {
    std::swap(order[i], order[random.Below(i + 1)]);
  }
  for (const int t : order) {
    plan += "; C" + std::to_string(t);
  }
  return plan + "\n";
}

tosim::analysis::PlanReport ReportOf(const std::string& plan) {
  tosim::MemorySource source{plan};
  tosim::InStream stream;
  stream.Open(tosim::ReadFromMemory, &source);
  tosim::analysis::PlanReport kept;
  (void)tosim::analysis::ForEachPlanReport(
      stream, [&](const tosim::analysis::PlanReport& report) { kept = report; });
  return kept;
}

}  // namespace

int main(int argc, char** argv) {
  const int plans = argc > 1 ? std::atoi(argv[1]) : 50;
  const int repeat = argc > 2 ? std::atoi(argv[2]) : 200;
  Random random{2024};
  std::vector<double> microseconds;
  std::size_t cells = 0;
  for (int n = 0; n < plans; ++n) {
    const tosim::analysis::PlanReport report = ReportOf(MakePlan(random));
    std::string answers = tosim::report::PlanJson(report);
    // The first TS_lect that is a number from 1 to 9, answered 8 too high.
    const std::size_t slip = answers.find("\"ts_lect\":", answers.find("\"ts_lect\":1"));
    answers[slip + 10] = static_cast<char>(answers[slip + 10] + 8);
    std::string marks;
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < repeat; ++r) {
      std::vector<tosim::report::PlanAnswers> objects;
      std::vector<tosim::report::AnswerProblem> problems;
      tosim::report::ReadAnswers(answers, objects, problems);
      tosim::report::AnswerMatcher matcher(std::move(objects));
      tosim::report::Score score;
      marks.clear();
      tosim::report::AppendCheck(marks, true, report, matcher.Take(report), score, problems);
      cells = static_cast<std::size_t>(score.marked);
    }
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    microseconds.push_back(took.count() / repeat);
  }
  std::sort(microseconds.begin(), microseconds.end());
  std::printf("check of one plan (200 operations, %zu cells): median %.0f us, slowest %.0f us\n",
              cells, microseconds[microseconds.size() / 2], microseconds.back());
  return 0;
}
