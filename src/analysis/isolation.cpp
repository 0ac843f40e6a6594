#include "analysis/isolation.h"

#include <algorithm>
#include <bit>
#include <limits>

// Phenomena are matched as S streams past, each at the operation that would complete it. A
// pattern's reads and writes need only each transaction's first read and latest write of each
// item so far: an earlier read or a later write leaves the pattern more room. The witness of a
// phenomenon is the occurrence that S completes first; of those completed by the same operation,
// the one with the smallest Ti, then Tj, x and y (A5B reads the same with its roles swapped, so
// its Ti is the smaller of the two).
//
// The dependency graph needs the committing transactions, known at the end only: meanwhile S
// keeps, per reader and item, the transactions whose versions it read, and per writer and item
// its latest write, whose order among the writers is the version order. The witness of G1a and
// G1b is the earliest such read in S; that of a cycle is the shortest cycle of its kind, written
// from its smallest first edge (for G-single and G2-item, an rw edge) and then the smallest edge
// at every step, in the order of `dsg`. Cycles are found on distances in the graph of at most
// ten transactions, never by trying paths.

namespace tosim::analysis {

namespace {

constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

std::uint32_t ItemBit(int x) {
  return std::uint32_t{1} << x;
}

// Tables are indexed by transaction number - 1.
int Of(std::int32_t t) {
  return t - kFirstTransaction;
}

// The smallest transaction of a set that is not empty.
std::int32_t Smallest(TransactionSet set) {
  return std::countr_zero(set.bits()) + kFirstTransaction;
}

// Sets of kinds of edges, a bit per DependencyKind.
constexpr unsigned kWw = 1u << static_cast<unsigned>(DependencyKind::Ww);
constexpr unsigned kWr = 1u << static_cast<unsigned>(DependencyKind::Wr);
constexpr unsigned kRw = 1u << static_cast<unsigned>(DependencyKind::Rw);

// The dependency graph, its edges as sets of items per kind.
class Graph {
 public:
  static constexpr int kFar = kTransactionCount + 1;  // no path
  // The length of a shortest path over edges of some kinds, [from - 1][to - 1].
  using Distances = std::array<std::array<int, kTransactionCount>, kTransactionCount>;

  // Only the rows of the nodes are cleared: a plan costs what it touches.
  explicit Graph(TransactionSet nodes) : nodes_(nodes) {
    nodes.ForEach([&](std::int32_t from) {
      nodes.ForEach([&](std::int32_t to) {
        std::fill(std::begin(items_[Of(from)][Of(to)]), std::end(items_[Of(from)][Of(to)]), 0u);
      });
    });
  }

  void Add(std::int32_t from, DependencyKind kind, int x, std::int32_t to) {
    const auto k = static_cast<std::size_t>(kind);
    items_[Of(from)][Of(to)][k] |= ItemBit(x);
    successors_[k][Of(from)].Insert(to);
  }

  // Every edge, in the order of `dsg`.
  void Edges(std::vector<DependencyEdge>& edges) const {
    nodes_.ForEach([&](std::int32_t from) {
      Successors(from, kWw | kWr | kRw).ForEach([&](std::int32_t to) {
        const auto& kinds = items_[Of(from)][Of(to)];
        ForEachBit(kinds[0] | kinds[1] | kinds[2], [&](int x) {
          for (std::size_t k = 0; k < 3; ++k) {
            if ((kinds[k] & ItemBit(x)) != 0) {
              edges.push_back(Edge(from, static_cast<DependencyKind>(k), x, to));
            }
          }
        });
      });
    });
  }

  // Whether the graph has a cycle at all: nodes without predecessors are taken away while there
  // are any.
  bool Cyclic() const {
    TransactionSet left = nodes_;
    for (bool progress = true; progress && !left.Empty();) {
      TransactionSet targets;
      left.ForEach([&](std::int32_t from) { targets |= Successors(from, kWw | kWr | kRw); });
      progress = !(left - targets).Empty();
      left &= targets;
    }
    return !left.Empty();
  }

  // Breadth-first from every node, over edges of the kinds `kinds`.
  Distances DistancesOver(unsigned kinds) const {
    Distances distance;
    nodes_.ForEach([&](std::int32_t s) {
      auto& from = distance[Of(s)];
      from.fill(kFar);
      from[Of(s)] = 0;
      TransactionSet seen{s};
      TransactionSet frontier = seen;
      for (int d = 1; !frontier.Empty(); ++d) {
        TransactionSet next;
        frontier.ForEach([&](std::int32_t u) { next |= Successors(u, kinds); });
        frontier = next - seen;
        seen |= frontier;
        frontier.ForEach([&](std::int32_t t) { from[Of(t)] = d; });
      }
    });
    return distance;
  }

  // The shortest cycle whose first edge is of the kinds `first` and whose other edges are of the
  // kinds `rest`, `distance` being DistancesOver(rest), as the file's head says; false when there
  // is none.
  bool ShortestCycle(unsigned first, unsigned rest, const Distances& distance,
                     std::vector<DependencyEdge>& cycle) const {
    const auto far = [&](std::int32_t from, std::int32_t to) { return distance[Of(from)][Of(to)]; };
    int length = kFar;
    std::int32_t a = 0;
    std::int32_t b = 0;
    nodes_.ForEach([&](std::int32_t from) {
      Successors(from, first).ForEach([&](std::int32_t to) {
        if (far(to, from) + 1 < length) {
          length = far(to, from) + 1;
          a = from;
          b = to;
        }
      });
    });
    if (length >= kFar) {
      return false;
    }
    cycle.clear();
    cycle.push_back(SmallestEdge(a, b, first));
    for (std::int32_t at = b; at != a;) {
      std::int32_t next = 0;
      TransactionSet steps = Successors(at, rest);
      do {
        next = Smallest(steps);
        steps.Erase(next);
      } while (far(next, a) != far(at, a) - 1);
      cycle.push_back(SmallestEdge(at, next, rest));
      at = next;
    }
    return true;
  }

 private:
  static DependencyEdge Edge(std::int32_t from, DependencyKind kind, int x, std::int32_t to) {
    return DependencyEdge{from, kind, static_cast<char>('A' + x), to};
  }

  TransactionSet Successors(std::int32_t from, unsigned kinds) const {
    TransactionSet successors;
    for (std::size_t k = 0; k < 3; ++k) {
      if ((kinds & (1u << k)) != 0) {
        successors |= successors_[k][Of(from)];
      }
    }
    return successors;
  }

  // The smallest edge from -> to of the kinds: the smallest item, then kind.
  DependencyEdge SmallestEdge(std::int32_t from, std::int32_t to, unsigned kinds) const {
    const auto& items = items_[Of(from)][Of(to)];
    std::uint32_t all = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      if ((kinds & (1u << k)) != 0) {
        all |= items[k];
      }
    }
    const int x = std::countr_zero(all);
    std::size_t k = 0;
    while ((kinds & (1u << k)) == 0 || (items[k] & ItemBit(x)) == 0) {
      ++k;
    }
    return Edge(from, static_cast<DependencyKind>(k), x, to);
  }

  TransactionSet nodes_;
  std::array<std::array<TransactionSet, kTransactionCount>, 3> successors_ = {};
  std::uint32_t items_[kTransactionCount][kTransactionCount][3];
};

bool Has(const IsolationReport& report, AnomalyKind kind) {
  return std::any_of(report.anomalies.begin(), report.anomalies.end(),
                     [&](const Anomaly& anomaly) { return anomaly.kind == kind; });
}

}  // namespace

WitnessOperations OperationsOf(const Phenomenon& p) {
  const WitnessOperation ri{OpKind::Read, p.ti, p.x};
  const WitnessOperation wjx{OpKind::Write, p.tj, p.x};
  switch (p.kind) {
    case PhenomenonKind::P0:
      return {{{{OpKind::Write, p.ti, p.x}, wjx}}, 2};
    case PhenomenonKind::P1:
      return {{{{OpKind::Write, p.ti, p.x}, {OpKind::Read, p.tj, p.x}}}, 2};
    case PhenomenonKind::P2:
      return {{{ri, wjx}}, 2};
    case PhenomenonKind::P4:
      return {{{ri, wjx, {OpKind::Write, p.ti, p.x}, {OpKind::Validate, p.ti, ' '}}}, 4};
    case PhenomenonKind::A5A:
      return {{{ri,
                wjx,
                {OpKind::Write, p.tj, p.y},
                {OpKind::Validate, p.tj, ' '},
                {OpKind::Read, p.ti, p.y}}},
              5};
    case PhenomenonKind::A5B:
      return {{{ri, {OpKind::Read, p.tj, p.y}, {OpKind::Write, p.ti, p.y}, wjx}}, 4};
  }
  return {};
}

bool Allows(const IsolationReport& report, IsolationLevel level) {
  const bool g1 = Has(report, AnomalyKind::G0) || Has(report, AnomalyKind::G1a) ||
                  Has(report, AnomalyKind::G1b) || Has(report, AnomalyKind::G1c);
  switch (level) {
    case IsolationLevel::None:
      return true;
    case IsolationLevel::ReadUncommitted:
      return !Has(report, AnomalyKind::G0);
    case IsolationLevel::ReadCommitted:
      return !g1;
    case IsolationLevel::RepeatableRead:
    case IsolationLevel::Serializable:
      return !g1 && !Has(report, AnomalyKind::G2Item);
  }
  return false;
}

IsolationLevel StrongestLevel(const IsolationReport& report) {
  for (const IsolationLevel level : {IsolationLevel::Serializable, IsolationLevel::ReadCommitted,
                                     IsolationLevel::ReadUncommitted}) {
    if (Allows(report, level)) {
      return level;
    }
  }
  return IsolationLevel::None;
}

struct IsolationAnalysis::Tables {
  // A read, by its place in S.
  struct ReadAt {
    std::int64_t position = kNever;
    int item = 0;
  };
  // The first operation of S that completed an A5B of one pair of transactions.
  struct WriteSkew {
    std::int64_t position = kNever;
    Phenomenon phenomenon;
  };

  std::int64_t position = 0;  // of the last operation of S
  TransactionSet seen;        // the transactions of the reads, writes, commits and aborts so far
  std::uint32_t items = 0;    // the items read or written so far
  TransactionSet ended;       // commit or abort seen
  TransactionSet committed;   // commit seen
  TransactionSet aborted;     // abort seen

  TransactionSet readers[kItemCount];
  TransactionSet writers[kItemCount];
  std::uint32_t readItems[kTransactionCount] = {};
  std::uint32_t writtenItems[kTransactionCount] = {};
  // Valid where readItems and writtenItems say.
  std::int64_t firstRead[kTransactionCount][kItemCount] = {};
  std::int64_t lastWrite[kTransactionCount][kItemCount] = {};

  // [reader][item]: the other transactions whose versions it read; per reader, the items whose
  // initial version it read.
  TransactionSet sources[kTransactionCount][kItemCount];
  std::uint32_t readsInitial[kTransactionCount] = {};
  // [reader][writer]: its first read of the writer's writes, and of an intermediate one; valid
  // where readsFrom and readsIntermediate say.
  TransactionSet readsFrom[kTransactionCount];
  TransactionSet readsIntermediate[kTransactionCount];
  ReadAt firstReadFrom[kTransactionCount][kTransactionCount];
  ReadAt firstIntermediate[kTransactionCount][kTransactionCount];
  // [writer][item]: the readers of the writer's latest write of the item, and where each first
  // read it; the writer's next write of the item makes these reads of an intermediate version.
  TransactionSet latestReaders[kTransactionCount][kItemCount];
  std::int64_t latestRead[kTransactionCount][kItemCount][kTransactionCount] = {};

  // [i][x]: the others that wrote x after Ti's first read of x, and those of them after whose
  // write Ti wrote x (a lost update but for Ti's commit).
  TransactionSet writtenAfterRead[kTransactionCount][kItemCount];
  TransactionSet overwritten[kTransactionCount][kItemCount];
  // [smaller][larger], valid where writeSkews says.
  TransactionSet writeSkews[kTransactionCount];
  WriteSkew writeSkew[kTransactionCount][kTransactionCount];

  std::array<bool, kPhenomenonKinds> found = {};
  std::array<Phenomenon, kPhenomenonKinds> witness = {};

  void Touch(std::int32_t i, int x) {
    seen.Insert(i);
    items |= ItemBit(x);
  }

  // The pattern of `kind` completed: the first completion is its witness.
  void Found(PhenomenonKind kind, std::int32_t i, std::int32_t j, int x, int y = 0) {
    const auto k = static_cast<std::size_t>(kind);
    if (!found[k]) {
      found[k] = true;
      witness[k] = Phenomenon{kind, i, j, static_cast<char>('A' + x), static_cast<char>('A' + y)};
    }
  }

  bool Open(PhenomenonKind kind) const { return !found[static_cast<std::size_t>(kind)]; }

  // A5A at Ri(y): Ri(x), then Wj(x) and Wj(y), then Cj, now Ri(y).
  void ReadSkewAt(std::int32_t i, int y) {
    for (TransactionSet js = committed - TransactionSet{i}; !js.Empty();) {
      const std::int32_t j = Smallest(js);
      js.Erase(j);
      if ((writtenItems[Of(j)] & ItemBit(y)) == 0) {
        continue;
      }
      for (std::uint32_t xs = readItems[Of(i)] & writtenItems[Of(j)] & ~ItemBit(y); xs != 0;
           xs &= xs - 1) {
        const int x = std::countr_zero(xs);
        const std::int64_t read = firstRead[Of(i)][x];
        if (lastWrite[Of(j)][x] > read && lastWrite[Of(j)][y] > read) {
          Found(PhenomenonKind::A5A, i, j, x, y);
          return;
        }
      }
    }
  }

  // A5B at Wj(x): Ri(x) and Rj(y), then Wi(y), now Wj(x).
  void WriteSkewAt(std::int32_t j, int x) {
    (readers[x] - TransactionSet{j}).ForEach([&](std::int32_t i) {
      const std::int32_t low = std::min(i, j);
      const std::int32_t high = std::max(i, j);
      if (writeSkews[Of(low)].Contains(high)) {
        return;
      }
      for (std::uint32_t ys = readItems[Of(j)] & writtenItems[Of(i)] & ~ItemBit(x); ys != 0;
           ys &= ys - 1) {
        const int y = std::countr_zero(ys);
        if (lastWrite[Of(i)][y] > std::max(firstRead[Of(i)][x], firstRead[Of(j)][y])) {
          writeSkews[Of(low)].Insert(high);
          const auto item = [](int z) { return static_cast<char>('A' + z); };
          writeSkew[Of(low)][Of(high)] = {
              position, i < j ? Phenomenon{PhenomenonKind::A5B, i, j, item(x), item(y)}
                              : Phenomenon{PhenomenonKind::A5B, j, i, item(y), item(x)}};
          return;
        }
      }
    });
  }

  // P4 at Ci: Ri(x), then Wj(x), then Wi(x), now Ci.
  void LostUpdateAt(std::int32_t i) {
    std::int32_t bestJ = kLastTransaction + 1;
    int bestX = 0;
    ForEachBit(readItems[Of(i)] & writtenItems[Of(i)], [&](int x) {
      const TransactionSet js = overwritten[Of(i)][x];
      if (!js.Empty() && Smallest(js) < bestJ) {
        bestJ = Smallest(js);
        bestX = x;
      }
    });
    if (bestJ <= kLastTransaction) {
      Found(PhenomenonKind::P4, i, bestJ, bestX);
    }
  }
};

IsolationAnalysis::IsolationAnalysis() : tables_(std::make_unique<Tables>()) {}
IsolationAnalysis::~IsolationAnalysis() = default;
IsolationAnalysis::IsolationAnalysis(IsolationAnalysis&&) noexcept = default;
IsolationAnalysis& IsolationAnalysis::operator=(IsolationAnalysis&&) noexcept = default;

void IsolationAnalysis::Start() {
  Tables& s = *tables_;
  ForEachBit(s.items, [&](int x) { s.readers[x] = s.writers[x] = {}; });
  s.seen.ForEach([&](std::int32_t t) {
    const int i = Of(t);
    s.readItems[i] = s.writtenItems[i] = s.readsInitial[i] = 0;
    s.readsFrom[i] = s.readsIntermediate[i] = s.writeSkews[i] = {};
    ForEachBit(s.items, [&](int x) {
      s.sources[i][x] = s.latestReaders[i][x] = {};
      s.writtenAfterRead[i][x] = s.overwritten[i][x] = {};
    });
  });
  s.position = 0;
  s.seen = s.ended = s.committed = s.aborted = {};
  s.items = 0;
  s.found.fill(false);
}

void IsolationAnalysis::Read(std::int32_t i, int x, std::int32_t source) {
  Tables& s = *tables_;
  ++s.position;
  s.Touch(i, x);
  if (s.Open(PhenomenonKind::P1)) {
    if (const TransactionSet open = s.writers[x] - s.ended - TransactionSet{i}; !open.Empty()) {
      s.Found(PhenomenonKind::P1, Smallest(open), i, x);
    }
  }
  if (s.Open(PhenomenonKind::A5A)) {
    s.ReadSkewAt(i, x);
  }
  if ((s.readItems[Of(i)] & ItemBit(x)) == 0) {
    s.readItems[Of(i)] |= ItemBit(x);
    s.firstRead[Of(i)][x] = s.position;
  }
  s.readers[x].Insert(i);

  if (source == 0) {
    s.readsInitial[Of(i)] |= ItemBit(x);
  } else if (source != i) {
    s.sources[Of(i)][x].Insert(source);
    if (!s.readsFrom[Of(i)].Contains(source)) {
      s.readsFrom[Of(i)].Insert(source);
      s.firstReadFrom[Of(i)][Of(source)] = {s.position, x};
    }
    if (!s.latestReaders[Of(source)][x].Contains(i)) {
      s.latestReaders[Of(source)][x].Insert(i);
      s.latestRead[Of(source)][x][Of(i)] = s.position;
    }
  }
}

void IsolationAnalysis::Write(std::int32_t j, int x) {
  Tables& s = *tables_;
  ++s.position;
  s.Touch(j, x);
  const TransactionSet others = TransactionSet::All() - s.ended - TransactionSet{j};
  if (s.Open(PhenomenonKind::P0) && !(s.writers[x] & others).Empty()) {
    s.Found(PhenomenonKind::P0, Smallest(s.writers[x] & others), j, x);
  }
  if (s.Open(PhenomenonKind::P2) && !(s.readers[x] & others).Empty()) {
    s.Found(PhenomenonKind::P2, Smallest(s.readers[x] & others), j, x);
  }
  s.WriteSkewAt(j, x);
  (s.readers[x] - TransactionSet{j}).ForEach([&](std::int32_t i) {
    s.writtenAfterRead[Of(i)][x].Insert(j);
  });
  s.overwritten[Of(j)][x] |= s.writtenAfterRead[Of(j)][x];

  s.latestReaders[Of(j)][x].ForEach([&](std::int32_t r) {
    const std::int64_t read = s.latestRead[Of(j)][x][Of(r)];
    if (!s.readsIntermediate[Of(r)].Contains(j) ||
        read < s.firstIntermediate[Of(r)][Of(j)].position) {
      s.readsIntermediate[Of(r)].Insert(j);
      s.firstIntermediate[Of(r)][Of(j)] = {read, x};
    }
  });
  s.latestReaders[Of(j)][x] = {};

  s.writers[x].Insert(j);
  s.writtenItems[Of(j)] |= ItemBit(x);
  s.lastWrite[Of(j)][x] = s.position;
}

void IsolationAnalysis::Commit(std::int32_t i) {
  Tables& s = *tables_;
  ++s.position;
  s.seen.Insert(i);
  if (s.Open(PhenomenonKind::P4)) {
    s.LostUpdateAt(i);
  }
  s.ended.Insert(i);
  s.committed.Insert(i);
}

void IsolationAnalysis::Abort(std::int32_t i) {
  Tables& s = *tables_;
  ++s.position;
  s.seen.Insert(i);
  s.ended.Insert(i);
  s.aborted.Insert(i);
}

void IsolationAnalysis::Finish(IsolationReport& report) {
  const Tables& s = *tables_;
  const TransactionSet committing = s.seen - s.aborted;
  report.anomalies.clear();
  report.phenomena.clear();
  report.dsg.clear();
  // Every edge, anomaly and phenomenon takes two transactions on one item.
  bool shared = false;
  ForEachBit(s.items, [&](int x) {
    shared = shared || std::popcount((s.readers[x] | s.writers[x]).bits()) > 1;
  });
  if (!shared) {
    return;
  }

  Graph graph(committing);
  ForEachBit(s.items, [&](int x) {
    // The version order: the final writes of the committing writers, in S order.
    std::int32_t order[kTransactionCount];
    int versions = 0;
    (s.writers[x] & committing).ForEach([&](std::int32_t t) { order[versions++] = t; });
    std::sort(order, order + versions, [&](std::int32_t a, std::int32_t b) {
      return s.lastWrite[Of(a)][x] < s.lastWrite[Of(b)][x];
    });
    std::int32_t next[kTransactionCount];  // after each version, the next one's writer (0: none)
    for (int v = 0; v < versions; ++v) {
      next[Of(order[v])] = v + 1 < versions ? order[v + 1] : 0;
      if (v > 0) {
        graph.Add(order[v - 1], DependencyKind::Ww, x, order[v]);
      }
    }
    (s.readers[x] & committing).ForEach([&](std::int32_t r) {
      const auto antiDependency = [&](std::int32_t to) {
        if (to != 0 && to != r) {
          graph.Add(r, DependencyKind::Rw, x, to);
        }
      };
      if ((s.readsInitial[Of(r)] & ItemBit(x)) != 0 && versions > 0) {
        antiDependency(order[0]);
      }
      (s.sources[Of(r)][x] & committing).ForEach([&](std::int32_t w) {
        graph.Add(w, DependencyKind::Wr, x, r);
        antiDependency(next[Of(w)]);
      });
    });
  });
  graph.Edges(report.dsg);

  // A cycle of the kinds `rest` after a first edge of the kinds `first`.
  const auto cycle = [&](AnomalyKind kind, unsigned first, unsigned rest,
                         const Graph::Distances& distance) {
    Anomaly anomaly{kind, 0, 'A', 0, {}};
    if (graph.ShortestCycle(first, rest, distance, anomaly.cycle)) {
      report.anomalies.push_back(std::move(anomaly));
    }
  };
  // The earliest read by a committing transaction of a writer in `writers`.
  const auto read = [&](AnomalyKind kind, const TransactionSet(&from)[kTransactionCount],
                        const Tables::ReadAt(&at)[kTransactionCount][kTransactionCount],
                        TransactionSet writers) {
    std::int32_t reader = 0;
    std::int32_t writer = 0;
    committing.ForEach([&](std::int32_t j) {
      (from[Of(j)] & writers).ForEach([&](std::int32_t i) {
        if (reader == 0 || at[Of(j)][Of(i)].position < at[Of(reader)][Of(writer)].position) {
          reader = j;
          writer = i;
        }
      });
    });
    if (reader != 0) {
      report.anomalies.push_back(Anomaly{
          kind, reader, static_cast<char>('A' + at[Of(reader)][Of(writer)].item), writer, {}});
    }
  };
  const bool cyclic = graph.Cyclic();
  if (cyclic) {
    cycle(AnomalyKind::G0, kWw, kWw, graph.DistancesOver(kWw));
  }
  read(AnomalyKind::G1a, s.readsFrom, s.firstReadFrom, s.aborted);
  read(AnomalyKind::G1b, s.readsIntermediate, s.firstIntermediate, committing);
  if (cyclic) {
    const Graph::Distances dependencies = graph.DistancesOver(kWw | kWr);
    cycle(AnomalyKind::G1c, kWw | kWr, kWw | kWr, dependencies);
    cycle(AnomalyKind::GSingle, kRw, kWw | kWr, dependencies);
    cycle(AnomalyKind::G2Item, kRw, kWw | kWr | kRw, graph.DistancesOver(kWw | kWr | kRw));
  }

  for (std::size_t k = 0; k < kPhenomenonKinds; ++k) {
    if (s.found[k]) {
      report.phenomena.push_back(s.witness[k]);
    }
  }
  const Tables::WriteSkew* skew = nullptr;
  s.committed.ForEach([&](std::int32_t low) {
    (s.writeSkews[Of(low)] & s.committed).ForEach([&](std::int32_t high) {
      const Tables::WriteSkew& candidate = s.writeSkew[Of(low)][Of(high)];
      // Pairs completed by the same write come in the order of their transactions.
      if (skew == nullptr || candidate.position < skew->position) {
        skew = &candidate;
      }
    });
  });
  if (skew != nullptr) {
    report.phenomena.push_back(skew->phenomenon);
  }
}

}  // namespace tosim::analysis
