#include "analysis/precedence_graph.h"

#include <algorithm>

namespace tosim::analysis {

namespace {

// Depth-first search from `t` along edges in ascending order; on a back edge, `path` becomes
// the cycle it closes.
bool FindCycle(int t, const Successors& successors, Mask& onPath, Mask& done,
               std::vector<std::int32_t>& path) {
  path.push_back(t + kFirstTransaction);
  onPath |= Bit(t);
  bool found = false;
  ForEach(successors[t], [&](int u) {
    if (found) {
      return;
    }
    if ((onPath & Bit(u)) != 0) {
      path.erase(path.begin(), std::find(path.begin(), path.end(), u + kFirstTransaction));
      path.push_back(u + kFirstTransaction);
      found = true;
    } else if ((done & Bit(u)) == 0) {
      found = FindCycle(u, successors, onPath, done, path);
    }
  });
  if (!found) {
    onPath &= ~Bit(t);
    done |= Bit(t);
    path.pop_back();
  }
  return found;
}

}  // namespace

bool OrderOrCycle(const Successors& successors, Mask nodes, std::vector<std::int32_t>& order,
                  std::vector<std::int32_t>& cycle) {
  Successors edges = {};
  Mask predecessors[kTransactionCount] = {};
  ForEach(nodes, [&](int i) {
    edges[i] = successors[i] & nodes;
    ForEach(edges[i], [&](int j) { predecessors[j] |= Bit(i); });
  });

  order.clear();
  cycle.clear();
  Mask placed = 0;
  for (bool progress = true; progress;) {
    progress = false;
    ForEach(nodes & ~placed, [&](int t) {
      if (!progress && (predecessors[t] & ~placed) == 0) {
        placed |= Bit(t);
        order.push_back(t + kFirstTransaction);
        progress = true;
      }
    });
  }
  if (placed == nodes) {
    return true;
  }
  order.clear();
  Mask onPath = 0;
  Mask done = placed;
  ForEach(nodes & ~placed, [&](int t) {
    if (cycle.empty() && (done & Bit(t)) == 0) {
      FindCycle(t, edges, onPath, done, cycle);
    }
  });
  return false;
}

}  // namespace tosim::analysis
