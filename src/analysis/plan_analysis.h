// What timestamp ordering did to one plan, and what serializability theory says about the plan as
// written. Pure: fed with the operations the plan reader delivers, one at a time, in constant
// memory apart from the two lists it reports (executed and skipped writes).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

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

  // What timestamp ordering did.
  std::vector<std::pair<std::int32_t, std::int32_t>> timestamps;  // transaction, its timestamp
  std::vector<std::int32_t> committed;
  std::vector<std::int32_t> aborted;
  std::vector<Access> skipped_writes;
  std::vector<Access> executed;
  std::vector<std::int32_t> to_order;
  std::vector<std::int32_t> cascading;
  std::vector<std::int32_t> without_thomas_committed;
  std::vector<std::int32_t> without_thomas_aborted;

  // What the theory says about S.
  std::vector<std::pair<std::int32_t, std::int32_t>> edges;  // precedence graph of P: Ti -> Tj
  bool conflict_serializable = true;
  std::vector<std::int32_t> conflict_order;  // when conflict_serializable
  std::vector<std::int32_t> conflict_cycle;  // when not: first == last
  bool view_serializable = true;
  std::vector<std::int32_t> view_order;  // when view_serializable
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
  const PlanReport& Finish();

 private:
  using Mask = std::uint32_t;  // a set of transactions, bit t-1 for transaction t

  // What the plan did to one item so far.
  struct ItemState {
    std::uint8_t ranking[kTransactionCount] = {};  // the writers in S, latest write first
    std::uint8_t writerCount = 0;
    Mask readers = 0;       // transactions that read it in S
    Mask writers = 0;       // transactions that wrote it in S
    int lastAccepted = -1;  // the transaction of the last write the scheduler accepted
  };

  ItemState& Touch(int x);
  void Decided(const Operation& operation, Decision decision);
  void ReadInSchedule(int t, int x);
  void WriteInSchedule(int t, int x);
  void SetFact(int block, unsigned bit);
  void FinishTimestampOrdering();
  void FinishConflicts(Mask inP);
  void FinishView(Mask aborted, Mask inP);
  bool PlaceNext(Mask placed, Mask inP);

  SchedulerTables tables_;  // the run as tosim made it
  SchedulerTables basic_;   // the same run without the Thomas write rule
  PlanReport report_;

  // The written schedule S so far.
  Mask occurs_ = 0;
  Mask ended_ = 0;                          // commit or abort seen: later operations are not in S
  Mask committed_ = 0;                      // committed in S
  Mask aborted_ = 0;                        // aborted in S
  Mask edges_[kTransactionCount] = {};      // conflicts in S: bit j-1 of edges_[i-1] for Ti -> Tj
  Mask readsFrom_[kTransactionCount] = {};  // reads-from in S
  Mask dependsOn_[kTransactionCount] = {};  // accepted reads of others' accepted writes
  bool recoverable_ = true;
  bool cascadeless_ = true;
  bool strict_ = true;
  ItemState items_[kItemCount];
  std::uint32_t touchedItems_ = 0;

  // Facts about the reads of S, each a bit in a block of 256: "if the transactions of a set B
  // abort and two others do not, this read reads from that write". See plan_analysis.cpp.
  std::vector<std::uint64_t> facts_;
  std::vector<std::uint8_t> blockUsed_;
  std::vector<std::uint16_t> usedBlocks_;

  // The serial-order search of the plan being finished.
  Mask needBefore_[kTransactionCount] = {};
  Mask needIfBefore_[kTransactionCount][kTransactionCount] = {};
  std::vector<std::uint32_t> deadEnds_;  // sets of placed transactions that lead nowhere
  std::uint32_t search_ = 0;             // the current search's mark in deadEnds_
};

}  // namespace tosim::analysis
