// The timestamp scheduler: basic timestamp ordering with the Thomas write rule. Each call
// decides one operation of the current plan and completes its trace line.
#pragma once

#include <cstdint>

namespace tosim {

enum class TransactionState : std::uint8_t { Inactive, Active, Validated, Aborted };

struct TransactionEntry {
  TransactionState state = TransactionState::Inactive;
  std::int32_t TStamp = -1;
};

struct ItemEntry {
  std::int32_t TS_lect = 0;  // the youngest timestamp that has read the item
  std::int32_t TS_escr = 0;  // the timestamp of the last accepted write
};

inline constexpr std::int32_t kFirstTransaction = 1;
inline constexpr std::int32_t kLastTransaction = 10;

// Sets the run-wide timestamp counter to 0; the run driver does this once, before the first
// line. Plan starts do not reset it.
void ResetTimestampCounter();
// Increments the counter and returns the new value; the first timestamp of a run is 1.
std::int32_t NextTimestamp();

// Resets every transaction to Inactive and every item's timestamps to 0.
void StartPlan(std::int32_t planNumber);
void BeginTransaction(std::int32_t t);
void AbortTransaction(std::int32_t t);
void ValidateTransaction(std::int32_t t);
void ReadItem(std::int32_t t, char x);
void WriteItem(std::int32_t t, char x);

// The tables as they stand, for tests: nullptr outside 1..10 and "A".."Z".
const TransactionEntry* FindTransaction(std::int32_t t);
const ItemEntry* FindItem(char x);

}  // namespace tosim
