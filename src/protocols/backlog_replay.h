// The replay that all eight protocols share, and the interface through which a protocol decides.
// The replay owns the backlogs, the runnable list, commits, aborts and the history; a protocol
// owns its tables and answers for one operation at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "protocols/protocols.h"
#include "scheduler/scheduler.h"

namespace tosim::protocols {

inline constexpr int kTransactions = 10;
inline constexpr int kItems = 26;

inline Mask Bit(int t) {
  return static_cast<Mask>(1u << (t - 1));
}

// Calls visit(t) for each member of `set`, ascending.
template <typename Visit>
void ForEachIn(Mask set, Visit visit) {
  for (int t = 1; t <= kTransactions; ++t) {
    if ((set & Bit(t)) != 0) {
      visit(t);
    }
  }
}

// A protocol's answer for one read, write, commit or abort of an active transaction, and why.
struct Outcome {
  enum Kind : std::uint8_t { Executed, Skipped, Rejected, Waits } kind = Executed;
  Cause cause = Cause::Rejected;  // Rejected
  Mask waitsFor = 0;              // Waits
  std::int8_t from = -1;          // an executed read
  bool inHistory = true;          // an executed read or write enters the history now
  // Why; left Pending for a commit or an abort the protocol lets be, which the replay explains.
  StepWhy why;
  Mask wounded = 0;  // the transactions the decision aborted on its way (wound_wait)

  static Outcome Done(StepWhy why = {}) { return {Executed, Cause::Rejected, 0, -1, true, why}; }
  static Outcome Read(int writer, StepWhy why) {
    return {Executed, Cause::Rejected, 0, std::int8_t(writer), true, why};
  }
  static Outcome Skip(StepWhy why) { return {Skipped, Cause::Rejected, 0, -1, true, why}; }
  static Outcome Reject(StepWhy why, Cause cause = Cause::Rejected) {
    return {Rejected, cause, 0, -1, true, why};
  }
  static Outcome Wait(Mask set, StepWhy why) {
    return {Waits, Cause::Rejected, set, -1, true, why};
  }
};

class Replay;

class Rules {
 public:
  virtual ~Rules() = default;
  // The tables are fresh: a new plan.
  virtual void Reset(Replay& replay) = 0;
  virtual void Begin(Replay& /*replay*/, int /*t*/) {}
  // Decides `step` of active transaction step.t.
  virtual Outcome Decide(Replay& replay, const Step& step) = 0;
  // After a new wait of `t` has been recorded.
  virtual void Waited(Replay& /*replay*/, int /*t*/) {}
  // After `t` committed or aborted: the protocol's release effects.
  virtual void Released(Replay& replay, int t, bool committed) = 0;
  // The serial order of the committed transactions; false when there is none.
  virtual bool Order(const Replay& replay, std::vector<std::int32_t>& order);
};

class Replay {
 public:
  explicit Replay(Rules& rules) : rules_(rules) {}

  // Replays `schedule` into `run`.
  void Run(const std::vector<Step>& schedule, const std::int32_t (&timestamps)[kTransactions],
           ProtocolRun& run);

  // What protocols ask.
  std::int32_t Timestamp(int t) const { return tx_[t - 1].ts; }
  bool Older(int t, int u) const { return tx_[t - 1].ts < tx_[u - 1].ts; }
  bool IsActive(int t) const { return tx_[t - 1].phase == Phase::Active; }
  bool IsAborted(int t) const { return tx_[t - 1].phase == Phase::Aborted; }
  bool IsCommitted(int t) const { return tx_[t - 1].phase == Phase::Committed; }
  Mask AbortedSet() const { return run_->aborted; }
  Mask ActiveSet() const;
  // The transactions now waiting for `t`.
  Mask WaitingFor(int t) const;
  // The writer of the last write of `item` in the history (0 for none), skipping aborted writers
  // when `skipAborted`.
  int LastWriter(int item, bool skipAborted) const;
  // The transactions `t` read from (others than itself, not the initial value).
  Mask ReadFrom(int t) const { return tx_[t - 1].readFrom; }
  const std::vector<Event>& History() const { return run_->history; }
  Mask Committed() const { return run_->committed; }

  // What protocols do.
  void Abort(int t, Cause cause);
  // The waiting transactions of `set` become runnable, in the order their waits began.
  void MakeRunnable(Mask set);
  // A write enters the history outside its own step (occ's writes at commit).
  void WriteToHistory(int t, char item);

 private:
  enum class Phase : std::uint8_t { Inactive, Active, Committed, Aborted };
  struct Transaction {
    Phase phase = Phase::Inactive;
    std::int32_t ts = 0;
    std::int32_t head = -1;  // the backlog: steps linked through next_
    std::int32_t tail = -1;
    Mask waitsFor = 0;
    std::uint32_t waitBegan = 0;
    bool runnable = false;
    Mask readFrom = 0;
  };

  void Take(std::int32_t index);
  // Decides steps[index] (its backlog's first when `queued`); true when it waits.
  bool Decide(std::int32_t index, bool queued);
  void RunRunnable();
  void Commit(int t);
  void Unqueue(int t);

  Rules& rules_;
  ProtocolRun* run_ = nullptr;
  std::vector<std::int32_t> next_;  // the next step of the same backlog, or -1
  Transaction tx_[kTransactions];
  std::int8_t runnable_[kTransactions] = {};
  int runnableCount_ = 0;
  std::uint32_t waits_ = 0;  // waits begun so far
  int deciding_ = 0;         // the transaction whose operation is being decided
  // Per item, the writers in the history, latest write first.
  std::int8_t writers_[kItems][kTransactions] = {};
  std::int8_t writerCount_[kItems] = {};
};

// The eight protocols, by family; each file holds one family.
class TimestampRules : public Rules {  // to, to_basic: the scheduler's own rules
 public:
  explicit TimestampRules(bool thomasWriteRule) { tables_.thomasWriteRule = thomasWriteRule; }
  void Reset(Replay& replay) override;
  void Begin(Replay& replay, int t) override;
  Outcome Decide(Replay& replay, const Step& step) override;
  void Released(Replay& /*replay*/, int /*t*/, bool /*committed*/) override {}

 private:
  SchedulerTables tables_;
};

class StrictTimestampRules : public Rules {  // strict_to
 public:
  void Reset(Replay& replay) override;
  Outcome Decide(Replay& replay, const Step& step) override;
  void Released(Replay& replay, int t, bool committed) override;

 private:
  std::int32_t readTs_[kItems] = {};
};

class MultiversionRules : public Rules {  // mvto
 public:
  void Reset(Replay& replay) override;
  Outcome Decide(Replay& replay, const Step& step) override;
  void Released(Replay& replay, int t, bool committed) override;
  bool Order(const Replay& replay, std::vector<std::int32_t>& order) override;

 private:
  Mask versions_[kItems] = {};                           // the writers with a version of the item
  std::int32_t readTs_[kItems][kTransactions + 1] = {};  // R-TS by writer, 0: the initial one
  Mask readers_[kItems][kTransactions + 1] = {};         // who read each version
  bool cascading_ = false;
};

class LockingRules : public Rules {  // 2pl, wait_die, wound_wait
 public:
  enum class Policy : std::uint8_t { Detect, WaitDie, WoundWait };
  explicit LockingRules(Policy policy) : policy_(policy) {}
  void Reset(Replay& replay) override;
  Outcome Decide(Replay& replay, const Step& step) override;
  void Waited(Replay& replay, int t) override;
  void Released(Replay& replay, int t, bool committed) override;
  // 2pl's deadlocks, found after each wait.
  std::vector<Deadlock>* deadlocks = nullptr;

 private:
  struct Request {
    std::int8_t t = 0;
    bool exclusive = false;
    bool upgrade = false;
  };
  struct Lock {
    Mask shared = 0;     // holders of S
    Mask exclusive = 0;  // the holder of X
    Request queue[kTransactions];
    int queued = 0;
  };
  Mask WouldWaitFor(const Lock& lock, int place, const Request& request) const;
  StepWhy Why(StepRule rule, const Step& step, Mask others = 0) const;
  Mask Granted(int item);
  bool FindCycle(const Replay& replay, std::vector<std::int32_t>& cycle) const;

  Policy policy_;
  Lock locks_[kItems];
  std::int8_t requestItem_[kTransactions] = {};  // the item of a queued request, or -1
  std::uint32_t heldItems_[kTransactions] = {};
};

class OptimisticRules : public Rules {  // occ
 public:
  void Reset(Replay& replay) override;
  void Begin(Replay& replay, int t) override;
  Outcome Decide(Replay& replay, const Step& step) override;
  void Released(Replay& replay, int t, bool committed) override;

 private:
  std::uint32_t readSet_[kTransactions] = {};
  std::uint32_t writeSet_[kTransactions] = {};
  std::int8_t writeOrder_[kTransactions][kItems] = {};  // items by first write
  std::int8_t writeCount_[kTransactions] = {};
  std::int32_t beganAt_[kTransactions] = {};  // commits before the begin
  std::int8_t commits_[kTransactions] = {};   // committed transactions, in commit order
  std::int32_t commitCount_ = 0;
  std::int8_t lastCommitted_[kItems] = {};  // writer of the last committed write, 0 initial
};

// The smallest topological order of `nodes` under `edges` (edges[t-1]: the successors of t);
// false when cyclic.
bool SmallestOrder(Mask nodes, const Mask (&edges)[kTransactions],
                   std::vector<std::int32_t>& order);

}  // namespace tosim::protocols
