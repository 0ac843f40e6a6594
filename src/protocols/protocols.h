// The protocol lab: one plan replayed under nine concurrency-control protocols, side by side.
// Pure: operations in, each protocol's decisions out; no input or output, no global state.
//
// Contract
// - Feed one plan at a time: Start(), then Add() for every operation the plan reader delivered
//   after the plan start (any kind but Plan and EndOfPlan, any number, any item), then Finish()
//   with the timestamps the trace gave the plan's transactions (PlanReport::timestamps).
// - The replayed schedule is the written schedule S that the analysis reads (WrittenSchedule).
//   The operations not in S have no step and change nothing, under every protocol.
// - Each protocol replays S with the same rules (README, "The protocol lab"): a transaction whose
//   operation waits keeps the operations that follow in its backlog; a release makes waiting
//   transactions runnable, which run, first come first served, after each operation taken; an
//   abort drops the backlog; nothing restarts.
// - Memory per plan: tables sized by the 10 transactions and 26 items, plus the lists the report
//   prints (steps, history, deadlocks) and one link per step.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "schedule/transaction_set.h"
#include "schedule/written_schedule.h"
#include "scheduler/scheduler.h"
#include "tosim/operation.h"

namespace tosim::protocols {

enum class Protocol : std::uint8_t {
  To,
  ToBasic,
  StrictTo,
  Mvto,
  TwoPl,
  WaitDie,
  WoundWait,
  Occ,
  Si
};
inline constexpr int kProtocolCount = 9;

// "to", "to_basic", "strict_to", "mvto", "2pl", "wait_die", "wound_wait", "occ", "si".
const char* ProtocolName(Protocol protocol);

// What became of one operation of S.
enum class Result : std::uint8_t {
  Executed,
  Skipped,   // a write the Thomas write rule skips
  Rejected,  // its transaction aborted
  Ignored,   // a second start, or an operation of a transaction that is not active
  Pending,   // still in its transaction's backlog at the end of the plan
  Dropped,   // in the backlog of a transaction that aborted
};

// Why a transaction aborted.
enum class Cause : std::uint8_t {
  Abort,
  Rejected,
  Cascade,
  Victim,
  Died,
  Wounded,
  Validation,
  FirstCommitter
};

// "abort", "rejected", "cascade", "victim", "died", "wounded", "validation", "first_committer".
const char* CauseName(Cause cause);

// The rule by which a protocol decided a step, with the numbers it compared (StepWhy).
enum class StepRule : std::uint8_t {
  Begin,       // T begins with timestamp `ts`
  BeginAgain,  // T began before in the plan: ignored
  NotActive,   // T is not active: `a` 0 never begun, 1 committed, 2 aborted
  Commit,
  Abort,    // the plan's `A`
  Dropped,  // T aborted with the step in its backlog (the cause is the run's)
  Pending,  // not decided: still in T's backlog at the end, queued behind one that waits
  // to, to_basic: the scheduler's `decision`, with TS(T) `ts`, the item's TS_lect `a` and
  // TS_escr `b` after it, and `c` the one of them it may change, before.
  Scheduler,
  // strict_to: `others` the last writer not aborted (none: the initial value), `a` its WTS, `b`
  // the item's RTS, before the step.
  StrictReadTooLate,   // ts < WTS
  StrictWriteTooLate,  // ts < RTS or ts < WTS
  StrictWaits,         // the last writer is another active transaction
  StrictRead,
  StrictWrite,
  // mvto: `others` the writer of the version T sees (none: the initial one), `a` its write
  // timestamp, `b` its read timestamp before the step.
  VersionRead,
  VersionTooLate,  // b > ts: a younger transaction read the version T's write would follow
  VersionWrite,
  // 2pl, wait_die, wound_wait: `a` 1 for an exclusive lock, 0 for a shared one.
  LockGranted,  // at once, or after the wounds of the step (Step::wounded)
  LockHeld,     // T holds a lock strong enough already
  LockWaits,    // `others` hold the item in a conflicting mode or asked first
  Dies,         // `others`: those T would wait for, some of them older
  // occ
  OccRead,             // from `others` (T itself: its own write; none: the initial value)
  OccWrite,            // into T's workspace, to the history at its commit
  OccWriteLost,        // the same, but T failed validation: the write never took effect
  OccValidated,        // T's writes enter the history
  OccValidationFails,  // `others` committed after T began and wrote `item`, which T read
  // si
  SiRead,               // from `others` (T itself: its own write; none: the initial version)
  SiWrite,              // into T's workspace, to the history at its commit
  SiWriteLost,          // the same, but T's commit was rejected: the write never took effect
  SiValidated,          // T's writes enter the history
  SiFirstCommitterWins  // `others` committed after T began and wrote `item`, which T wrote too
};

// Why a protocol decided a step so.
struct StepWhy {
  StepRule rule = StepRule::Pending;
  Decision decision = Decision::None;  // StepRule::Scheduler
  TransactionSet others = {};
  std::int32_t ts = 0;
  std::int32_t a = 0;
  std::int32_t b = 0;
  std::int32_t c = 0;
  char item = ' ';  // OccValidationFails
};

// One operation of S and what a protocol did with it.
struct Step {
  OpKind kind = OpKind::Begin;  // Begin, Read, Write, Validate or Abort
  std::int8_t t = 1;            // 1..10
  char item = ' ';              // "A".."Z" for reads and writes
  Result result = Result::Pending;
  bool delayed = false;           // it joined its transaction's backlog
  TransactionSet waitedFor = {};  // the set of its first wait
  std::int8_t from = -1;  // an executed read: the writer it read (0: the initial value); else -1
  TransactionSet wounded = {};  // wound_wait: the transactions its lock request wounded
  StepWhy why = {};             // the rule that decided it
};

// "T1", "R1(A)", "W2(B)", "C1", "A2".
std::string StepLabel(const Step& step);

// One entry of a history: an executed read or write, a commit or an abort.
struct Event {
  OpKind kind = OpKind::Read;  // Read, Write, Validate or Abort
  std::int8_t t = 1;
  char item = ' ';
};

struct Deadlock {
  std::vector<std::int32_t> cycle;  // starts and ends with the same transaction
  std::int32_t victim = 0;
};

// What one protocol did with the plan. Lists are in the order they happened.
struct ProtocolRun {
  std::vector<Step> steps;  // one per operation of S, in written order
  std::vector<Event> history;
  TransactionSet committed;
  TransactionSet aborted;
  Cause causes[kTransactionCount] = {};  // for the aborted transactions, by number - 1
  TransactionSet waiting;                // active with a non-empty backlog at the end
  TransactionSet active;                 // the other active ones
  std::vector<Deadlock> deadlocks;
  TransactionSet unrecoverable;
  bool orderExists = true;
  std::vector<std::int32_t> order;  // the serial order, when orderExists
};

struct PlanProtocols {
  ProtocolRun runs[kProtocolCount];  // in the order of Protocol
};

class ProtocolLab {
 public:
  void Start();
  void Add(const Operation& operation);
  // Replays S under every protocol. `timestamps` holds (transaction, timestamp) pairs; a
  // transaction begun in S always has one. The result stays valid until the next Start().
  const PlanProtocols& Finish(const std::vector<std::pair<std::int32_t, std::int32_t>>& timestamps);

 private:
  WrittenSchedule written_;
  std::vector<Step> schedule_;  // S as written
  PlanProtocols result_;
};

}  // namespace tosim::protocols
