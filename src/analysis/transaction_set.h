// Sets of transactions as bit masks, the analysis's working currency: bit t stands for
// transaction t + kFirstTransaction, so the ten transactions fit in the low ten bits.
#pragma once

#include <bit>
#include <cstdint>
#include <vector>

#include "scheduler/scheduler.h"

namespace tosim::analysis {

using Mask = std::uint32_t;

constexpr Mask Bit(int t) {
  return Mask{1} << t;
}

// Calls `visit(t)` for every member of `set`, ascending.
template <typename Visit>
void ForEach(Mask set, Visit visit) {
  for (; set != 0; set &= set - 1) {
    visit(std::countr_zero(set));
  }
}

// Fills `numbers` with the transaction numbers of `set`, ascending (keeping its capacity).
inline void Numbers(Mask set, std::vector<std::int32_t>& numbers) {
  numbers.clear();
  ForEach(set, [&](int t) { numbers.push_back(t + kFirstTransaction); });
}

}  // namespace tosim::analysis
