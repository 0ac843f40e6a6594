// What timestamp ordering did to one plan, and what serializability theory says about the plan as
// written. Pure: fed with the operations the plan reader delivers, one at a time, in constant
// memory apart from the two lists it reports (executed and skipped writes).
#pragma once

#include <cstdint>
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
  std::int64_t line = 0;   // the plan file's line, from 1
  std::int32_t plan = 0;   // the plan number as read
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
  // Starts a plan at its plan-start operation.
  void Start(std::int64_t line, std::int32_t planNumber);
  // One operation of the plan after its start, as the reader delivered it (any kind but Plan and
  // EndOfPlan).
  void Add(const Operation& operation);
  // Ends the plan; the report stays valid until the next Start().
  const PlanReport& Finish();

 private:
  // Implementation-defined state; constant size.
};

}  // namespace tosim::analysis
