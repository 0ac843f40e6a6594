// The locking family: rigorous two-phase locking (locks held to the end) with three ways out of
// waiting: deadlock detection (2pl), wait-die and wound-wait.
#include <algorithm>
#include <iterator>

#include "protocols/backlog_replay.h"

namespace tosim::protocols {

namespace {

// Only two shared locks do not conflict.
Mask Conflicting(bool exclusive, Mask shared, Mask exclusiveHolder) {
  return exclusive ? static_cast<Mask>(shared | exclusiveHolder) : exclusiveHolder;
}

}  // namespace

void LockingRules::Reset(Replay& /*replay*/) {
  std::fill(std::begin(locks_), std::end(locks_), Lock{});
  std::fill(std::begin(requestItem_), std::end(requestItem_), -1);
  std::fill(std::begin(heldItems_), std::end(heldItems_), 0u);
}

Mask LockingRules::WouldWaitFor(const Lock& lock, int place, const Request& request) const {
  Mask set = Conflicting(request.exclusive, lock.shared, lock.exclusive);
  for (int i = 0; i < place; ++i) {
    const Request& ahead = lock.queue[i];
    if (request.exclusive || ahead.exclusive) {
      set |= Bit(ahead.t);
    }
  }
  return static_cast<Mask>(set & ~Bit(request.t));
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
    return ((exclusive ? lock.exclusive : lock.shared | lock.exclusive) & Bit(t)) != 0;
  };
  const auto executed = [&](StepRule rule, Mask others = 0) {
    const StepWhy why = Why(rule, step, others);
    return exclusive ? Outcome::Done(why) : Outcome::Read(replay.LastWriter(x, true), why);
  };
  if (holds()) {
    return executed(StepRule::LockHeld);
  }

  const Request request{static_cast<std::int8_t>(t), exclusive,
                        exclusive && (lock.shared & Bit(t)) != 0};
  // An upgrade goes behind the upgrades queued (always first) and ahead of every other request.
  int place = lock.queued;
  if (request.upgrade) {
    place = 0;
    while (place < lock.queued && lock.queue[place].upgrade) {
      ++place;
    }
  }
  const Mask waitFor = WouldWaitFor(lock, place, request);
  if (waitFor == 0) {
    lock.shared &= static_cast<Mask>(~Bit(t));
    (exclusive ? lock.exclusive : lock.shared) |= Bit(t);
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
      Mask older = 0;
      ForEachIn(waitFor, [&](int u) {
        if (replay.Older(u, t)) {
          older = static_cast<Mask>(older | Bit(u));
        }
      });
      if (older != 0) {
        return Outcome::Reject(Why(StepRule::Dies, step, older), Cause::Died);
      }
      break;
    }
    case Policy::WoundWait: {
      // The request is queued already, so that the locks the wounded release come to it.
      Mask wounded = 0;
      ForEachIn(waitFor, [&](int u) {
        if (replay.Older(t, u)) {
          replay.Abort(u, Cause::Wounded);
          wounded = static_cast<Mask>(wounded | Bit(u));
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
        const Mask still = WouldWaitFor(now, at, request);
        outcome = Outcome::Wait(still, Why(StepRule::LockWaits, step, still));
      }
      outcome.wounded = wounded;
      return outcome;
    }
  }
  return Outcome::Wait(waitFor, Why(StepRule::LockWaits, step, waitFor));
}

StepWhy LockingRules::Why(StepRule rule, const Step& step, Mask others) const {
  StepWhy why{rule};
  why.others = others;
  why.a = step.kind == OpKind::Write ? 1 : 0;
  return why;
}

Mask LockingRules::Granted(int item) {
  Lock& lock = locks_[item];
  Mask granted = 0;
  while (lock.queued > 0) {
    const Request first = lock.queue[0];
    const Mask others = static_cast<Mask>(
        Conflicting(first.exclusive, lock.shared, lock.exclusive) & ~Bit(first.t));
    if (others != 0) {
      break;
    }
    lock.shared &= static_cast<Mask>(~Bit(first.t));
    (first.exclusive ? lock.exclusive : lock.shared) |= Bit(first.t);
    heldItems_[first.t - 1] |= 1u << item;
    requestItem_[first.t - 1] = -1;
    std::copy(lock.queue + 1, lock.queue + lock.queued, lock.queue);
    --lock.queued;
    granted |= Bit(first.t);
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
  Mask granted = 0;
  for (int x = 0; x < kItems; ++x) {
    if ((items & (1u << x)) != 0) {
      locks_[x].shared &= static_cast<Mask>(~Bit(t));
      locks_[x].exclusive &= static_cast<Mask>(~Bit(t));
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
  Mask edges[kTransactions] = {};
  for (int t = 1; t <= kTransactions; ++t) {
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
  Mask done = 0;
  Mask onPath = 0;
  std::int8_t path[kTransactions];
  int length = 0;
  std::int8_t nextSuccessor[kTransactions] = {};  // where each node on the path goes on
  for (int start = 1; start <= kTransactions; ++start) {
    if ((done & Bit(start)) != 0) {
      continue;
    }
    path[length++] = static_cast<std::int8_t>(start);
    onPath |= Bit(start);
    nextSuccessor[start - 1] = 1;
    while (length > 0) {
      const int u = path[length - 1];
      int v = nextSuccessor[u - 1];
      while (v <= kTransactions && ((edges[u - 1] & Bit(v)) == 0 || (done & Bit(v)) != 0)) {
        ++v;
      }
      if (v > kTransactions) {
        onPath &= static_cast<Mask>(~Bit(u));
        done |= Bit(u);
        --length;
        continue;
      }
      nextSuccessor[u - 1] = static_cast<std::int8_t>(v + 1);
      if ((onPath & Bit(v)) != 0) {
        cycle.assign(std::find(path, path + length, v), path + length);
        cycle.push_back(v);
        return true;
      }
      path[length++] = static_cast<std::int8_t>(v);
      onPath |= Bit(v);
      nextSuccessor[v - 1] = 1;
    }
  }
  return false;
}

}  // namespace tosim::protocols
