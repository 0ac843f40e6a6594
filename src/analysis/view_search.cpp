#include "analysis/view_search.h"

#include <algorithm>
#include <bit>

// Which write a read of the projection P reads depends on which transactions abort, and that is
// known only at the end of the schedule S.
//
// Each item keeps its writers ranked by their latest write in S. When Tj reads the item, the read
// in P reads from the first ranked writer that does not abort, or the initial value when all of
// them abort. So for every ranked writer Tk the read records a fact "when every writer ranked
// before Tk (the set B) aborts and Tk does not, Tj read Tk's latest write of the item" as one bit
// in a block for (j, item, k) indexed by B, and the initial value gets a block for (j, item)
// indexed by the whole ranking. Transactions known to abort are left out of B; a writer known to
// have committed ends the list. At the end, with the aborted set known, a fact holds when B is
// inside it and neither Tj nor Tk is in it.
//
// Two kinds of read no serial order can reproduce go to a block of impossible facts for (j, k):
// a read after Tj's own write of the item that reads Tk's later write, and a read of a write
// that Tk overwrites afterwards (its facts move there when Tk writes the item again). Blocks are
// touched on demand and listed, so a plan costs what it touches, whatever its length.

namespace tosim::analysis {

namespace {

constexpr int kWordsPerBlock = 4;  // 256 bits
constexpr int kFreshBlocks = kTransactionCount * kItemCount * kTransactionCount;
constexpr int kInitialBlocks = kTransactionCount * kItemCount * 2;
constexpr int kImpossibleBlocks = kTransactionCount * kTransactionCount;
constexpr int kBlocks = kFreshBlocks + kInitialBlocks + kImpossibleBlocks;

// Transaction t's place in the blocks' tables.
int Index(int t) {
  return t - kFirstTransaction;
}

// Tj read Tk's latest write of x.
int FreshBlock(int j, int x, int k) {
  return (Index(j) * kItemCount + x) * kTransactionCount + Index(k);
}
// Tj read the initial value of x; B has up to 9 members, so two blocks.
int InitialBlock(int j, int x, unsigned b) {
  return kFreshBlocks + (Index(j) * kItemCount + x) * 2 + static_cast<int>(b >> 8);
}
// Tj read Tk's write in a way no serial order reproduces.
int ImpossibleBlock(int j, int k) {
  return kFreshBlocks + kInitialBlocks + Index(j) * kTransactionCount + Index(k);
}

// The bits of a set of transactions without member `t`, the members above it moved down one
// place.
unsigned Without(unsigned set, int t) {
  const int bit = Index(t);
  return ((set >> (bit + 1)) << bit) | (set & ((1u << bit) - 1u));
}
unsigned Without(unsigned set, int t, int u) {
  return t > u ? Without(Without(set, t), u) : Without(Without(set, u), t);
}

}  // namespace

ViewSearch::ViewSearch()
    : facts_(static_cast<std::size_t>(kBlocks) * kWordsPerBlock),
      blockUsed_(kBlocks),
      deadEnds_(std::size_t{1} << kTransactionCount) {}

void ViewSearch::Reset() {
  ForEachBit(rankedItems_, [&](int x) { rankings_[x] = Ranking{}; });
  rankedItems_ = 0;
  for (const std::uint16_t block : usedBlocks_) {
    std::fill_n(facts_.begin() + block * kWordsPerBlock, kWordsPerBlock, 0);
    blockUsed_[block] = 0;
  }
  usedBlocks_.clear();
}

std::uint64_t* ViewSearch::Block(int block) {
  if (blockUsed_[block] == 0) {
    blockUsed_[block] = 1;
    usedBlocks_.push_back(static_cast<std::uint16_t>(block));
  }
  return &facts_[block * kWordsPerBlock];
}

void ViewSearch::SetFact(int block, unsigned bit) {
  Block(block)[bit / 64] |= std::uint64_t{1} << (bit % 64);
}

int ViewSearch::LatestWriter(int x, TransactionSet skip) const {
  const Ranking& ranking = rankings_[x];
  for (int m = 0; m < ranking.count; ++m) {
    if (!skip.Contains(ranking.writers[m])) {
      return ranking.writers[m];
    }
  }
  return 0;
}

void ViewSearch::Read(int j, int x, TransactionSet aborted, TransactionSet committed) {
  const Ranking& ranking = rankings_[x];
  const bool own = ranking.members.Contains(j);
  TransactionSet before;
  for (int m = 0; m < ranking.count; ++m) {
    const int k = ranking.writers[m];
    if (aborted.Contains(k)) {
      continue;  // aborted already: never the source, and left out of B as it aborts anyway
    }
    if (k == j) {
      return;  // Tj's own write, when the writers ranked before it abort
    }
    const unsigned fact = Without(before.bits(), j, k);
    SetFact(own ? ImpossibleBlock(j, k) : FreshBlock(j, x, k), fact);
    if (committed.Contains(k)) {
      return;  // Tk does not abort: writers ranked after it are never read here
    }
    before.Insert(k);
  }
  const unsigned b = Without(before.bits(), j);
  SetFact(InitialBlock(j, x, b), b & 0xFFu);
}

void ViewSearch::Write(int i, int x) {
  Ranking& ranking = rankings_[x];
  rankedItems_ |= 1u << x;
  int position = ranking.count;
  if (ranking.members.Contains(i)) {
    // Reads of Ti's earlier write of x read a write that is not Ti's last one.
    for (int j = kFirstTransaction; j <= kLastTransaction; ++j) {
      const int fresh = FreshBlock(j, x, i);
      if (blockUsed_[fresh] == 0) {
        continue;
      }
      std::uint64_t* impossible = Block(ImpossibleBlock(j, i));
      for (int w = 0; w < kWordsPerBlock; ++w) {
        impossible[w] |= facts_[fresh * kWordsPerBlock + w];
        facts_[fresh * kWordsPerBlock + w] = 0;
      }
    }
    position = static_cast<int>(std::find(ranking.writers, ranking.writers + ranking.count, i) -
                                ranking.writers);
  } else {
    ++ranking.count;
  }
  std::copy_backward(ranking.writers, ranking.writers + position, ranking.writers + position + 1);
  ranking.writers[0] = static_cast<std::uint8_t>(i);
  ranking.members.Insert(i);
}

// A serial order of P is view-equivalent to P when, for the transactions it places one after
// the other, each is placed after those it must follow: the writer each of its reads reads from
// (with no other writer of the item in between), the readers of the initial value of an item it
// writes, and, for an item's final writer, every other writer of the item. Each test depends only
// on the set already placed, so a set from which no order can be completed is remembered.
bool ViewSearch::Find(TransactionSet aborted, TransactionSet inP,
                      std::vector<std::int32_t>& order) {
  order.clear();
  if (!Collect(aborted) || !PlaceNext({}, inP, order)) {
    order.clear();
    return false;
  }
  return true;
}

// Turns the facts that hold for `aborted` into the constraints of the search; false when one of
// them is an impossible read.
bool ViewSearch::Collect(TransactionSet aborted) {
  std::fill(std::begin(needBefore_), std::end(needBefore_), TransactionSet{});
  for (TransactionSet(&row)[kTransactionCount] : needIfBefore_) {
    std::fill(std::begin(row), std::end(row), TransactionSet{});
  }

  for (const std::uint16_t block : usedBlocks_) {
    const std::uint64_t* bits = &facts_[block * kWordsPerBlock];
    int j = 0;
    int k = 0;  // the initial value
    int x = 0;
    unsigned offset = 0;
    if (block < kFreshBlocks) {
      j = block / (kItemCount * kTransactionCount) + kFirstTransaction;
      x = block / kTransactionCount % kItemCount;
      k = block % kTransactionCount + kFirstTransaction;
    } else if (block < kFreshBlocks + kInitialBlocks) {
      const int index = block - kFreshBlocks;
      j = index / (kItemCount * 2) + kFirstTransaction;
      x = index / 2 % kItemCount;
      offset = static_cast<unsigned>(index % 2) << 8;
    } else {
      const int index = block - kFreshBlocks - kInitialBlocks;
      j = index / kTransactionCount + kFirstTransaction;
      k = index % kTransactionCount + kFirstTransaction;
    }
    if (aborted.Contains(j) || (k != 0 && aborted.Contains(k))) {
      continue;
    }
    const unsigned abortedOthers =
        k != 0 ? Without(aborted.bits(), j, k) : Without(aborted.bits(), j);
    bool holds = false;
    for (int w = 0; w < kWordsPerBlock && !holds; ++w) {
      for (std::uint64_t set = bits[w]; set != 0 && !holds; set &= set - 1) {
        const unsigned b = offset + static_cast<unsigned>(w * 64 + std::countr_zero(set));
        holds = (b & ~abortedOthers) == 0;
      }
    }
    if (!holds) {
      continue;
    }
    if (block >= kFreshBlocks + kInitialBlocks) {
      return false;
    }
    const TransactionSet writers = rankings_[x].members - aborted - TransactionSet{j};
    if (k == 0) {
      writers.ForEach([&](int w) { needBefore_[Index(w)].Insert(j); });
    } else {
      needBefore_[Index(j)].Insert(k);
      (writers - TransactionSet{k}).ForEach([&](int w) {
        needIfBefore_[Index(w)][Index(k)].Insert(j);
      });
    }
  }
  ForEachBit(rankedItems_, [&](int x) {
    const Ranking& ranking = rankings_[x];
    const TransactionSet writers = ranking.members - aborted;
    for (int m = 0; m < ranking.count; ++m) {
      const int last = ranking.writers[m];
      if (writers.Contains(last)) {
        needBefore_[Index(last)] |= writers - TransactionSet{last};
        break;
      }
    }
  });
  return true;
}

bool ViewSearch::PlaceNext(TransactionSet placed, TransactionSet inP,
                           std::vector<std::int32_t>& order) {
  if (placed.Empty() && ++search_ == 0) {
    std::fill(deadEnds_.begin(), deadEnds_.end(), 0);
    search_ = 1;
  }
  if (placed == inP) {
    return true;
  }
  bool complete = false;
  (inP - placed).ForEach([&](int t) {
    if (complete || !(needBefore_[Index(t)] - placed).Empty()) {
      return;
    }
    bool fits = true;
    placed.ForEach(
        [&](int k) { fits = fits && (needIfBefore_[Index(t)][Index(k)] - placed).Empty(); });
    const TransactionSet next = placed | TransactionSet{t};
    if (!fits || deadEnds_[next.bits()] == search_) {
      return;
    }
    order.push_back(t);
    complete = PlaceNext(next, inP, order);
    if (!complete) {
      order.pop_back();
      deadEnds_[next.bits()] = search_;
    }
  });
  return complete;
}

}  // namespace tosim::analysis
