// The locking family: rigorous two-phase locking (locks held to the end) with three ways out of
// waiting: deadlock detection (2pl), wait-die and wound-wait.
#include <algorithm>
#include <iterator>

#include "protocols/backlog_replay.h"

namespace tosim::protocols {

namespace {

// Only two shared locks do not conflict.
TransactionSet Conflicting(bool exclusive, TransactionSet shared, TransactionSet exclusiveHolder) {
  return exclusive ? shared | exclusiveHolder : exclusiveHolder;
}

}  // namespace

void LockingRules::Reset(Replay& /*replay*/) {
  std::fill(std::begin(locks_), std::end(locks_), Lock{});
  std::fill(std::begin(requestItem_), std::end(requestItem_), -1);
  std::fill(std::begin(heldItems_), std::end(heldItems_), 0u);
}

TransactionSet LockingRules::WouldWaitFor(const Lock& lock, int place,
                                          const Request& request) const {
  TransactionSet set = Conflicting(request.exclusive, lock.shared, lock.exclusive);
  for (int i = 0; i < place; ++i) {
    const Request& ahead = lock.queue[i];
    if (request.exclusive || ahead.exclusive) {
      set.Insert(ahead.t);
    }
  }
  set.Erase(request.t);
  return set;
}

Outcome LockingRules::Decide(Replay& replay, const Step& step) {
  if (step.kind != OpKind::Read && step.kind != OpKind::Write) {
    return Outcome::Done();  // a commit or an abort releases, afterwards
  }
  const int t = step.t;
  const int x = step.item - 'A';
  const bool exclusive = step.kind == OpKind::Write;
  Lock& lock = locks_[x];
  const auto holds = [&] {
    return (exclusive ? lock.exclusive : lock.shared | lock.exclusive).Contains(t);
  };
  const auto executed = [&](StepRule rule) {
    const StepWhy why = Why(rule, step);
    return exclusive ? Outcome::Done(why) : Outcome::Read(replay.LastWriter(x, true), why);
  };
  if (holds()) {
    return executed(StepRule::LockHeld);
  }

  const Request request{static_cast<std::int8_t>(t), exclusive,
                        exclusive && lock.shared.Contains(t)};
  // An upgrade goes behind the upgrades queued (always first) and ahead of every other request.
  int place = lock.queued;
  if (request.upgrade) {
    place = 0;
    while (place < lock.queued && lock.queue[place].upgrade) {
      ++place;
    }
  }
  const TransactionSet waitFor = WouldWaitFor(lock, place, request);
  if (waitFor.Empty()) {
    lock.shared.Erase(t);
    (exclusive ? lock.exclusive : lock.shared).Insert(t);
    heldItems_[t - 1] |= 1u << x;
    return executed(StepRule::LockGranted);
  }
  std::copy_backward(lock.queue + place, lock.queue + lock.queued, lock.queue + lock.queued + 1);
  lock.queue[place] = request;
  ++lock.queued;
  requestItem_[t - 1] = static_cast<std::int8_t>(x);

  switch (policy_) {
    case Policy::Detect:
      break;  // the deadlock search follows the wait
    case Policy::WaitDie: {
      bool olderHolds = false;
      waitFor.ForEach([&](int u) { olderHolds = olderHolds || replay.Older(u, t); });
      if (olderHolds) {
        return Outcome::Reject(Why(StepRule::Dies, step, waitFor), Cause::Died);
      }
      break;
    }
    case Policy::WoundWait: {
      // The request is queued already, so that the locks the wounded release come to it.
      TransactionSet wounded;
      waitFor.ForEach([&](int u) {
        if (replay.Older(t, u)) {
          replay.Abort(u, Cause::Wounded);
          wounded.Insert(u);
        }
      });
      Outcome outcome;
      if (holds()) {
        outcome = executed(StepRule::LockGranted);
      } else {
        const Lock& now = locks_[x];
        const int at =
            static_cast<int>(std::find_if(now.queue, now.queue + now.queued,
                                          [&](const Request& queued) { return queued.t == t; }) -
                             now.queue);
        const TransactionSet still = WouldWaitFor(now, at, request);
        outcome = Outcome::Wait(still, Why(StepRule::LockWaits, step, still));
      }
      outcome.wounded = wounded;
      return outcome;
    }
  }
  return Outcome::Wait(waitFor, Why(StepRule::LockWaits, step, waitFor));
}

StepWhy LockingRules::Why(StepRule rule, const Step& step, TransactionSet others) const {
  StepWhy why{rule};
  why.others = others;
  why.a = step.kind == OpKind::Write ? 1 : 0;
  return why;
}

TransactionSet LockingRules::Granted(int item) {
  Lock& lock = locks_[item];
  TransactionSet granted;
  while (lock.queued > 0) {
    const Request first = lock.queue[0];
    const TransactionSet others =
        Conflicting(first.exclusive, lock.shared, lock.exclusive) - TransactionSet{first.t};
    if (!others.Empty()) {
      break;
    }
    lock.shared.Erase(first.t);
    (first.exclusive ? lock.exclusive : lock.shared).Insert(first.t);
    heldItems_[first.t - 1] |= 1u << item;
    requestItem_[first.t - 1] = -1;
    std::copy(lock.queue + 1, lock.queue + lock.queued, lock.queue);
    --lock.queued;
    granted.Insert(first.t);
  }
  return granted;
}

void LockingRules::Released(Replay& replay, int t, bool /*committed*/) {
  std::uint32_t items = heldItems_[t - 1];
  if (requestItem_[t - 1] >= 0) {
    const int x = requestItem_[t - 1];
    Lock& lock = locks_[x];
    const auto end = std::remove_if(lock.queue, lock.queue + lock.queued,
                                    [&](const Request& queued) { return queued.t == t; });
    lock.queued = static_cast<int>(end - lock.queue);
    items |= 1u << x;
    requestItem_[t - 1] = -1;
  }
  heldItems_[t - 1] = 0;
  TransactionSet granted;
  for (int x = 0; x < kItemCount; ++x) {
    if ((items & (1u << x)) != 0) {
      locks_[x].shared.Erase(t);
      locks_[x].exclusive.Erase(t);
      granted |= Granted(x);
    }
  }
  replay.MakeRunnable(granted);
}

void LockingRules::Waited(Replay& replay, int /*t*/) {
  if (policy_ != Policy::Detect) {
    return;
  }
  std::vector<std::int32_t> cycle;
  while (FindCycle(replay, cycle)) {
    int victim = cycle.front();
    for (const std::int32_t u : cycle) {
      if (replay.Older(victim, u)) {
        victim = u;  // the youngest
      }
    }
    deadlocks->push_back({cycle, victim});
    replay.Abort(victim, Cause::Victim);
  }
}

// Depth-first over the waits-for graph, each node once, starts and successors ascending; the
// first edge back to the current path closes the cycle.
bool LockingRules::FindCycle(const Replay& /*replay*/, std::vector<std::int32_t>& cycle) const {
  TransactionSet edges[kTransactionCount] = {};
  for (int t = kFirstTransaction; t <= kLastTransaction; ++t) {
    if (requestItem_[t - 1] < 0) {
      continue;
    }
    const Lock& lock = locks_[requestItem_[t - 1]];
    for (int place = 0; place < lock.queued; ++place) {
      if (lock.queue[place].t == t) {
        edges[t - 1] = WouldWaitFor(lock, place, lock.queue[place]);
      }
    }
  }
  TransactionSet done;
  TransactionSet onPath;
  std::int8_t path[kTransactionCount];
  int length = 0;
  std::int8_t nextSuccessor[kTransactionCount] = {};  // where each node on the path goes on
  for (int start = kFirstTransaction; start <= kLastTransaction; ++start) {
    if (done.Contains(start)) {
      continue;
    }
    path[length++] = static_cast<std::int8_t>(start);
    onPath.Insert(start);
    nextSuccessor[start - 1] = 1;
    while (length > 0) {
      const int u = path[length - 1];
      int v = nextSuccessor[u - 1];
      while (v <= kLastTransaction && (!edges[u - 1].Contains(v) || done.Contains(v))) {
        ++v;
      }
      if (v > kLastTransaction) {
        onPath.Erase(u);
        done.Insert(u);
        --length;
        continue;
      }
      nextSuccessor[u - 1] = static_cast<std::int8_t>(v + 1);
      if (onPath.Contains(v)) {
        cycle.assign(std::find(path, path + length, v), path + length);
        cycle.push_back(v);
        return true;
      }
      path[length++] = static_cast<std::int8_t>(v);
      onPath.Insert(v);
      nextSuccessor[v - 1] = 1;
    }
  }
  return false;
}

}  // namespace tosim::protocols
