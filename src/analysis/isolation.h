// Isolation levels of a written schedule S: the dependency graph of its committing transactions
// (ww, wr and rw edges), the anomalies G0 to G2-item and the phenomena P0 to A5B that S shows,
// each with one witness, and the strongest level S meets. Pure: fed with S as it streams past, in
// memory that does not grow with S apart from the lists it reports.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "schedule/transaction_set.h"
#include "tosim/operation.h"

namespace tosim::analysis {

// In the order edges are sorted by.
enum class DependencyKind : std::uint8_t { Ww, Wr, Rw };

// An edge of the dependency graph: T`from` -> T`to` on `item`.
struct DependencyEdge {
  std::int32_t from = 0;
  DependencyKind kind = DependencyKind::Ww;
  char item = 'A';
  std::int32_t to = 0;

  friend bool operator==(const DependencyEdge&, const DependencyEdge&) = default;
};

// In the order they are reported.
enum class AnomalyKind : std::uint8_t { G0, G1a, G1b, G1c, GSingle, G2Item };
inline constexpr int kAnomalyKinds = 6;

struct Anomaly {
  AnomalyKind kind = AnomalyKind::G0;
  // G1a and G1b: the read R`reader`(`item`) and the transaction whose write it read.
  std::int32_t reader = 0;
  char item = 'A';
  std::int32_t writer = 0;
  // The others: a cycle of the graph's edges, each starting where the last ended.
  std::vector<DependencyEdge> cycle;
};

// In the order they are reported.
enum class PhenomenonKind : std::uint8_t { P0, P1, P2, P4, A5A, A5B };
inline constexpr int kPhenomenonKinds = 6;

// A pattern of S over transactions Ti, Tj and items x, y (y in A5A and A5B only).
struct Phenomenon {
  PhenomenonKind kind = PhenomenonKind::P0;
  std::int32_t ti = 0;
  std::int32_t tj = 0;
  char x = 'A';
  char y = 'A';
};

// An operation of a phenomenon's witness: a read, a write or a commit (OpKind::Validate).
struct WitnessOperation {
  OpKind kind = OpKind::Read;
  std::int32_t t = 0;
  char item = ' ';
};

// The operations of a phenomenon, in the order of its pattern:
//   P0  Wi(x) Wj(x)            P1  Wi(x) Rj(x)          P2  Ri(x) Wj(x)
//   P4  Ri(x) Wj(x) Wi(x) Ci   A5A Ri(x) Wj(x) Wj(y) Cj Ri(y)   A5B Ri(x) Rj(y) Wi(y) Wj(x)
struct WitnessOperations {
  std::array<WitnessOperation, 5> operations;
  int count = 0;
};
[[nodiscard]] WitnessOperations OperationsOf(const Phenomenon& phenomenon);

// The levels, weakest first; None: not even read uncommitted.
enum class IsolationLevel : std::uint8_t {
  None,
  ReadUncommitted,
  ReadCommitted,
  RepeatableRead,
  Serializable
};

struct IsolationReport {
  std::vector<Anomaly> anomalies;     // those present, in kind order
  std::vector<Phenomenon> phenomena;  // those present, in kind order
  std::vector<DependencyEdge> dsg;    // sorted by from, to, item, kind
};

// Whether S is allowed at `level`: read uncommitted forbids G0; read committed G1a, G1b and G1c
// (G0 is a G1c); repeatable read and serializable also G2-item, since S holds items only.
[[nodiscard]] bool Allows(const IsolationReport& report, IsolationLevel level);
// The strongest level that allows S: Serializable, ReadCommitted, ReadUncommitted or None (for
// items, repeatable read allows what serializable allows).
[[nodiscard]] IsolationLevel StrongestLevel(const IsolationReport& report);

// The analysis of one schedule after another. Transactions are numbers 1..10, items 0..25 (for
// "A".."Z"); operations come in the order of S, each transaction ending at its commit or abort.
class IsolationAnalysis {
 public:
  IsolationAnalysis();
  ~IsolationAnalysis();
  IsolationAnalysis(IsolationAnalysis&&) noexcept;
  IsolationAnalysis& operator=(IsolationAnalysis&&) noexcept;
  // Forgets the schedule, for the next one.
  void Start();
  // Ti reads item x, reading the write of T`source` (0: the initial version), as reads-from
  // decides: the last write of x by a transaction not aborted before the read.
  void Read(std::int32_t i, int x, std::int32_t source);
  void Write(std::int32_t i, int x);
  void Commit(std::int32_t i);
  void Abort(std::int32_t i);
  // At the end of S.
  void Finish(IsolationReport& report);

 private:
  struct Tables;  // what S showed so far (isolation.cpp)
  std::unique_ptr<Tables> tables_;
};

}  // namespace tosim::analysis
