#include "analysis/plan_analysis.h"

#include <algorithm>
#include <bit>

// The written schedule S is analysed as it streams past, in memory that does not depend on its
// length. Conflicts, reads-from and the recoverability verdicts need only bit sets per item and
// transaction. View serializability is harder: which write a read of the projection P reads
// depends on which transactions abort, and that is known only at the end of the plan.
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

using Mask = std::uint32_t;

constexpr int kWordsPerBlock = 4;  // 256 bits
constexpr int kFreshBlocks = kTransactionCount * kItemCount * kTransactionCount;
constexpr int kInitialBlocks = kTransactionCount * kItemCount * 2;
constexpr int kImpossibleBlocks = kTransactionCount * kTransactionCount;
constexpr int kBlocks = kFreshBlocks + kInitialBlocks + kImpossibleBlocks;

// Tj read Tk's latest write of x.
int FreshBlock(int j, int x, int k) {
  return (j * kItemCount + x) * kTransactionCount + k;
}
// Tj read the initial value of x; B has up to 9 members, so two blocks.
int InitialBlock(int j, int x, unsigned b) {
  return kFreshBlocks + (j * kItemCount + x) * 2 + static_cast<int>(b >> 8);
}
// Tj read Tk's write in a way no serial order reproduces.
int ImpossibleBlock(int j, int k) {
  return kFreshBlocks + kInitialBlocks + j * kTransactionCount + k;
}

Mask Bit(int t) {
  return Mask{1} << t;
}

// The set without member `t`, the members above it moved down one place.
unsigned Without(unsigned set, int t) {
  return ((set >> (t + 1)) << t) | (set & ((1u << t) - 1u));
}
unsigned Without(unsigned set, int t, int u) {
  return t > u ? Without(Without(set, t), u) : Without(Without(set, u), t);
}

template <typename Visit>
void ForEach(Mask set, Visit visit) {
  for (; set != 0; set &= set - 1) {
    visit(std::countr_zero(set));
  }
}

bool IsScheduleOperation(const Operation& operation) {
  switch (operation.kind) {
    case OpKind::Read:
    case OpKind::Write:
      if (operation.item < 'A' || operation.item > 'Z') {
        return false;
      }
      [[fallthrough]];
    case OpKind::Begin:
    case OpKind::Validate:
    case OpKind::Abort:
      return operation.number >= kFirstTransaction && operation.number <= kLastTransaction;
    default:
      return false;
  }
}

std::vector<std::int32_t> Numbers(Mask set) {
  std::vector<std::int32_t> numbers;
  ForEach(set, [&](int t) { numbers.push_back(t + kFirstTransaction); });
  return numbers;
}

struct EndStates {
  Mask committed = 0;
  Mask aborted = 0;
  Mask begun = 0;
};

EndStates StatesOf(const SchedulerTables& tables) {
  EndStates states;
  for (int t = 0; t < kTransactionCount; ++t) {
    switch (tables.TransactionTable[t].state) {
      case TransactionState::Validated:
        states.committed |= Bit(t);
        break;
      case TransactionState::Aborted:
        states.aborted |= Bit(t);
        break;
      case TransactionState::Active:
      case TransactionState::Inactive:
        break;
    }
    if (tables.TransactionTable[t].state != TransactionState::Inactive) {
      states.begun |= Bit(t);
    }
  }
  return states;
}

}  // namespace

PlanAnalysis::PlanAnalysis()
    : facts_(static_cast<std::size_t>(kBlocks) * kWordsPerBlock),
      blockUsed_(kBlocks),
      deadEnds_(std::size_t{1} << kTransactionCount) {
  basic_.thomasWriteRule = false;
}

void PlanAnalysis::Start(std::int64_t line, std::int32_t planNumber) {
  const Operation start{OpKind::Plan, planNumber, ' '};
  Decide(tables_, start);
  Decide(basic_, start);

  report_.line = line;
  report_.plan = planNumber;
  report_.skipped_writes.clear();
  report_.executed.clear();

  occurs_ = ended_ = committed_ = aborted_ = 0;
  std::fill(std::begin(edges_), std::end(edges_), 0);
  std::fill(std::begin(readsFrom_), std::end(readsFrom_), 0);
  std::fill(std::begin(dependsOn_), std::end(dependsOn_), 0);
  recoverable_ = cascadeless_ = strict_ = true;
  ForEach(touchedItems_, [&](int x) { items_[x] = ItemState{}; });
  touchedItems_ = 0;
  for (const std::uint16_t block : usedBlocks_) {
    std::fill_n(facts_.begin() + block * kWordsPerBlock, kWordsPerBlock, 0);
    blockUsed_[block] = 0;
  }
  usedBlocks_.clear();
}

PlanAnalysis::ItemState& PlanAnalysis::Touch(int x) {
  touchedItems_ |= Bit(x);
  return items_[x];
}

void PlanAnalysis::SetFact(int block, unsigned bit) {
  if (blockUsed_[block] == 0) {
    blockUsed_[block] = 1;
    usedBlocks_.push_back(static_cast<std::uint16_t>(block));
  }
  facts_[block * kWordsPerBlock + bit / 64] |= std::uint64_t{1} << (bit % 64);
}

void PlanAnalysis::Add(const Operation& operation) {
  Decided(operation, Decide(tables_, operation));
  Decide(basic_, operation);

  if (!IsScheduleOperation(operation)) {
    return;
  }
  const int t = operation.number - kFirstTransaction;
  if ((ended_ & Bit(t)) != 0) {
    return;
  }
  occurs_ |= Bit(t);
  switch (operation.kind) {
    case OpKind::Validate:
      if ((readsFrom_[t] & ~committed_) != 0) {
        recoverable_ = false;
      }
      committed_ |= Bit(t);
      ended_ |= Bit(t);
      break;
    case OpKind::Abort:
      aborted_ |= Bit(t);
      ended_ |= Bit(t);
      break;
    case OpKind::Read:
      ReadInSchedule(t, operation.item - 'A');
      break;
    case OpKind::Write:
      WriteInSchedule(t, operation.item - 'A');
      break;
    default:
      break;
  }
}

void PlanAnalysis::Decided(const Operation& operation, Decision decision) {
  const Access access{operation.kind, operation.number, operation.item};
  const int t = operation.number - kFirstTransaction;
  switch (decision) {
    case Decision::ReadDone: {
      const int writer = Touch(operation.item - 'A').lastAccepted;
      if (writer >= 0 && writer != t) {
        dependsOn_[t] |= Bit(writer);
      }
      report_.executed.push_back(access);
      break;
    }
    case Decision::WriteDone:
      Touch(operation.item - 'A').lastAccepted = t;
      report_.executed.push_back(access);
      break;
    case Decision::WriteSkipped:
      report_.skipped_writes.push_back(access);
      break;
    default:
      break;
  }
}

void PlanAnalysis::ReadInSchedule(int j, int x) {
  ItemState& item = Touch(x);
  const Mask otherWriters = item.writers & ~Bit(j);
  ForEach(otherWriters, [&](int w) { edges_[w] |= Bit(j); });
  if ((otherWriters & ~ended_) != 0) {
    strict_ = false;
  }
  item.readers |= Bit(j);

  const bool own = (item.writers & Bit(j)) != 0;
  bool source = true;  // reads-from in S: the first ranked writer not aborted so far
  unsigned before = 0;
  for (int m = 0; m < item.writerCount; ++m) {
    const int k = item.ranking[m];
    if ((aborted_ & Bit(k)) != 0) {
      continue;  // aborted already: never the source, and in B whatever happens
    }
    if (source) {
      source = false;
      if (k != j) {
        readsFrom_[j] |= Bit(k);
        if ((committed_ & Bit(k)) == 0) {
          cascadeless_ = false;
        }
      }
    }
    if (k == j) {
      return;  // Tj's own write, when the writers ranked before it abort
    }
    const unsigned fact = Without(before, j, k);
    SetFact(own ? ImpossibleBlock(j, k) : FreshBlock(j, x, k), fact);
    if ((committed_ & Bit(k)) != 0) {
      return;  // Tk does not abort: writers ranked after it are never read here
    }
    before |= Bit(k);
  }
  SetFact(InitialBlock(j, x, Without(before, j)), Without(before, j) & 0xFFu);
}

void PlanAnalysis::WriteInSchedule(int i, int x) {
  ItemState& item = Touch(x);
  const Mask others = (item.readers | item.writers) & ~Bit(i);
  ForEach(others, [&](int o) { edges_[o] |= Bit(i); });
  if ((item.writers & ~Bit(i) & ~ended_) != 0) {
    strict_ = false;
  }

  int position = item.writerCount;
  if ((item.writers & Bit(i)) != 0) {
    // Reads of Ti's earlier write of x read a write that is not Ti's last one.
    for (int j = 0; j < kTransactionCount; ++j) {
      const int fresh = FreshBlock(j, x, i);
      if (blockUsed_[fresh] == 0) {
        continue;
      }
      const int impossible = ImpossibleBlock(j, i);
      for (int w = 0; w < kWordsPerBlock; ++w) {
        std::uint64_t& bits = facts_[fresh * kWordsPerBlock + w];
        if (bits != 0) {
          SetFact(impossible, 0);  // lists the block
          facts_[impossible * kWordsPerBlock + w] |= bits;
          bits = 0;
        }
      }
    }
    position = static_cast<int>(std::find(item.ranking, item.ranking + item.writerCount, i) -
                                item.ranking);
  } else {
    ++item.writerCount;
  }
  std::copy_backward(item.ranking, item.ranking + position, item.ranking + position + 1);
  item.ranking[0] = static_cast<std::uint8_t>(i);
  item.writers |= Bit(i);
}

const PlanReport& PlanAnalysis::Finish() {
  FinishTimestampOrdering();

  report_.transactions = Numbers(occurs_);
  const Mask inP = occurs_ & ~aborted_;
  FinishConflicts(inP);
  FinishView(aborted_, inP);
  report_.recoverable = recoverable_;
  report_.cascadeless = cascadeless_;
  report_.strict = strict_;
  return report_;
}

void PlanAnalysis::FinishTimestampOrdering() {
  const EndStates states = StatesOf(tables_);
  report_.committed = Numbers(states.committed);
  report_.aborted = Numbers(states.aborted);
  report_.timestamps.clear();
  ForEach(states.begun, [&](int t) {
    report_.timestamps.emplace_back(t + kFirstTransaction, tables_.TransactionTable[t].TStamp);
  });
  report_.to_order = Numbers(states.begun & ~states.aborted);
  std::sort(report_.to_order.begin(), report_.to_order.end(), [&](std::int32_t a, std::int32_t b) {
    return tables_.TransactionTable[a - kFirstTransaction].TStamp <
           tables_.TransactionTable[b - kFirstTransaction].TStamp;
  });
  std::erase_if(report_.executed, [&](const Access& access) {
    return (states.aborted & Bit(access.t - kFirstTransaction)) != 0;
  });

  Mask cascading = 0;
  for (bool grown = true; grown;) {
    grown = false;
    ForEach(~states.aborted & ~cascading & (Bit(kTransactionCount) - 1), [&](int t) {
      if ((dependsOn_[t] & (states.aborted | cascading)) != 0) {
        cascading |= Bit(t);
        grown = true;
      }
    });
  }
  report_.cascading = Numbers(cascading);

  const EndStates basic = StatesOf(basic_);
  report_.without_thomas_committed = Numbers(basic.committed);
  report_.without_thomas_aborted = Numbers(basic.aborted);
}

namespace {

// Depth-first search from `t` along edges in ascending order; on a back edge, `path` becomes
// the cycle it closes.
bool FindCycle(int t, const Mask* edges, Mask& onPath, Mask& done,
               std::vector<std::int32_t>& path) {
  path.push_back(t + kFirstTransaction);
  onPath |= Bit(t);
  bool found = false;
  ForEach(edges[t], [&](int u) {
    if (found) {
      return;
    }
    if ((onPath & Bit(u)) != 0) {
      path.erase(path.begin(), std::find(path.begin(), path.end(), u + kFirstTransaction));
      path.push_back(u + kFirstTransaction);
      found = true;
    } else if ((done & Bit(u)) == 0) {
      found = FindCycle(u, edges, onPath, done, path);
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

void PlanAnalysis::FinishConflicts(Mask inP) {
  Mask edges[kTransactionCount] = {};
  Mask predecessors[kTransactionCount] = {};
  report_.edges.clear();
  ForEach(inP, [&](int i) {
    edges[i] = edges_[i] & inP;
    ForEach(edges[i], [&](int j) {
      predecessors[j] |= Bit(i);
      report_.edges.emplace_back(i + kFirstTransaction, j + kFirstTransaction);
    });
  });

  // The smallest transaction whose predecessors are all placed comes next.
  report_.conflict_order.clear();
  Mask placed = 0;
  for (bool progress = true; progress;) {
    progress = false;
    ForEach(inP & ~placed, [&](int t) {
      if (!progress && (predecessors[t] & ~placed) == 0) {
        placed |= Bit(t);
        report_.conflict_order.push_back(t + kFirstTransaction);
        progress = true;
      }
    });
  }
  report_.conflict_cycle.clear();
  report_.conflict_serializable = placed == inP;
  if (!report_.conflict_serializable) {
    report_.conflict_order.clear();
    Mask onPath = 0;
    Mask done = placed;
    ForEach(inP & ~placed, [&](int t) {
      if (report_.conflict_cycle.empty() && (done & Bit(t)) == 0) {
        FindCycle(t, edges, onPath, done, report_.conflict_cycle);
      }
    });
  }
}

// A serial order of P is view-equivalent to P when, for the transactions it places one after
// the other, each is placed after those it must follow: the writer each of its reads reads from
// (with no other writer of the item in between), the readers of the initial value of an item it
// writes, and, for an item's final writer, every other writer of the item. Each test depends only
// on the set already placed, so a set from which no order can be completed is remembered.
void PlanAnalysis::FinishView(Mask aborted, Mask inP) {
  std::fill(std::begin(needBefore_), std::end(needBefore_), 0);
  for (Mask(&row)[kTransactionCount] : needIfBefore_) {
    std::fill(std::begin(row), std::end(row), 0);
  }

  bool possible = true;
  for (const std::uint16_t block : usedBlocks_) {
    const std::uint64_t* bits = &facts_[block * kWordsPerBlock];
    int j = 0;
    int k = -1;  // the initial value
    int x = 0;
    unsigned offset = 0;
    if (block < kFreshBlocks) {
      j = block / (kItemCount * kTransactionCount);
      x = block / kTransactionCount % kItemCount;
      k = block % kTransactionCount;
    } else if (block < kFreshBlocks + kInitialBlocks) {
      const int index = block - kFreshBlocks;
      j = index / (kItemCount * 2);
      x = index / 2 % kItemCount;
      offset = static_cast<unsigned>(index % 2) << 8;
    } else {
      const int index = block - kFreshBlocks - kInitialBlocks;
      j = index / kTransactionCount;
      k = index % kTransactionCount;
    }
    if ((aborted & Bit(j)) != 0 || (k >= 0 && (aborted & Bit(k)) != 0)) {
      continue;
    }
    const unsigned abortedOthers = k >= 0 ? Without(aborted, j, k) : Without(aborted, j);
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
      possible = false;
      break;
    }
    const Mask writers = items_[x].writers & ~aborted & ~Bit(j);
    if (k < 0) {
      ForEach(writers, [&](int w) { needBefore_[w] |= Bit(j); });
    } else {
      needBefore_[j] |= Bit(k);
      ForEach(writers & ~Bit(k), [&](int w) { needIfBefore_[w][k] |= Bit(j); });
    }
  }
  ForEach(touchedItems_, [&](int x) {
    const ItemState& item = items_[x];
    const Mask writers = item.writers & ~aborted;
    if (writers != 0) {
      for (int m = 0; m < item.writerCount; ++m) {
        if ((writers & Bit(item.ranking[m])) != 0) {
          needBefore_[item.ranking[m]] |= writers & ~Bit(item.ranking[m]);
          break;
        }
      }
    }
  });

  report_.view_order.clear();
  report_.view_serializable = possible && PlaceNext(0, inP);
  if (!report_.view_serializable) {
    report_.view_order.clear();
  }
}

bool PlanAnalysis::PlaceNext(Mask placed, Mask inP) {
  if (placed == 0 && ++search_ == 0) {
    std::fill(deadEnds_.begin(), deadEnds_.end(), 0);
    search_ = 1;
  }
  if (placed == inP) {
    return true;
  }
  bool complete = false;
  ForEach(inP & ~placed, [&](int t) {
    if (complete || (needBefore_[t] & ~placed) != 0) {
      return;
    }
    bool fits = true;
    ForEach(placed, [&](int k) { fits = fits && (needIfBefore_[t][k] & ~placed) == 0; });
    const Mask next = placed | Bit(t);
    if (!fits || deadEnds_[next] == search_) {
      return;
    }
    report_.view_order.push_back(t + kFirstTransaction);
    complete = PlaceNext(next, inP);
    if (!complete) {
      report_.view_order.pop_back();
      deadEnds_[next] = search_;
    }
  });
  return complete;
}

}  // namespace tosim::analysis
