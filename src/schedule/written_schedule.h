// The written schedule S of a plan, the schedule that the analysis and the protocol lab read: the
// begins, reads, writes, commits and aborts of transactions 1..10, reads and writes on an item
// "A".."Z", each transaction up to and including its first commit or abort. Illegal operations,
// numbers outside 1..10, reads and writes without an item letter and the operations after their
// transaction's end are not in S.
#pragma once

#include "schedule/transaction_set.h"
#include "tosim/operation.h"

namespace tosim {

class WrittenSchedule {
 public:
  // A new plan.
  void Start() { ended_ = {}; }
  // Whether `operation`, the plan's next after its start (any kind but Plan and EndOfPlan, any
  // number, any item), belongs to S.
  [[nodiscard]] bool Add(const Operation& operation);
  // The transactions whose commit or abort S has shown so far.
  [[nodiscard]] TransactionSet Ended() const { return ended_; }

 private:
  TransactionSet ended_;
};

}  // namespace tosim
