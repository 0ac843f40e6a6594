// A student's answer file checked against a plan file: the answers matched to the plans as they
// stream past, each plan's marks said in the report's words, as a summary or as JSON Lines.
// tosim-report --check and the playground's «Comprobar» both use it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/plan_analysis.h"
#include "practice/check.h"
#include "report/answers_json.h"

namespace tosim::report {

// Finds each plan's answers. An object answers the plans of its `line`; with `plan` (a number, or
// null for a line without a plan) only those of that number. Objects are taken in the file's
// order, each once: the first object not taken that fits answers the plan, so several plans of
// one line and number are answered by as many objects, in order.
class AnswerMatcher {
 public:
  explicit AnswerMatcher(std::vector<PlanAnswers> objects);
  // The answers for `report`, the plan file's next report in order; nullptr for none.
  [[nodiscard]] const PlanAnswers* Take(const analysis::PlanReport& report);
  // After the last report: a problem for every object that no plan took.
  void Unmatched(std::vector<AnswerProblem>& problems) const;

 private:
  std::vector<PlanAnswers> objects_;
  std::vector<bool> taken_;
};

// The score of a page or a file: cells that are not mistakes, of all cells marked.
struct Score {
  std::int64_t good = 0;
  std::int64_t marked = 0;
};

// Checks `answers` (nullptr: the plan was not answered) against `report` and appends the result:
// one JSON object of the form {"line","plan","right","wrong","consistent","cells"} followed by LF,
// or the summary's lines. Answers that do not fit the plan add a problem and are not marked.
void AppendCheck(std::string& out, bool json, const analysis::PlanReport& report,
                 const PlanAnswers* answers, Score& score, std::vector<AnswerProblem>& problems);

// The summary's last line: «Total: 61 de 66».
void AppendCheckTotal(std::string& out, const Score& score);

// The key of `cell` in the answer form: "timestamps.1", "trace[4].ts_lect",
// "protocols.2pl.steps[3].result".
[[nodiscard]] std::string CellKey(const practice::Cell& cell);

// Why `cell` is marked so, as a sentence with the numbers it was judged with; `lab` is the lab's
// run when the cell is a protocol's.
void AppendCellWhy(std::string& out, const analysis::PlanReport& report,
                   const protocols::PlanProtocols* lab, const practice::Cell& cell);

}  // namespace tosim::report
