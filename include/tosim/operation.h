// The operation of a plan, as the plan reader delivers it and the run driver executes it.
#pragma once

#include <cstdint>

namespace tosim {

// The tables' bounds, for every layer: transactions 1 to 10, items "A" to "Z".
inline constexpr std::int32_t kFirstTransaction = 1;
inline constexpr std::int32_t kLastTransaction = 10;
inline constexpr int kTransactionCount = kLastTransaction - kFirstTransaction + 1;
inline constexpr int kItemCount = 'Z' - 'A' + 1;

enum class OpKind : std::uint8_t {
  Validate,   // "C": commit
  Abort,      // "A"
  Read,       // "R"
  Write,      // "W"
  Begin,      // "T": start of a transaction
  Plan,       // "P": start of a plan
  EndOfPlan,  // the end of the line
  Illegal,    // anything else
};

// One record is reused for the whole run. `number` is the transaction number, or the plan number
// for a plan start; `item` is the data item letter, or a space when no item was read.
struct Operation {
  OpKind kind = OpKind::EndOfPlan;
  std::int32_t number = 0;
  char item = ' ';
};

}  // namespace tosim
