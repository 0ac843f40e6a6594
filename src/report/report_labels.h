// The words of the report, one table per language (Spanish, for now): the headings, the name of
// every verdict and what it says when its list is empty. The summary takes them from here; the
// report page and the playground are given the same table as JSON (LabelsJson()), so that all
// three use the same words. Warning texts are composed here too.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "analysis/plan_analysis.h"
#include "protocols/protocols.h"

namespace tosim::report {

enum class Label : std::uint16_t {
  Line,             // "Línea 3, plan P1"
  Plan,             //
  NoPlan,           // "Línea 3, sin plan"
  Warnings,         // the warnings, first in every plan
  WarningsNone,     //
  Position,         // "operación 4: ..."
  ExecutedHeading,  // what timestamp ordering executed
  Timestamps,
  TimestampsNone,
  Committed,
  CommittedNone,
  Aborted,
  AbortedNone,
  Active,
  ActiveNone,
  Executed,
  ExecutedNone,
  ToOrder,
  ToOrderNone,
  SkippedWrites,
  SkippedWritesNone,
  Cascading,
  CascadingNone,
  WithoutThomas,
  WithoutThomasCommitted,
  WithoutThomasAborted,
  WrittenHeading,  // the plan as written
  Transactions,
  TransactionsNone,
  Edges,
  EdgesNone,
  ConflictSerializable,
  ViewSerializable,
  ReadsFrom,
  ReadsFromNone,
  ReadsFromReads,  // "T2 lee A de T1"
  ReadsFromFrom,   //
  Recoverable,
  Cascadeless,
  Strict,
  Yes,
  No,
  Order,       // "sí, orden T1 → T2"
  OrderEmpty,  // "sí, orden vacío"
  Cycle,       // "no, ciclo T1 → T2 → T1"
  PlansNone,   // the summary of a file without any plan or line of text
  // What became of an operation of the trace (the key `trace`, its `decision`).
  DecisionExecuted,
  DecisionRejected,
  DecisionSkipped,
  DecisionAborted,
  DecisionCommitted,
  DecisionBegun,
  DecisionError,
  // Why: the rule that decided an operation, a sentence with the operation's numbers in the
  // places "{t}", "{ts}", "{x}", "{lect}", "{escr}" and "{before}" (see AppendWhy()).
  WhyBegin,
  WhyAlreadyBegun,
  WhyTransactionOutOfRange,
  WhyCommit,
  WhyAbort,
  WhyNotActiveInactive,
  WhyNotActiveCommitted,
  WhyNotActiveAborted,
  WhyNotActiveOutOfRange,
  WhyAccessNotActiveInactive,
  WhyAccessNotActiveCommitted,
  WhyAccessNotActiveAborted,
  WhyAccessNotActiveOutOfRange,
  WhyItemOutOfRange,
  WhyRead,
  WhyReadKept,  // a read that leaves TS_lect as it was
  WhyReadTooLate,
  WhyWrite,
  WhyWriteTooLate,
  WhyThomas,
  WhyObsoleteWrite,
  WhyIllegalOperation,
  WhyNumberExpected,
  WhyOpenExpected,
  WhyLetterExpected,
  // The protocol lab: the table, its cells and each protocol's line.
  LabHeading,
  LabOperation,
  StepExecuted,
  StepSkipped,
  StepRejected,
  StepRejectedDied,
  StepRejectedValidation,
  StepIgnored,
  StepPending,
  StepDropped,
  StepDroppedVictim,
  StepDroppedWounded,
  StepWaits,   // "espera a T2 → ejecutada"
  StepQueued,  // "en cola → pendiente"
  StepThen,
  CauseAbort,
  CauseRejected,
  CauseCascade,
  CauseVictim,
  CauseDied,
  CauseWounded,
  CauseValidation,
  LabHistory,
  LabHistoryNone,
  LabCommitted,
  LabCommittedNone,
  LabAborted,
  LabAbortedNone,
  LabWaiting,
  LabActive,
  LabUnrecoverable,
  LabDeadlocks,
  LabDeadlocksNone,
  LabVictim,
  LabOrder,
  LabOrderNone,
  LabOrderEmpty,
  // The Moodle quiz (tosim-report --moodle): its instructions and the headings of its fields.
  QuizAlone,
  QuizOperations,
  QuizDecision,
  QuizTsLect,
  QuizTsEscr,
  QuizFates,
  QuizActive,
  QuizUnreadable,
  // Practice: a student's answers checked cell by cell (tosim-report --check, the page).
  CheckOf,
  CheckWrong,
  CheckConsistent,
  CheckUnanswered,
  CheckTotal,
  CheckGiven,
  CheckExpected,
  CheckNull,
  CheckDecision,
  CheckTsLect,
  CheckTsEscr,
  CheckTimestamp,
  CheckNo,
  CheckFollows,
  CheckWithYours,
  CheckWithRun,
  CheckOwnDecision,
  CheckMissing,
  CheckExtra,
  CheckNotBegun,
  CheckNotEnded,
  CheckNotInPlan,
  CheckConflictYes,
  CheckConflictNo,
  CheckNotAnOrder,
  CheckEdgeAgainst,
  CheckNotACycle,
  CheckNotAnEdge,
  CheckFollowsVerdict,
  CheckViewYes,
  CheckViewNo,
  CheckViewRead,
  CheckViewFinal,
  CheckViewWrite,
  CheckViewInitial,
  CheckRecoverableYes,
  CheckRecoverableNo,
  CheckCascadelessYes,
  CheckCascadelessNo,
  CheckStrictYes,
  CheckStrictNo,
  CheckProtocolStep,
  // The protocol lab: why each step went as it did.
  StepWounds,
  LabWhyBegin,
  LabWhyBeginAgain,
  LabWhyNotActiveInactive,
  LabWhyNotActiveCommitted,
  LabWhyNotActiveAborted,
  LabWhyCommit,
  LabWhyAbort,
  LabWhyDropped,
  LabWhyPending,
  LabWhyQueued,
  LabWhyWaited,
  LabWhyWounds,
  LabWhyStrictReadTooLate,
  LabWhyStrictWriteTooLateRead,
  LabWhyStrictWriteTooLateWrite,
  LabWhyStrictWaits,
  LabWhyStrictRead,
  LabWhyStrictWrite,
  LabWhyVersion,
  LabWhyVersionInitial,
  LabWhyVersionRead,
  LabWhyVersionTooLate,
  LabWhyVersionWrite,
  LabLockShared,
  LabLockExclusive,
  LabWhyLockGranted,
  LabWhyLockHeld,
  LabWhyLockWaits,
  LabWhyLockDies,
  LabWhyOccReadOwn,
  LabWhyOccReadCommitted,
  LabWhyOccReadInitial,
  LabWhyOccWrite,
  LabWhyOccWriteLost,
  LabWhyOccValidated,
  LabWhyOccFails,
  // The playground's practice mode and the exercise sheet.
  PracticeIntro,
  PracticeCheck,
  PracticeSolution,
  PracticeSolutionHide,
  PracticeScore,
  PracticeTotal,
  PracticeReview,
  PracticeRight,
  PracticeTimestamps,
  PracticeRun,
  PracticeWritten,
  PracticeOrderOrCycle,
  PracticeViewOrder,
  PracticeTransactionsHint,
  PracticeWritesHint,
  PracticeProtocol,
  PracticeProtocolNone,
  PracticeResult,
  PracticeCounter,
  PracticeCounterOne,
  PracticeIllegal,
  SheetProtocolQuestion,
  // Isolation levels: the part of the summary about them, the levels, the anomalies and the
  // phenomena. A witness is a sentence with places "{i}", "{j}", "{x}", "{y}" (the pattern's
  // transactions and items; in G1a and G1b Tj reads Ti's write), an edge of a cycle a clause with
  // "{from}", "{to}" and "{x}"; a witness or cycle is followed by ": ", the kind's name and its
  // key in parentheses.
  IsolationHeading,
  IsolationLevel,  // "Nivel más fuerte: lectura confirmada"
  LevelNone,
  LevelReadUncommitted,
  LevelReadCommitted,
  LevelRepeatableRead,
  LevelSerializable,
  IsolationLevels,  // the table of the four levels
  IsolationAllowed,
  IsolationNotAllowed,
  Anomalies,
  AnomaliesNone,
  Phenomena,
  PhenomenaNone,
  EdgeWw,
  EdgeWr,
  EdgeRw,
  AnomalyG0,
  AnomalyG1a,
  AnomalyG1aWitness,
  AnomalyG1b,
  AnomalyG1bWitness,
  AnomalyG1c,
  AnomalyGSingle,
  AnomalyG2Item,
  PhenomenonP0,
  PhenomenonP0Witness,
  PhenomenonP1,
  PhenomenonP1Witness,
  PhenomenonP2,
  PhenomenonP2Witness,
  PhenomenonP4,
  PhenomenonP4Witness,
  PhenomenonA5A,
  PhenomenonA5AWitness,
  PhenomenonA5B,
  PhenomenonA5BWitness,
  // The graph of the part «Aislamiento» on the page.
  IsolationGraph,
  IsolationGraphCaption,
  IsolationGraphWitness,  // "... {kind}"
  // Snapshot isolation in the protocol lab.
  StepRejectedFirstCommitter,
  CauseFirstCommitter,
  // Why si decided a step.
  LabWhySiReadOwn,
  LabWhySiReadCommitted,
  LabWhySiReadInitial,
  LabWhySiWrite,
  LabWhySiWriteLost,
  LabWhySiValidated,
  LabWhySiFails,
  Count
};

// The text of `label`, in Spanish and UTF-8.
[[nodiscard]] std::string_view Text(Label label);
// The text of the label named `key` in the table ("step.rejected.died"); empty when there is none.
[[nodiscard]] std::string_view TextOfKey(std::string_view key);

// The text of `label` with each "{name}" replaced by its value in `places`.
void AppendFilled(std::string& out, Label label,
                  std::initializer_list<std::pair<std::string_view, std::string>> places);

// The table as one JSON object, key by key in the table's order: {"line":"Línea",...}.
void AppendLabelsJson(std::string& out);
[[nodiscard]] std::string LabelsJson();

// The warning's name in JSON ("ignored_text") and its Spanish text (UTF-8). The text quotes the
// bytes the reader kept of what it skipped: converted from Windows-1252, a control byte written
// "\xNN" (so that a TAB shows), and "…" and the count after them when more were skipped.
[[nodiscard]] std::string_view WarningKey(analysis::WarningKind kind);
void AppendWarningText(std::string& out, const analysis::Warning& warning);

// The names in JSON of what became of a trace operation ("rejected") and of the rule that decided
// it ("write_too_late").
[[nodiscard]] std::string_view OutcomeKey(analysis::Outcome outcome);
// The name in JSON of what a protocol did with a step ("dropped").
[[nodiscard]] std::string_view ResultKey(protocols::Result result);
[[nodiscard]] std::string_view RuleKey(analysis::Rule rule);
// The names in JSON of a level ("read_committed"), an anomaly ("G-single"), a phenomenon ("A5B")
// and a kind of dependency ("rw").
[[nodiscard]] std::string_view LevelKey(analysis::IsolationLevel level);
[[nodiscard]] std::string_view AnomalyKey(analysis::AnomalyKind kind);
[[nodiscard]] std::string_view PhenomenonKey(analysis::PhenomenonKind kind);
[[nodiscard]] std::string_view DependencyKey(analysis::DependencyKind kind);
// The level's name in Spanish.
[[nodiscard]] Label LevelLabel(analysis::IsolationLevel level);
// The witness of an anomaly or a phenomenon as a sentence, with its name and key: «T2 lee A de
// T1, que aborta después: lectura de una transacción abortada (G1a)».
void AppendAnomalyText(std::string& out, const analysis::Anomaly& anomaly);
void AppendPhenomenonText(std::string& out, const analysis::Phenomenon& phenomenon);
// The sentence that says why `step` was decided so, with its numbers.
void AppendWhy(std::string& out, const analysis::TraceStep& step);
// The same sentence as a JSON string.
void AppendWhyJson(std::string& out, const analysis::TraceStep& step);

}  // namespace tosim::report
