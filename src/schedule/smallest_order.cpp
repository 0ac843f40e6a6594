#include "schedule/smallest_order.h"

#include <algorithm>

namespace tosim {

namespace {

// The topological sort: `order` as SmallestOrder() fills it when there is one, and the set of the
// transactions it placed.
TransactionSet Sort(const TransactionGraph& graph, TransactionSet nodes,
                    std::vector<std::int32_t>& order) {
  TransactionSet predecessors[kTransactionCount] = {};
  nodes.ForEach([&](std::int32_t t) {
    (graph.Successors(t) & nodes).ForEach([&](std::int32_t u) {
      predecessors[u - kFirstTransaction].Insert(t);
    });
  });
  order.clear();
  TransactionSet placed;
  for (bool progress = true; progress;) {
    progress = false;
    (nodes - placed).ForEach([&](std::int32_t t) {
      if (!progress && (predecessors[t - kFirstTransaction] - placed).Empty()) {
        placed.Insert(t);
        order.push_back(t);
        progress = true;
      }
    });
  }
  if (placed != nodes) {
    order.clear();
  }
  return placed;
}

// Depth-first search from `t` along the edges inside `nodes`, in ascending order; on an edge back
// to the path, `path` becomes the cycle it closes.
bool FindCycle(std::int32_t t, const TransactionGraph& graph, TransactionSet nodes,
               TransactionSet& onPath, TransactionSet& done, std::vector<std::int32_t>& path) {
  path.push_back(t);
  onPath.Insert(t);
  bool found = false;
  (graph.Successors(t) & nodes).ForEach([&](std::int32_t u) {
    if (found) {
      return;
    }
    if (onPath.Contains(u)) {
      path.erase(path.begin(), std::find(path.begin(), path.end(), u));
      path.push_back(u);
      found = true;
    } else if (!done.Contains(u)) {
      found = FindCycle(u, graph, nodes, onPath, done, path);
    }
  });
  if (!found) {
    onPath.Erase(t);
    done.Insert(t);
    path.pop_back();
  }
  return found;
}

}  // namespace

bool SmallestOrder(const TransactionGraph& graph, TransactionSet nodes,
                   std::vector<std::int32_t>& order) {
  return Sort(graph, nodes, order) == nodes;
}

bool SmallestOrderOrCycle(const TransactionGraph& graph, TransactionSet nodes,
                          std::vector<std::int32_t>& order, std::vector<std::int32_t>& cycle) {
  cycle.clear();
  const TransactionSet placed = Sort(graph, nodes, order);
  if (placed == nodes) {
    return true;
  }
  TransactionSet onPath;
  TransactionSet done = placed;
  (nodes - placed).ForEach([&](std::int32_t t) {
    if (cycle.empty() && !done.Contains(t)) {
      FindCycle(t, graph, nodes, onPath, done, cycle);
    }
  });
  return false;
}

}  // namespace tosim
