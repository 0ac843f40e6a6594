// What timestamp ordering did to one plan, and what serializability theory says about the plan as
// written, with the warnings that make the plan suspicious as an exercise. Pure: fed with the
// operations the plan reader delivers, one at a time, in constant memory apart from the lists it
// reports (executed and skipped writes, warnings, reads-from). The view serializability of the
// plan is ViewSearch's, the order or cycle of its precedence graph SmallestOrderOrCycle()'s.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "analysis/isolation.h"
#include "analysis/trace_step.h"
#include "analysis/view_search.h"
#include "plan/plan_reader.h"
#include "schedule/smallest_order.h"
#include "schedule/transaction_set.h"
#include "schedule/written_schedule.h"
#include "scheduler/scheduler.h"
#include "tosim/operation.h"

namespace tosim::analysis {

// A read or a write of the schedule, labelled "R1(A)" or "W2(B)" in lists.
struct Access {
  OpKind kind = OpKind::Read;  // Read or Write
  std::int32_t t = 0;          // 1..10
  char item = 'A';             // "A".."Z"
};

// What makes a plan suspicious as an exercise: what the reader found wrong or skipped, and what
// the analysis finds odd about an operation's meaning.
enum class WarningKind : std::uint8_t {
  // The reader's syntax errors (SyntaxError), with the text skipped after them, if any.
  IllegalOperation,
  NumberExpected,
  OpenExpected,
  LetterExpected,
  CloseExpected,
  IgnoredText,  // text skipped before the terminator without a syntax error
  // What the operation means.
  TransactionOutOfRange,  // a transaction number outside 1..10
  ItemOutOfRange,         // a read or write without an item "A".."Z"
  SecondBegin,            // a begin of a transaction begun before in the plan
  NotBegun,               // a read, write, commit or abort of a transaction not begun before
  AfterCommit,            // an operation of a transaction after its commit in the plan
  AfterAbort,             // an operation of a transaction after its abort in the plan
  NoPlan,                 // a line that does not start with a plan: nothing of it is run
};

struct Warning {
  std::int64_t position = 1;  // the operation's place in its plan, the plan start being 1
  WarningKind kind = WarningKind::IgnoredText;
  std::int32_t transaction = 0;  // the number as read, for the analysis's warnings
  IgnoredText ignored;           // the text the reader skipped (count 0: none)
};

// The first operation of S that makes a recoverability verdict false: at `position` (0: none),
// transaction `t` commits having read `item` from `u` (recoverable), reads `item` from `u`
// (cascadeless), or reads or writes `item` that `u` wrote and had not ended (strict).
struct Breach {
  std::int64_t position = 0;
  std::int32_t t = 0;
  std::int32_t u = 0;
  char item = ' ';
};

// Tj read item x from Ti in S (see PlanAnalysis::ReadInSchedule).
struct ReadFrom {
  std::int32_t reader = 0;
  std::int32_t writer = 0;
  char item = 'A';
};

// A conflict behind an edge of the precedence graph: the first pair of operations on `item` that
// makes T`from` -> T`to`.
struct Conflict {
  std::int32_t from = 0;
  std::int32_t to = 0;
  char item = 'A';
  OpKind first = OpKind::Read;   // Read or Write, of T`from`
  OpKind second = OpKind::Read;  // of T`to`
};

// The report of one plan. Lists of transactions are ascending unless they are an order or a
// cycle. An order or a cycle that does not exist ("null") is empty with its flag false.
struct PlanReport {
  std::int64_t line = 0;  // the plan file's line, from 1
  std::int32_t plan = 0;  // the plan number as read
  // False for the report of a line that does not start with a plan: it holds nothing but its
  // NoPlan warning, and the verdicts of the empty schedule.
  bool hasPlan = true;
  std::vector<std::int32_t> transactions;  // those occurring in the written schedule S
  // In the order of the operations; an operation may have a reader's warning and one about its
  // meaning, in that order.
  std::vector<Warning> warnings;

  // What timestamp ordering did, as tosim's trace shows it; states are those at the plan's end.
  // Transactions begun in the plan, ascending, with the timestamp their begin received.
  std::vector<std::pair<std::int32_t, std::int32_t>> timestamps;
  // The timestamp counter when the plan started: its first begin receives the next value.
  std::int32_t counterAtStart = 0;
  std::vector<std::int32_t> committed;
  std::vector<std::int32_t> aborted;  // by an abort operation or a rejected read or write
  std::vector<std::int32_t> active;   // begun and neither committed nor aborted
  std::vector<Access> skippedWrites;  // by the Thomas write rule, in order
  // The accepted reads and writes of the transactions not aborted, in order.
  std::vector<Access> executed;
  // The transactions begun and not aborted, by timestamp (compared as the scheduler compares).
  std::vector<std::int32_t> toOrder;
  // The transactions not aborted that read, directly or through others, a write of an aborted
  // transaction.
  std::vector<std::int32_t> cascading;
  // The same plan without the Thomas write rule.
  std::vector<std::int32_t> withoutThomasCommitted;
  std::vector<std::int32_t> withoutThomasAborted;

  // What the theory says about S and its projection P (the reads and writes of the transactions
  // without an abort in S).
  // The precedence graph of P: Ti -> Tj as (i, j), ascending.
  std::vector<std::pair<std::int32_t, std::int32_t>> edges;
  // For each edge and each item its transactions conflict on, the first conflict in S: the one
  // whose later operation comes first, with the earliest operation of T`from` before it that
  // conflicts with it. By from, to and item.
  std::vector<Conflict> conflicts;
  bool conflictSerializable = true;
  // When conflictSerializable: the smallest topological order of all transactions of P.
  std::vector<std::int32_t> conflictOrder;
  // When not: the cycle that a depth-first search finds first, starting from the smallest
  // transaction left over by the topological sort and following edges in ascending order; it
  // starts and ends with the transaction the search reached twice.
  std::vector<std::int32_t> conflictCycle;
  bool viewSerializable = true;
  std::vector<std::int32_t> viewOrder;  // when viewSerializable: the smallest such order
  // The reads-from pairs of S behind the three verdicts below, each once, in the order of their
  // first read.
  std::vector<ReadFrom> readsFrom;
  bool recoverable = true;
  bool cascadeless = true;
  bool strict = true;
  // Where each of the three verdicts above first fails, when it does.
  Breach unrecoverable;
  Breach cascade;
  Breach unstrict;

  // Every operation after the plan start, as tosim's trace shows it, in order: the operation at
  // position p of the plan is trace[p - 2].
  std::vector<TraceStep> trace;

  // The isolation levels of S: its dependency graph, anomalies and phenomena.
  IsolationReport isolation;
};

// The analysis of a whole run of plans. Like tosim's run, it carries the timestamp counter from
// plan to plan, so that the timestamps are those of tosim's trace.
class PlanAnalysis {
 public:
  // With PlanTimestamps::FromOne every plan's timestamps start at 1.
  explicit PlanAnalysis(PlanTimestamps timestamps = PlanTimestamps::RunOn);
  // Starts a plan at its plan-start operation, with what the reader found wrong with it and the
  // text it skipped, if given.
  void Start(std::int64_t line, std::int32_t planNumber, SyntaxError error = SyntaxError::None,
             const IgnoredText* ignored = nullptr);
  // One operation of the plan after its start, as the reader delivered it (any kind but Plan and
  // EndOfPlan), with what the reader found wrong with it and the text it skipped, if given.
  void Add(const Operation& operation, SyntaxError error = SyntaxError::None,
           const IgnoredText* ignored = nullptr);
  // Ends the plan; the report stays valid until the next Start().
  [[nodiscard]] const PlanReport& Finish();
  // The report of line `line`, which does not start with a plan (and is not empty); valid until
  // the next Start(). The run's timestamps do not move.
  [[nodiscard]] const PlanReport& LineWithoutPlan(std::int64_t line);

 private:
  // What the plan did to one item so far.
  struct ItemState {
    TransactionSet readers;    // transactions that read it in S
    TransactionSet writers;    // transactions that wrote it in S
    TransactionSet readFirst;  // transactions that read it in S before writing it
    int lastAccepted = 0;      // the transaction of the last write the scheduler accepted, or 0
  };

  ItemState& Touch(int x);
  void ReaderWarning(SyntaxError error, const IgnoredText* ignored);
  void MeaningWarning(const Operation& operation);
  void Warn(WarningKind kind, std::int32_t transaction);
  void Decided(const Operation& operation, Decision decision);
  void ReadInSchedule(int t, int x);
  void WriteInSchedule(int t, int x);
  void Conflicted(int from, int to, int x, bool firstWrites, bool secondWrites);
  // Records where a verdict fails: at this operation, transactions t and u, item x (from 0).
  void Breached(Breach& breach, std::int32_t t, std::int32_t u, int x) const;
  void FinishTimestampOrdering();
  void FinishConflicts(TransactionSet inP);

  SchedulerTables tables_;  // the run as tosim made it
  SchedulerTables basic_;   // the same run without the Thomas write rule
  PlanReport report_;

  std::int64_t position_ = 0;  // of the last operation in its plan

  // The written schedule S so far; tables of transactions by number - 1.
  WrittenSchedule schedule_;  // which operations are in S, and the transactions ended in it
  TransactionSet occurs_;
  TransactionSet begun_;                              // begin seen
  TransactionSet committed_;                          // committed in S
  TransactionSet aborted_;                            // aborted in S
  TransactionGraph edges_;                            // the precedence graph of S
  TransactionSet readsFrom_[kTransactionCount] = {};  // reads-from in S: the writers Tj read from
  // The items Tj read from Ti in S (bit x for item "A" + x), indexed [j - 1][i - 1].
  std::uint32_t readFromItems_[kTransactionCount][kTransactionCount] = {};
  TransactionSet dependsOn_[kTransactionCount] = {};  // accepted reads of others' accepted writes
  bool recoverable_ = true;
  bool cascadeless_ = true;
  bool strict_ = true;
  // The first conflict of each edge and item (see Conflicted()), [from - 1][to - 1]: the items,
  // and those whose first conflict starts, or ends, with a write.
  struct Conflicts {
    std::uint32_t items = 0;
    std::uint32_t firstWrites = 0;
    std::uint32_t secondWrites = 0;
  };
  Conflicts conflicts_[kTransactionCount][kTransactionCount] = {};
  ItemState items_[kItemCount];
  std::uint32_t touchedItems_ = 0;
  ViewSearch view_;
  IsolationAnalysis isolation_;
};

}  // namespace tosim::analysis
