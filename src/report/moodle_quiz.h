// The quiz that Moodle imports (Banco de preguntas → Importar → Formato Moodle XML): one Cloze
// (embedded answers) question per plan, each plan alone, its timestamps from 1. Pure: composes
// the file's bytes, UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tosim::report {

// The quiz of a plan file's bytes. Each question shows the plan's line and asks, with the right
// answers and tosim's reasons as feedback: per operation, its decision (a MULTICHOICE field) and,
// for a read or write whose trace line shows them, TS_lect and TS_escr after it (NUMERICAL); the
// timestamps (NUMERICAL); how each transaction ends and the verdicts on the plan as written
// (MULTICHOICE). A line without a plan gets no question.
[[nodiscard]] std::string MoodleQuiz(std::string_view plans);

// `text` as it stands inside a Cloze answer or feedback: "}", "#", "~", "/", "\"" and "\\" with
// a backslash before them.
[[nodiscard]] std::string ClozeEscaped(std::string_view text);

}  // namespace tosim::report
