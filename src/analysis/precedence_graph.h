// The serial order or the cycle of a precedence graph.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "analysis/transaction_set.h"

namespace tosim::analysis {

// A precedence graph: bit j of successors[i] for each edge Ti -> Tj (indices from 0).
using Successors = std::array<Mask, kTransactionCount>;

// When the graph restricted to `nodes` has no cycle, fills `order` with its smallest topological
// order (the smallest transaction whose predecessors are all placed comes next), leaves `cycle`
// empty and returns true. Otherwise leaves `order` empty, fills `cycle` with the cycle that a
// depth-first search finds first, starting from the smallest transaction the topological sort
// left over and following edges in ascending order, and returns false; the cycle starts and ends
// with the transaction the search reached twice. Both lists hold transaction numbers.
[[nodiscard]] bool OrderOrCycle(const Successors& successors, Mask nodes,
                                std::vector<std::int32_t>& order, std::vector<std::int32_t>& cycle);

}  // namespace tosim::analysis
