// What timestamp ordering did to one plan, and what serializability theory says about the plan as
// written. Pure: fed with the operations the plan reader delivers, one at a time, in constant
// memory apart from the two lists it reports (executed and skipped writes). The view
// serializability of the plan is ViewSearch's, the order or cycle of its precedence graph
// OrderOrCycle()'s.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "analysis/precedence_graph.h"
#include "analysis/transaction_set.h"
#include "analysis/view_search.h"
#include "scheduler/scheduler.h"
#include "tosim/operation.h"

namespace tosim::analysis {

// A read or a write of the schedule, labelled "R1(A)" or "W2(B)" in lists.
struct Access {
  OpKind kind = OpKind::Read;  // Read or Write
  std::int32_t t = 0;          // 1..10
  char item = 'A';             // "A".."Z"
};

// The report of one plan. Lists of transactions are ascending unless they are an order or a
// cycle. An order or a cycle that does not exist ("null") is empty with its flag false.
struct PlanReport {
  std::int64_t line = 0;                   // the plan file's line, from 1
  std::int32_t plan = 0;                   // the plan number as read
  std::vector<std::int32_t> transactions;  // those occurring in the written schedule S

  // What timestamp ordering did, as tosim's trace shows it; states are those at the plan's end.
  // Transactions begun in the plan, ascending, with the timestamp their begin received.
  std::vector<std::pair<std::int32_t, std::int32_t>> timestamps;
  std::vector<std::int32_t> committed;
  std::vector<std::int32_t> aborted;  // by an abort operation or a rejected read or write
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
  bool conflictSerializable = true;
  // When conflictSerializable: the smallest topological order of all transactions of P.
  std::vector<std::int32_t> conflictOrder;
  // When not: the cycle that a depth-first search finds first, starting from the smallest
  // transaction left over by the topological sort and following edges in ascending order; it
  // starts and ends with the transaction the search reached twice.
  std::vector<std::int32_t> conflictCycle;
  bool viewSerializable = true;
  std::vector<std::int32_t> viewOrder;  // when viewSerializable: the smallest such order
  bool recoverable = true;
  bool cascadeless = true;
  bool strict = true;
};

// The analysis of a whole run of plans. Like tosim's run, it carries the timestamp counter from
// plan to plan, so that the timestamps are those of tosim's trace.
class PlanAnalysis {
 public:
  PlanAnalysis();
  // Starts a plan at its plan-start operation.
  void Start(std::int64_t line, std::int32_t planNumber);
  // One operation of the plan after its start, as the reader delivered it (any kind but Plan and
  // EndOfPlan).
  void Add(const Operation& operation);
  // Ends the plan; the report stays valid until the next Start().
  [[nodiscard]] const PlanReport& Finish();

 private:
  // What the plan did to one item so far.
  struct ItemState {
    Mask readers = 0;       // transactions that read it in S
    Mask writers = 0;       // transactions that wrote it in S
    int lastAccepted = -1;  // the transaction of the last write the scheduler accepted
  };

  ItemState& Touch(int x);
  void Decided(const Operation& operation, Decision decision);
  void ReadInSchedule(int t, int x);
  void WriteInSchedule(int t, int x);
  void FinishTimestampOrdering();
  void FinishConflicts(Mask inP);

  SchedulerTables tables_;  // the run as tosim made it
  SchedulerTables basic_;   // the same run without the Thomas write rule
  PlanReport report_;

  // The written schedule S so far.
  Mask occurs_ = 0;
  Mask ended_ = 0;                          // commit or abort seen: later operations are not in S
  Mask committed_ = 0;                      // committed in S
  Mask aborted_ = 0;                        // aborted in S
  Successors edges_ = {};                   // the precedence graph of S
  Mask readsFrom_[kTransactionCount] = {};  // reads-from in S
  Mask dependsOn_[kTransactionCount] = {};  // accepted reads of others' accepted writes
  bool recoverable_ = true;
  bool cascadeless_ = true;
  bool strict_ = true;
  ItemState items_[kItemCount];
  std::uint32_t touchedItems_ = 0;
  ViewSearch view_;
};

}  // namespace tosim::analysis
