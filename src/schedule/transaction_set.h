// Sets of transactions, as the analysis, the protocol lab and the report all hold them: bit t - 1
// stands for transaction t, so the ten transactions fit in the low ten bits of two bytes.
#pragma once

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "tosim/operation.h"

namespace tosim {

// Calls `visit(i)` for every set bit i of `bits`, ascending: the loop under
// TransactionSet::ForEach, and the one for sets of items (bit x for item "A" + x).
template <typename Visit>
constexpr void ForEachBit(std::uint32_t bits, Visit&& visit) {
  for (; bits != 0; bits &= bits - 1) {
    visit(std::countr_zero(bits));
  }
}

// Every transaction number taken or given is 1..10.
class TransactionSet {
 public:
  using Bits = std::uint16_t;

  constexpr TransactionSet() = default;
  constexpr TransactionSet(std::initializer_list<std::int32_t> numbers) {
    for (const std::int32_t t : numbers) {
      Insert(t);
    }
  }
  static constexpr TransactionSet FromBits(Bits bits) {
    TransactionSet set;
    set.bits_ = bits;
    return set;
  }
  // Transactions 1 to 10.
  static constexpr TransactionSet All() { return FromBits((1u << kTransactionCount) - 1u); }

  // The raw bits, for the loops that index tables by a set.
  [[nodiscard]] constexpr Bits bits() const { return bits_; }
  [[nodiscard]] constexpr bool Empty() const { return bits_ == 0; }
  [[nodiscard]] constexpr bool Contains(std::int32_t t) const { return (bits_ & BitOf(t)) != 0; }
  constexpr void Insert(std::int32_t t) { bits_ |= BitOf(t); }
  constexpr void Erase(std::int32_t t) { bits_ &= static_cast<Bits>(~BitOf(t)); }

  constexpr TransactionSet& operator|=(TransactionSet other) {
    bits_ |= other.bits_;
    return *this;
  }
  constexpr TransactionSet& operator&=(TransactionSet other) {
    bits_ &= other.bits_;
    return *this;
  }
  // Removes the members of `other`.
  constexpr TransactionSet& operator-=(TransactionSet other) {
    bits_ &= static_cast<Bits>(~other.bits_);
    return *this;
  }
  friend constexpr TransactionSet operator|(TransactionSet a, TransactionSet b) { return a |= b; }
  friend constexpr TransactionSet operator&(TransactionSet a, TransactionSet b) { return a &= b; }
  friend constexpr TransactionSet operator-(TransactionSet a, TransactionSet b) { return a -= b; }
  friend constexpr bool operator==(TransactionSet, TransactionSet) = default;

  // Calls `visit(t)` for every member t, ascending.
  template <typename Visit>
  constexpr void ForEach(Visit&& visit) const {
    ForEachBit(bits_, [&](int bit) { visit(bit + kFirstTransaction); });
  }
  // Fills `numbers` with the members, ascending (keeping its capacity).
  void Numbers(std::vector<std::int32_t>& numbers) const {
    numbers.clear();
    ForEach([&](std::int32_t t) { numbers.push_back(t); });
  }

 private:
  static constexpr Bits BitOf(std::int32_t t) {
    return static_cast<Bits>(1u << (t - kFirstTransaction));
  }

  Bits bits_ = 0;
};

}  // namespace tosim
