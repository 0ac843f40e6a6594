// The smallest serial order of a set of transactions under a precedence relation, or a cycle
// that prevents it: the conflict order of the analysis and every protocol's serial order.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "schedule/transaction_set.h"
#include "tosim/operation.h"

namespace tosim {

// Edges between transactions: t -> u when t must come before u.
class TransactionGraph {
 public:
  void Add(std::int32_t t, std::int32_t u) { successors_[t - kFirstTransaction].Insert(u); }
  // t -> u for every t of `from`.
  void Add(TransactionSet from, std::int32_t u) {
    from.ForEach([&](std::int32_t t) { Add(t, u); });
  }
  [[nodiscard]] TransactionSet Successors(std::int32_t t) const {
    return successors_[t - kFirstTransaction];
  }
  void Clear() { successors_ = {}; }

 private:
  std::array<TransactionSet, kTransactionCount> successors_ = {};
};

// When the graph restricted to `nodes` has no cycle, fills `order` with its smallest topological
// order (the smallest transaction whose predecessors are all placed comes next) and returns true;
// otherwise leaves `order` empty and returns false.
[[nodiscard]] bool SmallestOrder(const TransactionGraph& graph, TransactionSet nodes,
                                 std::vector<std::int32_t>& order);

// SmallestOrder(), which leaves `cycle` empty; when there is no order, fills `cycle` with the
// cycle that a depth-first search finds first, starting from the smallest transaction the
// topological sort left over and following edges in ascending order. The cycle starts and ends
// with the transaction the search reached twice.
[[nodiscard]] bool SmallestOrderOrCycle(const TransactionGraph& graph, TransactionSet nodes,
                                        std::vector<std::int32_t>& order,
                                        std::vector<std::int32_t>& cycle);

}  // namespace tosim
