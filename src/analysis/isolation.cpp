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

// Sets of kinds of edges, a bit per DependencyKind.
constexpr unsigned kWw = 1u << static_cast<unsigned>(DependencyKind::Ww);
constexpr unsigned kWr = 1u << static_cast<unsigned>(DependencyKind::Wr);
constexpr unsigned kRw = 1u << static_cast<unsigned>(DependencyKind::Rw);

// The dependency graph on transaction indices, its edges as sets of items per kind.
class Graph {
 public:
  static constexpr int kFar = kTransactionCount + 1;  // no path
  // The length of a shortest path over edges of some kinds, [from][to].
  using Distances = std::array<std::array<int, kTransactionCount>, kTransactionCount>;

  explicit Graph(Mask nodes) : nodes_(nodes) {}

  void Add(int from, DependencyKind kind, int x, int to) {
    const auto k = static_cast<std::size_t>(kind);
    items_[from][to][k] |= ItemBit(x);
    successors_[k][from] |= Bit(to);
  }

  // Every edge, in the order of `dsg`.
  void Edges(std::vector<DependencyEdge>& edges) const {
    ForEach(nodes_, [&](int from) {
      ForEach(Successors(from, kWw | kWr | kRw), [&](int to) {
        const auto& kinds = items_[from][to];
        for (std::uint32_t xs = kinds[0] | kinds[1] | kinds[2]; xs != 0; xs &= xs - 1) {
          const int x = std::countr_zero(xs);
          for (std::size_t k = 0; k < 3; ++k) {
            if ((kinds[k] & ItemBit(x)) != 0) {
              edges.push_back(Edge(from, static_cast<DependencyKind>(k), x, to));
            }
          }
        }
      });
    });
  }

  // Whether the graph has a cycle at all: nodes without predecessors are taken away while there
  // are any.
  bool Cyclic() const {
    Mask left = nodes_;
    for (bool progress = true; progress && left != 0;) {
      Mask targets = 0;
      ForEach(left, [&](int from) { targets |= Successors(from, kWw | kWr | kRw); });
      progress = (left & ~targets) != 0;
      left &= targets;
    }
    return left != 0;
  }

  // Breadth-first from every node, over edges of the kinds `kinds`.
  Distances DistancesOver(unsigned kinds) const {
    Distances distance;
    ForEach(nodes_, [&](int s) {
      distance[s].fill(kFar);
      distance[s][s] = 0;
      Mask seen = Bit(s);
      Mask frontier = seen;
      for (int d = 1; frontier != 0; ++d) {
        Mask next = 0;
        ForEach(frontier, [&](int u) { next |= Successors(u, kinds); });
        frontier = next & ~seen;
        seen |= frontier;
        ForEach(frontier, [&](int t) { distance[s][t] = d; });
      }
    });
    return distance;
  }

  // The shortest cycle whose first edge is of the kinds `first` and whose other edges are of the
  // kinds `rest`, `distance` being DistancesOver(rest), as the file's head says; false when there
  // is none.
  bool ShortestCycle(unsigned first, unsigned rest, const Distances& distance,
                     std::vector<DependencyEdge>& cycle) const {
    int length = kFar;
    int a = 0;
    int b = 0;
    ForEach(nodes_, [&](int from) {
      ForEach(Successors(from, first), [&](int to) {
        if (distance[to][from] + 1 < length) {
          length = distance[to][from] + 1;
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
    for (int at = b; at != a;) {
      int next = 0;
      for (Mask steps = Successors(at, rest); steps != 0; steps &= steps - 1) {
        next = std::countr_zero(steps);
        if (distance[next][a] == distance[at][a] - 1) {
          break;
        }
      }
      cycle.push_back(SmallestEdge(at, next, rest));
      at = next;
    }
    return true;
  }

 private:
  static DependencyEdge Edge(int from, DependencyKind kind, int x, int to) {
    return DependencyEdge{from + kFirstTransaction, kind, static_cast<char>('A' + x),
                          to + kFirstTransaction};
  }

  Mask Successors(int from, unsigned kinds) const {
    Mask successors = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      if ((kinds & (1u << k)) != 0) {
        successors |= successors_[k][from];
      }
    }
    return successors;
  }

  // The smallest edge from -> to of the kinds: the smallest item, then kind.
  DependencyEdge SmallestEdge(int from, int to, unsigned kinds) const {
    std::uint32_t items = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      if ((kinds & (1u << k)) != 0) {
        items |= items_[from][to][k];
      }
    }
    const int x = std::countr_zero(items);
    std::size_t k = 0;
    while ((kinds & (1u << k)) == 0 || (items_[from][to][k] & ItemBit(x)) == 0) {
      ++k;
    }
    return Edge(from, static_cast<DependencyKind>(k), x, to);
  }

  Mask nodes_;
  std::array<std::array<Mask, kTransactionCount>, 3> successors_ = {};
  std::uint32_t items_[kTransactionCount][kTransactionCount][3] = {};
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
  Mask seen = 0;              // the transactions of the reads, writes, commits and aborts so far
  std::uint32_t items = 0;    // the items read or written so far
  Mask ended = 0;             // commit or abort seen
  Mask committed = 0;         // commit seen
  Mask aborted = 0;           // abort seen

  Mask readers[kItemCount] = {};
  Mask writers[kItemCount] = {};
  std::uint32_t readItems[kTransactionCount] = {};
  std::uint32_t writtenItems[kTransactionCount] = {};
  // Valid where readItems and writtenItems say.
  std::int64_t firstRead[kTransactionCount][kItemCount] = {};
  std::int64_t lastWrite[kTransactionCount][kItemCount] = {};

  // [reader][item]: the other transactions whose versions it read; per reader, the items whose
  // initial version it read.
  Mask sources[kTransactionCount][kItemCount] = {};
  std::uint32_t readsInitial[kTransactionCount] = {};
  // [reader][writer]: its first read of the writer's writes, and of an intermediate one; valid
  // where readsFrom and readsIntermediate say.
  Mask readsFrom[kTransactionCount] = {};
  Mask readsIntermediate[kTransactionCount] = {};
  ReadAt firstReadFrom[kTransactionCount][kTransactionCount];
  ReadAt firstIntermediate[kTransactionCount][kTransactionCount];
  // [writer][item]: the readers of the writer's latest write of the item, and where each first
  // read it; the writer's next write of the item makes these reads of an intermediate version.
  Mask latestReaders[kTransactionCount][kItemCount] = {};
  std::int64_t latestRead[kTransactionCount][kItemCount][kTransactionCount] = {};

  // [i][x]: the others that wrote x after Ti's first read of x, and those of them after whose
  // write Ti wrote x (a lost update but for Ti's commit).
  Mask writtenAfterRead[kTransactionCount][kItemCount] = {};
  Mask overwritten[kTransactionCount][kItemCount] = {};
  // [smaller][larger], valid where writeSkews says.
  Mask writeSkews[kTransactionCount] = {};
  WriteSkew writeSkew[kTransactionCount][kTransactionCount];

  std::array<bool, kPhenomenonKinds> found = {};
  std::array<Phenomenon, kPhenomenonKinds> witness = {};

  void Touch(int i, int x) {
    seen |= Bit(i);
    items |= ItemBit(x);
  }

  // The pattern of `kind` completed: the first completion is its witness.
  void Found(PhenomenonKind kind, int i, int j, int x, int y = 0) {
    const auto k = static_cast<std::size_t>(kind);
    if (!found[k]) {
      found[k] = true;
      witness[k] = Phenomenon{kind, i + kFirstTransaction, j + kFirstTransaction,
                              static_cast<char>('A' + x), static_cast<char>('A' + y)};
    }
  }

  bool Open(PhenomenonKind kind) const { return !found[static_cast<std::size_t>(kind)]; }

  // A5A at Ri(y): Ri(x), then Wj(x) and Wj(y), then Cj, now Ri(y).
  void ReadSkewAt(int i, int y) {
    for (Mask js = committed & ~Bit(i); js != 0; js &= js - 1) {
      const int j = std::countr_zero(js);
      if ((writtenItems[j] & ItemBit(y)) == 0) {
        continue;
      }
      for (std::uint32_t xs = readItems[i] & writtenItems[j] & ~ItemBit(y); xs != 0; xs &= xs - 1) {
        const int x = std::countr_zero(xs);
        const std::int64_t read = firstRead[i][x];
        if (lastWrite[j][x] > read && lastWrite[j][y] > read) {
          Found(PhenomenonKind::A5A, i, j, x, y);
          return;
        }
      }
    }
  }

  // A5B at Wj(x): Ri(x) and Rj(y), then Wi(y), now Wj(x).
  void WriteSkewAt(int j, int x) {
    ForEach(readers[x] & ~Bit(j), [&](int i) {
      const int low = std::min(i, j);
      const int high = std::max(i, j);
      if ((writeSkews[low] & Bit(high)) != 0) {
        return;
      }
      for (std::uint32_t ys = readItems[j] & writtenItems[i] & ~ItemBit(x); ys != 0; ys &= ys - 1) {
        const int y = std::countr_zero(ys);
        if (lastWrite[i][y] > std::max(firstRead[i][x], firstRead[j][y])) {
          writeSkews[low] |= Bit(high);
          const auto item = [](int z) { return static_cast<char>('A' + z); };
          writeSkew[low][high] = {position,
                                  i < j ? Phenomenon{PhenomenonKind::A5B, i + kFirstTransaction,
                                                     j + kFirstTransaction, item(x), item(y)}
                                        : Phenomenon{PhenomenonKind::A5B, j + kFirstTransaction,
                                                     i + kFirstTransaction, item(y), item(x)}};
          return;
        }
      }
    });
  }

  // P4 at Ci: Ri(x), then Wj(x), then Wi(x), now Ci.
  void LostUpdateAt(int i) {
    int bestJ = kTransactionCount;
    int bestX = 0;
    for (std::uint32_t xs = readItems[i] & writtenItems[i]; xs != 0; xs &= xs - 1) {
      const int x = std::countr_zero(xs);
      if (overwritten[i][x] != 0 && std::countr_zero(overwritten[i][x]) < bestJ) {
        bestJ = std::countr_zero(overwritten[i][x]);
        bestX = x;
      }
    }
    if (bestJ < kTransactionCount) {
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
  ForEach(s.items, [&](int x) { s.readers[x] = s.writers[x] = 0; });
  ForEach(s.seen, [&](int t) {
    s.readItems[t] = s.writtenItems[t] = s.readsInitial[t] = 0;
    s.readsFrom[t] = s.readsIntermediate[t] = s.writeSkews[t] = 0;
    ForEach(s.items, [&](int x) {
      s.sources[t][x] = s.latestReaders[t][x] = 0;
      s.writtenAfterRead[t][x] = s.overwritten[t][x] = 0;
    });
  });
  s.position = 0;
  s.seen = s.ended = s.committed = s.aborted = 0;
  s.items = 0;
  s.found.fill(false);
}

void IsolationAnalysis::Read(int i, int x, int source) {
  Tables& s = *tables_;
  ++s.position;
  s.Touch(i, x);
  if (s.Open(PhenomenonKind::P1)) {
    if (const Mask open = s.writers[x] & ~s.ended & ~Bit(i); open != 0) {
      s.Found(PhenomenonKind::P1, std::countr_zero(open), i, x);
    }
  }
  if (s.Open(PhenomenonKind::A5A)) {
    s.ReadSkewAt(i, x);
  }
  if ((s.readItems[i] & ItemBit(x)) == 0) {
    s.readItems[i] |= ItemBit(x);
    s.firstRead[i][x] = s.position;
  }
  s.readers[x] |= Bit(i);

  if (source < 0) {
    s.readsInitial[i] |= ItemBit(x);
  } else if (source != i) {
    s.sources[i][x] |= Bit(source);
    if ((s.readsFrom[i] & Bit(source)) == 0) {
      s.readsFrom[i] |= Bit(source);
      s.firstReadFrom[i][source] = {s.position, x};
    }
    if ((s.latestReaders[source][x] & Bit(i)) == 0) {
      s.latestReaders[source][x] |= Bit(i);
      s.latestRead[source][x][i] = s.position;
    }
  }
}

void IsolationAnalysis::Write(int j, int x) {
  Tables& s = *tables_;
  ++s.position;
  s.Touch(j, x);
  const Mask others = ~s.ended & ~Bit(j);
  if (s.Open(PhenomenonKind::P0) && (s.writers[x] & others) != 0) {
    s.Found(PhenomenonKind::P0, std::countr_zero(s.writers[x] & others), j, x);
  }
  if (s.Open(PhenomenonKind::P2) && (s.readers[x] & others) != 0) {
    s.Found(PhenomenonKind::P2, std::countr_zero(s.readers[x] & others), j, x);
  }
  s.WriteSkewAt(j, x);
  ForEach(s.readers[x] & ~Bit(j), [&](int i) { s.writtenAfterRead[i][x] |= Bit(j); });
  s.overwritten[j][x] |= s.writtenAfterRead[j][x];

  ForEach(s.latestReaders[j][x], [&](int r) {
    const std::int64_t read = s.latestRead[j][x][r];
    if (read < s.firstIntermediate[r][j].position || (s.readsIntermediate[r] & Bit(j)) == 0) {
      s.readsIntermediate[r] |= Bit(j);
      s.firstIntermediate[r][j] = {read, x};
    }
  });
  s.latestReaders[j][x] = 0;

  s.writers[x] |= Bit(j);
  s.writtenItems[j] |= ItemBit(x);
  s.lastWrite[j][x] = s.position;
}

void IsolationAnalysis::Commit(int i) {
  Tables& s = *tables_;
  ++s.position;
  s.seen |= Bit(i);
  if (s.Open(PhenomenonKind::P4)) {
    s.LostUpdateAt(i);
  }
  s.ended |= Bit(i);
  s.committed |= Bit(i);
}

void IsolationAnalysis::Abort(int i) {
  Tables& s = *tables_;
  ++s.position;
  s.seen |= Bit(i);
  s.ended |= Bit(i);
  s.aborted |= Bit(i);
}

void IsolationAnalysis::Finish(IsolationReport& report) {
  const Tables& s = *tables_;
  const Mask committing = s.seen & ~s.aborted;
  report.anomalies.clear();
  report.phenomena.clear();
  report.dsg.clear();

  Graph graph(committing);
  ForEach(s.items, [&](int x) {
    // The version order: the final writes of the committing writers, in S order.
    int order[kTransactionCount];
    int versions = 0;
    ForEach(s.writers[x] & committing, [&](int t) { order[versions++] = t; });
    std::sort(order, order + versions,
              [&](int a, int b) { return s.lastWrite[a][x] < s.lastWrite[b][x]; });
    int next[kTransactionCount];
    for (int v = 0; v < versions; ++v) {
      next[order[v]] = v + 1 < versions ? order[v + 1] : -1;
      if (v > 0) {
        graph.Add(order[v - 1], DependencyKind::Ww, x, order[v]);
      }
    }
    ForEach(s.readers[x] & committing, [&](int r) {
      const auto antiDependency = [&](int to) {
        if (to >= 0 && to != r) {
          graph.Add(r, DependencyKind::Rw, x, to);
        }
      };
      if ((s.readsInitial[r] & ItemBit(x)) != 0 && versions > 0) {
        antiDependency(order[0]);
      }
      ForEach(s.sources[r][x] & committing, [&](int w) {
        graph.Add(w, DependencyKind::Wr, x, r);
        antiDependency(next[w]);
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
  const auto read = [&](AnomalyKind kind, const Mask(&from)[kTransactionCount],
                        const Tables::ReadAt(&at)[kTransactionCount][kTransactionCount],
                        Mask writers) {
    int reader = -1;
    int writer = -1;
    ForEach(committing, [&](int j) {
      ForEach(from[j] & writers, [&](int i) {
        if (reader < 0 || at[j][i].position < at[reader][writer].position) {
          reader = j;
          writer = i;
        }
      });
    });
    if (reader >= 0) {
      report.anomalies.push_back(Anomaly{kind,
                                         reader + kFirstTransaction,
                                         static_cast<char>('A' + at[reader][writer].item),
                                         writer + kFirstTransaction,
                                         {}});
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
  ForEach(s.committed, [&](int low) {
    ForEach(s.writeSkews[low] & s.committed, [&](int high) {
      const Tables::WriteSkew& candidate = s.writeSkew[low][high];
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
