// A student's answer file: JSON Lines in the report's own form, one object per plan answered.
// What tosim-report --json writes is itself a perfect answer file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "practice/answers.h"

namespace tosim::report {

// The answers of one object of the file, and the plan they are for.
struct PlanAnswers {
  std::int64_t at = 0;    // the object's line in the answer file, from 1
  std::int64_t line = 0;  // the plan file's line
  bool planGiven = false;
  bool hasPlan = true;  // false: "plan": null, a line without a plan
  std::int32_t plan = 0;
  practice::Answers answers;
  bool protocols = false;  // some protocol is answered: the lab must run
};

// What is wrong with an object of the file, as one Spanish line naming the place.
struct AnswerProblem {
  std::int64_t at = 0;  // the line of the answer file
  std::string text;
};

// Reads the answer file `text` (UTF-8; LF or CR LF line ends, empty lines skipped): its objects
// in order, and a problem for every line that is not an object of the form (malformed JSON, an
// unknown key, a value of the wrong kind), which is then left out.
void ReadAnswers(std::string_view text, std::vector<PlanAnswers>& objects,
                 std::vector<AnswerProblem>& problems);

}  // namespace tosim::report
