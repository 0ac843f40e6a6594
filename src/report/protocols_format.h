// The protocol lab in the report's two forms. Pure: they only append UTF-8 text to `out`.
#pragma once

#include <string>

#include "analysis/plan_analysis.h"
#include "protocols/protocols.h"
#include "report/report_format.h"

namespace tosim::report {

// The value of the key "protocols": one object per protocol, in the lab's order, compact.
void AppendProtocolsJson(std::string& out, const protocols::PlanProtocols& plan);

// One plan's line of JSON Lines, as AppendJson() writes it, with the key "protocols" last when
// `plan` is given: what tosim-report --json writes, with or without --protocols.
void AppendPlanJson(std::string& out, const analysis::PlanReport& report,
                    const protocols::PlanProtocols* plan, const Spill& spill = {});

// What became of one step, in a few words of the table: how it waited, then how it ended. The
// ending is "step.RESULT.CAUSE" where the table has one (a rejection by dying, a drop by
// wounding ...), else "step.RESULT".
[[nodiscard]] std::string StepCell(const protocols::ProtocolRun& run, const protocols::Step& step);

// Why `step` of `run` went as it did: the rule and its numbers, as a sentence in the table's
// words; any wounds and waits of the step come first.
void AppendStepWhy(std::string& out, const protocols::ProtocolRun& run,
                   const protocols::Step& step);

// The table of one plan (a row per operation, a column per protocol) and a line per protocol,
// each followed by why its notable steps went as they did (all but immediate executions), each
// line indented and ending in LF.
void AppendProtocolsText(std::string& out, const protocols::PlanProtocols& plan);

}  // namespace tosim::report
