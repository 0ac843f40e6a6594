// Whether one given serial order of the projection P is view-equivalent to P, and where it first
// differs when it is not: the check of an order a student proposes. (ViewSearch finds the smallest
// such order while S streams past; this reads S back from a finished report's trace.)
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/plan_analysis.h"

namespace tosim::analysis {

struct ViewDifference {
  enum class Kind : std::uint8_t {
    None,        // the order is view-equivalent to P
    NotAnOrder,  // the order does not hold each transaction of P exactly once
    Read,        // a read reads another write (or the initial value) in the order
    FinalWrite,  // an item's last write is another in the order
  };
  Kind kind = Kind::None;
  // Read: the read's position in the plan and its transaction; FinalWrite: the item's last write
  // in P, its position and transaction.
  std::int64_t position = 0;
  std::int32_t t = 0;
  char item = ' ';
  // The write read in P and in the order (Read), or the last write in the order (FinalWrite):
  // position and transaction; 0 and 0 for the initial value.
  std::int64_t writeInP = 0;
  std::int32_t writerInP = 0;
  std::int64_t writeInOrder = 0;
  std::int32_t writerInOrder = 0;
};

// The transactions of P: those occurring in the written schedule S of `report`'s plan without an
// abort in S, ascending.
[[nodiscard]] std::vector<std::int32_t> TransactionsOfP(const PlanReport& report);

// How the serial order `order` (transaction numbers) of P differs from P in what its reads read
// and its items' last writes: the first read that differs, in P's order, else the first item, from
// "A". Kind::None when they are view-equivalent.
[[nodiscard]] ViewDifference CompareViews(const PlanReport& report,
                                          const std::vector<std::int32_t>& order);

}  // namespace tosim::analysis
