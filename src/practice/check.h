// Checks a student's answers for one plan, cell by cell, against the plan's report: each cell is
// right, wrong, or consistent with the student's own earlier cells, with the reason as data (the
// rule and the numbers it was judged with). Pure; the words are the report's.
//
// Follow-through: the trace is judged row by row on the student's own run. The scheduler's rules
// are applied to the tables as the student's answers left them: their timestamps, their decisions
// (a rejection they predicted aborts the transaction for them), their TS_lect and TS_escr. A cell
// that differs from the run but is what the rules give from the student's earlier values is
// consistent; one that is neither is wrong. The same goes for what follows from the trace: the
// transactions that commit and abort, the skipped writes, the timestamps by the counter, and an
// order or a cycle given with a wrong yes or no. So one slip costs one mark.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/plan_analysis.h"
#include "analysis/trace_step.h"
#include "analysis/view_check.h"
#include "practice/answers.h"
#include "protocols/protocols.h"

namespace tosim::practice {

enum class Mark : std::uint8_t { Right, Wrong, Consistent };

// The key of the answer form a cell answers.
enum class Field : std::uint8_t {
  Timestamp,  // timestamps.T
  Committed,
  Aborted,
  SkippedWrites,
  ConflictSerializable,
  ConflictOrder,
  ConflictCycle,
  ViewSerializable,
  ViewOrder,
  Recoverable,
  Cascadeless,
  Strict,
  Decision,  // trace[i].decision
  TsLect,    // trace[i].ts_lect
  TsEscr,    // trace[i].ts_escr
  StepResult,
  StepWaitedFor,
};

// A cell's value as the answer form writes it.
struct Value {
  enum class Kind : std::uint8_t { Null, Bool, Number, Numbers, Outcome, Accesses, Result };
  Kind kind = Kind::Null;
  bool yes = false;
  std::int32_t number = 0;
  std::vector<std::int32_t> numbers;
  analysis::Outcome outcome = analysis::Outcome::Error;
  std::vector<analysis::Access> accesses;
  protocols::Result result = protocols::Result::Executed;
};

// Why a cell is what it is.
enum class Why : std::uint8_t {
  Step,         // the scheduler's rule for trace entry `entry`: `judged` and `truth`
  OwnDecision,  // TS_lect or TS_escr after the student's own decision in the row (`judged`)
  Begin,        // a timestamp: the begin of `t`, trace entry `entry`
  NotBegun,     // `t` does not begin in the plan
  Ended,        // committed, aborted: `t` is `missing` or extra; `entry` ended it (-1: it did not)
  Skipped,      // skipped_writes: `access` is `missing` or extra; `entry` is its write (-1: none)
  ConflictVerdict,  // the precedence graph's order (`numbers`) or cycle (`cycle`)
  NotAnOrder,       // an order must hold the transactions of P (`numbers`) once each
  EdgeAgainst,      // the order puts `t` before `u` against the edge `u` -> `t`
  NotACycle,        // a cycle starts and ends with one transaction, through at least two
  NotAnEdge,        // `t` -> `u` is not an edge of the graph
  FollowsVerdict,   // an order or cycle given with the student's own wrong yes or no
  ViewVerdict,      // an order view-equivalent to P (`numbers`), or none (`cycle`)
  ViewDiffers,      // `view`: where the order reads or writes last differently
  Breach,           // the verdict fails at `breach`
  NoBreach,         // the verdict holds
  ProtocolStep,     // what the protocol did with the step (`protocolStep`)
};

struct Reason {
  Why why = Why::Step;
  std::int32_t entry = -1;  // a trace entry
  // The trace entry as judged with the student's earlier values, and as tosim ran it.
  analysis::TraceStep judged;
  analysis::TraceStep truth;
  std::int32_t t = 0;
  std::int32_t u = 0;
  bool missing = false;  // missing from the student's list (else: there but should not be)
  analysis::Outcome decided = analysis::Outcome::Error;  // OwnDecision: the student's decision
  bool cycle = false;
  analysis::Access access;
  std::vector<std::int32_t> numbers;
  analysis::ViewDifference view;
  analysis::Breach breach;
  protocols::Step protocolStep;
};

struct Cell {
  Field field = Field::Decision;
  // The transaction of a timestamp, the trace entry (from 0), or the protocol's step (from 0).
  std::int32_t index = 0;
  protocols::Protocol protocol = protocols::Protocol::To;
  Mark mark = Mark::Right;
  Value given;
  Value expected;  // tosim's answer: for an order or a cycle, the report's
  Reason reason;
};

// Answers that do not fit the plan: nothing of them is marked.
struct Misfit {
  enum class Kind : std::uint8_t { None, TraceLength, StepsLength };
  Kind kind = Kind::None;
  protocols::Protocol protocol = protocols::Protocol::To;
  std::size_t given = 0;     // entries answered
  std::size_t expected = 0;  // entries of the plan
};

struct PlanMarks {
  // Cells counted by mark. The score is right + consistent of all three: a consistent cell is
  // not a mistake of its own.
  std::int32_t right = 0;
  std::int32_t wrong = 0;
  std::int32_t consistent = 0;
  // The cells not right, in the order of the answer form: timestamps, committed, aborted,
  // skipped_writes, the verdicts, the trace row by row, the protocols.
  std::vector<Cell> cells;
  Misfit misfit;
};

// The protocol lab's run of the plan of `report`, replayed from its trace.
[[nodiscard]] protocols::PlanProtocols ReplayLab(const analysis::PlanReport& report);

// Marks `answers` against `report`; `lab` (the lab's run of the plan) is needed when the answers
// hold protocols, and is not read otherwise.
[[nodiscard]] PlanMarks CheckPlan(const analysis::PlanReport& report,
                                  const protocols::PlanProtocols* lab, const Answers& answers);

}  // namespace tosim::practice
