// The replay that all nine protocols share, and the interface through which a protocol decides.
// The replay owns the backlogs, the runnable list, commits, aborts and the history; a protocol
// owns its tables and answers for one operation at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "protocols/protocols.h"
#include "schedule/transaction_set.h"
#include "scheduler/scheduler.h"

namespace tosim::protocols {

// A protocol's answer for one read, write, commit or abort of an active transaction, and why.
struct Outcome {
  enum Kind : std::uint8_t { Executed, Skipped, Rejected, Waits } kind = Executed;
  Cause cause = Cause::Rejected;  // Rejected
  TransactionSet waitsFor = {};   // Waits
  std::int8_t from = -1;          // an executed read
  bool inHistory = true;          // an executed read or write enters the history now
  // Why; left Pending for a commit or an abort the protocol lets be, which the replay explains.
  StepWhy why = {};
  TransactionSet wounded = {};  // the transactions the decision aborted on its way (wound_wait)

  static Outcome Done(StepWhy why = {}) { return {Executed, Cause::Rejected, {}, -1, true, why}; }
  static Outcome Read(int writer, StepWhy why) {
    return {Executed, Cause::Rejected, {}, std::int8_t(writer), true, why};
  }
  static Outcome Skip(StepWhy why) { return {Skipped, Cause::Rejected, {}, -1, true, why}; }
  static Outcome Reject(StepWhy why, Cause cause = Cause::Rejected) {
    return {Rejected, cause, {}, -1, true, why};
  }
  static Outcome Wait(TransactionSet set, StepWhy why) {
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
  virtual void Released(Replay& /*replay*/, int /*t*/, bool /*committed*/) {}
  // The serial order of the committed transactions; false when there is none.
  virtual bool Order(const Replay& replay, std::vector<std::int32_t>& order);
};

class Replay {
 public:
  explicit Replay(Rules& rules) : rules_(rules) {}

  // Replays `schedule` into `run`.
  void Run(const std::vector<Step>& schedule, const std::int32_t (&timestamps)[kTransactionCount],
           ProtocolRun& run);

  // What protocols ask.
  std::int32_t Timestamp(int t) const { return tx_[t - 1].ts; }
  bool Older(int t, int u) const { return tx_[t - 1].ts < tx_[u - 1].ts; }
  bool IsActive(int t) const { return tx_[t - 1].phase == Phase::Active; }
  bool IsAborted(int t) const { return tx_[t - 1].phase == Phase::Aborted; }
  TransactionSet AbortedSet() const { return run_->aborted; }
  // The transactions now waiting for `t`.
  TransactionSet WaitingFor(int t) const;
  // The writer of the last write of `item` in the history (0 for none), skipping aborted writers
  // when `skipAborted`.
  int LastWriter(int item, bool skipAborted) const;
  // The transactions `t` read from (others than itself, not the initial value).
  TransactionSet ReadFrom(int t) const { return tx_[t - 1].readFrom; }
  const std::vector<Event>& History() const { return run_->history; }
  TransactionSet Committed() const { return run_->committed; }

  // What protocols do.
  void Abort(int t, Cause cause);
  // The waiting transactions of `set` become runnable, in the order their waits began.
  void MakeRunnable(TransactionSet set);
  // A write enters the history outside its own step (a workspace's writes at commit).
  void WriteToHistory(int t, char item);

 private:
  enum class Phase : std::uint8_t { Inactive, Active, Committed, Aborted };
  struct Transaction {
    Phase phase = Phase::Inactive;
    std::int32_t ts = 0;
    std::int32_t head = -1;  // the backlog: steps linked through next_
    std::int32_t tail = -1;
    TransactionSet waitsFor;
    std::uint32_t waitBegan = 0;
    bool runnable = false;
    TransactionSet readFrom;
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
  Transaction tx_[kTransactionCount];
  std::int8_t runnable_[kTransactionCount] = {};
  int runnableCount_ = 0;
  std::uint32_t waits_ = 0;  // waits begun so far
  int deciding_ = 0;         // the transaction whose operation is being decided
  // Per item, the writers in the history, latest write first.
  std::int8_t writers_[kItemCount][kTransactionCount] = {};
  std::int8_t writerCount_[kItemCount] = {};
};

// The nine protocols, by family; each file holds one family.
class TimestampRules : public Rules {  // to, to_basic: the scheduler's own rules
 public:
  explicit TimestampRules(bool thomasWriteRule) { tables_.thomasWriteRule = thomasWriteRule; }
  void Reset(Replay& replay) override;
  void Begin(Replay& replay, int t) override;
  Outcome Decide(Replay& replay, const Step& step) override;

 private:
  SchedulerTables tables_;
};

class StrictTimestampRules : public Rules {  // strict_to
 public:
  void Reset(Replay& replay) override;
  Outcome Decide(Replay& replay, const Step& step) override;
  void Released(Replay& replay, int t, bool committed) override;

 private:
  std::int32_t readTs_[kItemCount] = {};
};

class MultiversionRules : public Rules {  // mvto
 public:
  void Reset(Replay& replay) override;
  Outcome Decide(Replay& replay, const Step& step) override;
  void Released(Replay& replay, int t, bool committed) override;
  bool Order(const Replay& replay, std::vector<std::int32_t>& order) override;

 private:
  TransactionSet versions_[kItemCount] = {};  // the writers with a version of the item
  // R-TS by writer, 0: the initial one
  std::int32_t readTs_[kItemCount][kTransactionCount + 1] = {};
  TransactionSet readers_[kItemCount][kTransactionCount + 1] = {};  // who read each version
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
    TransactionSet shared;     // holders of S
    TransactionSet exclusive;  // the holder of X
    Request queue[kTransactionCount];
    int queued = 0;
  };
  TransactionSet WouldWaitFor(const Lock& lock, int place, const Request& request) const;
  StepWhy Why(StepRule rule, const Step& step, TransactionSet others = {}) const;
  TransactionSet Granted(int item);
  bool FindCycle(const Replay& replay, std::vector<std::int32_t>& cycle) const;

  Policy policy_;
  Lock locks_[kItemCount];
  std::int8_t requestItem_[kTransactionCount] = {};  // the item of a queued request, or -1
  std::uint32_t heldItems_[kTransactionCount] = {};
};

// The workspace of occ and si: a transaction's writes wait there, in the order of their first
// writes, and reach the history when it commits; it reads its own writes from there.
class Workspace {
 public:
  void Reset();
  void Begin(int t);
  [[nodiscard]] bool Wrote(int t, int x) const { return (writeSet_[t - 1] & (1u << x)) != 0; }
  [[nodiscard]] std::uint32_t Writes(int t) const { return writeSet_[t - 1]; }
  // The writer of the last committed version of item x; 0: the initial one.
  [[nodiscard]] int LastCommitted(int x) const { return lastCommitted_[x]; }
  // `t` reads item x: its own write, or else the version of `committedWriter`.
  [[nodiscard]] Outcome Read(int t, int x, int committedWriter, StepRule rule) const;
  Outcome Write(int t, int x, StepRule rule);
  // `rule` with the first transaction that committed after `t` began and wrote one of `items`,
  // and the first such item; none when no such transaction committed.
  [[nodiscard]] std::optional<StepWhy> CommittedSinceBegin(int t, std::uint32_t items,
                                                           StepRule rule) const;
  // Writes t's workspace into the history; returns its place among the commits, 1 for the first.
  int Commit(Replay& replay, int t);

 private:
  std::uint32_t writeSet_[kTransactionCount] = {};
  std::int8_t writeOrder_[kTransactionCount][kItemCount] = {};  // items by first write
  std::int8_t writeCount_[kTransactionCount] = {};
  std::int32_t beganAt_[kTransactionCount] = {};  // commits before the begin
  std::int8_t commits_[kTransactionCount] = {};   // committed transactions, in commit order
  std::int32_t commitCount_ = 0;
  std::int8_t lastCommitted_[kItemCount] = {};
};

class OptimisticRules : public Rules {  // occ
 public:
  void Reset(Replay& replay) override;
  void Begin(Replay& replay, int t) override;
  Outcome Decide(Replay& replay, const Step& step) override;

 private:
  Workspace workspace_;
  std::uint32_t readSet_[kTransactionCount] = {};
};

class SnapshotRules : public Rules {  // si
 public:
  void Reset(Replay& replay) override;
  void Begin(Replay& replay, int t) override;
  Outcome Decide(Replay& replay, const Step& step) override;
  bool Order(const Replay& replay, std::vector<std::int32_t>& order) override;

 private:
  Workspace workspace_;
  // At each begin, per item, the writer of the last committed version (0: the initial one).
  std::int8_t snapshot_[kTransactionCount][kItemCount] = {};
  // The versions each transaction read, per item: their writers, and the initial ones.
  TransactionSet readVersions_[kTransactionCount][kItemCount] = {};
  std::uint32_t readsInitial_[kTransactionCount] = {};
  std::int32_t commitRank_[kTransactionCount] = {};  // 1 for the first commit; 0: none
};

}  // namespace tosim::protocols
