// View serializability of the projection P of a written schedule S (the reads and writes of the
// transactions without an abort in S), decided as S streams past, in memory that does not depend
// on the length of S.
#pragma once

#include <cstdint>
#include <vector>

#include "schedule/transaction_set.h"
#include "tosim/operation.h"

namespace tosim::analysis {

class ViewSearch {
 public:
  ViewSearch();
  // Forgets the schedule, for the next one.
  void Reset();
  // The transaction of the latest write of item `x` (0 for "A") in S so far, among the
  // transactions not in `skip`; 0 when there is none.
  [[nodiscard]] int LatestWriter(int x, TransactionSet skip) const;
  // Tj reads item x. `aborted` and `committed`: the transactions whose abort or commit S has
  // shown so far.
  void Read(int j, int x, TransactionSet aborted, TransactionSet committed);
  // Ti writes item x.
  void Write(int i, int x);
  // At the end of S, with `aborted` the transactions aborted in S and `inP` those of P: when a
  // serial order of P is view-equivalent to P, fills `order` with the smallest such order and
  // returns true; otherwise leaves `order` empty and returns false.
  [[nodiscard]] bool Find(TransactionSet aborted, TransactionSet inP,
                          std::vector<std::int32_t>& order);

 private:
  // The writers of one item in S, latest write first.
  struct Ranking {
    std::uint8_t writers[kTransactionCount] = {};
    std::uint8_t count = 0;
    TransactionSet members;
  };

  std::uint64_t* Block(int block);  // lists the block as used
  void SetFact(int block, unsigned bit);
  bool Collect(TransactionSet aborted);
  bool PlaceNext(TransactionSet placed, TransactionSet inP, std::vector<std::int32_t>& order);

  Ranking rankings_[kItemCount];
  std::uint32_t rankedItems_ = 0;  // the items written so far

  // Facts about the reads of S, each a bit in a block of 256: "if the transactions of a set B
  // abort and two others do not, this read reads from that write". See view_search.cpp.
  std::vector<std::uint64_t> facts_;
  std::vector<std::uint8_t> blockUsed_;
  std::vector<std::uint16_t> usedBlocks_;

  // The serial-order search at the end of S, by transaction number - 1.
  TransactionSet needBefore_[kTransactionCount] = {};
  TransactionSet needIfBefore_[kTransactionCount][kTransactionCount] = {};
  std::vector<std::uint32_t> deadEnds_;  // sets of placed transactions that lead nowhere
  std::uint32_t search_ = 0;             // the current search's mark in deadEnds_
};

}  // namespace tosim::analysis
