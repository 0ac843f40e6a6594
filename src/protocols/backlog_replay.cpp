#include "protocols/backlog_replay.h"

#include <algorithm>

#include "schedule/smallest_order.h"

namespace tosim::protocols {

TransactionSet Replay::WaitingFor(int t) const {
  TransactionSet set;
  for (int u = kFirstTransaction; u <= kLastTransaction; ++u) {
    if (tx_[u - 1].waitsFor.Contains(t)) {
      set.Insert(u);
    }
  }
  return set;
}

int Replay::LastWriter(int item, bool skipAborted) const {
  for (int m = 0; m < writerCount_[item]; ++m) {
    const int writer = writers_[item][m];
    if (!skipAborted || !IsAborted(writer)) {
      return writer;
    }
  }
  return 0;
}

void Replay::Run(const std::vector<Step>& schedule,
                 const std::int32_t (&timestamps)[kTransactionCount], ProtocolRun& run) {
  run_ = &run;
  run.steps = schedule;
  run.history.clear();
  run.committed = run.aborted = run.waiting = run.active = run.unrecoverable = {};
  run.deadlocks.clear();
  next_.assign(schedule.size(), -1);
  for (int t = 0; t < kTransactionCount; ++t) {
    tx_[t] = Transaction{};
    tx_[t].ts = timestamps[t];
  }
  runnableCount_ = 0;
  waits_ = 0;
  deciding_ = 0;
  std::fill(std::begin(writerCount_), std::end(writerCount_), 0);
  rules_.Reset(*this);

  for (std::size_t i = 0; i < schedule.size(); ++i) {
    Take(static_cast<std::int32_t>(i));
    RunRunnable();
  }
  // A write into the workspace of a transaction whose commit then failed never took effect.
  for (Step& step : run.steps) {
    if (step.kind == OpKind::Write && step.result == Result::Executed &&
        run.aborted.Contains(step.t)) {
      if (run.causes[step.t - 1] == Cause::Validation) {
        step.why.rule = StepRule::OccWriteLost;
      } else if (run.causes[step.t - 1] == Cause::FirstCommitter) {
        step.why.rule = StepRule::SiWriteLost;
      }
    }
  }

  for (int t = kFirstTransaction; t <= kLastTransaction; ++t) {
    const Transaction& transaction = tx_[t - 1];
    if (transaction.phase == Phase::Active) {
      (transaction.head >= 0 ? run.waiting : run.active).Insert(t);
    }
    if (transaction.phase == Phase::Committed && !(transaction.readFrom & run.aborted).Empty()) {
      run.unrecoverable.Insert(t);
    }
  }
  run.orderExists = rules_.Order(*this, run.order);
  if (!run.orderExists) {
    run.order.clear();
  }
}

void Replay::Take(std::int32_t index) {
  Step& step = run_->steps[index];
  Transaction& transaction = tx_[step.t - 1];
  if (step.kind == OpKind::Begin) {
    if (transaction.phase != Phase::Inactive) {
      step.result = Result::Ignored;
      step.why.rule = StepRule::BeginAgain;
      return;
    }
    transaction.phase = Phase::Active;
    rules_.Begin(*this, step.t);
    step.result = Result::Executed;
    step.why.rule = StepRule::Begin;
    step.why.ts = transaction.ts;
    return;
  }
  if (transaction.phase != Phase::Active) {
    step.result = Result::Ignored;
    step.why.rule = StepRule::NotActive;
    step.why.a = transaction.phase == Phase::Inactive    ? 0
                 : transaction.phase == Phase::Committed ? 1
                                                         : 2;
  } else if (transaction.head >= 0) {
    // A blocked transaction sends nothing: the operation queues behind the one that waits.
    next_[transaction.tail] = index;
    transaction.tail = index;
    step.delayed = true;
  } else {
    Decide(index, false);
  }
}

bool Replay::Decide(std::int32_t index, bool queued) {
  Step& step = run_->steps[index];
  const int t = step.t;
  Transaction& transaction = tx_[t - 1];
  deciding_ = t;
  const Outcome outcome = rules_.Decide(*this, step);
  deciding_ = 0;
  step.why = outcome.why;
  step.wounded |= outcome.wounded;
  if (step.why.rule == StepRule::Pending && outcome.kind == Outcome::Executed) {
    step.why.rule = step.kind == OpKind::Validate ? StepRule::Commit : StepRule::Abort;
  }

  if (outcome.kind == Outcome::Waits) {
    if (!queued) {
      transaction.head = transaction.tail = index;
      step.delayed = true;
    }
    if (step.waitedFor.Empty()) {
      step.waitedFor = outcome.waitsFor;
    }
    transaction.waitsFor = outcome.waitsFor;
    transaction.waitBegan = ++waits_;
    rules_.Waited(*this, t);
    return true;
  }

  if (queued) {
    transaction.head = next_[index];
    if (transaction.head < 0) {
      transaction.tail = -1;
    }
  }
  switch (outcome.kind) {
    case Outcome::Executed:
      step.result = Result::Executed;
      switch (step.kind) {
        case OpKind::Read:
          step.from = outcome.from;
          if (outcome.from > 0 && outcome.from != t) {
            transaction.readFrom.Insert(outcome.from);
          }
          run_->history.push_back({OpKind::Read, step.t, step.item});
          break;
        case OpKind::Write:
          if (outcome.inHistory) {
            WriteToHistory(t, step.item);
          }
          break;
        case OpKind::Validate:
          Commit(t);
          break;
        case OpKind::Abort:
          Abort(t, Cause::Abort);
          break;
        default:
          break;
      }
      break;
    case Outcome::Skipped:
      step.result = Result::Skipped;
      break;
    case Outcome::Rejected:
      step.result = Result::Rejected;
      Abort(t, outcome.cause);
      break;
    case Outcome::Waits:
      break;
  }
  return false;
}

void Replay::RunRunnable() {
  while (runnableCount_ > 0) {
    const int t = runnable_[0];
    Unqueue(t);
    while (IsActive(t) && tx_[t - 1].head >= 0) {
      if (Decide(tx_[t - 1].head, true)) {
        break;  // it waits again and stays first
      }
    }
  }
}

void Replay::Commit(int t) {
  run_->history.push_back({OpKind::Validate, static_cast<std::int8_t>(t), ' '});
  tx_[t - 1].phase = Phase::Committed;
  run_->committed.Insert(t);
  rules_.Released(*this, t, true);
}

void Replay::Abort(int t, Cause cause) {
  Transaction& transaction = tx_[t - 1];
  if (transaction.phase != Phase::Active) {
    return;
  }
  run_->history.push_back({OpKind::Abort, static_cast<std::int8_t>(t), ' '});
  for (std::int32_t index = transaction.head; index >= 0; index = next_[index]) {
    run_->steps[index].result = Result::Dropped;
    run_->steps[index].why = StepWhy{StepRule::Dropped};
  }
  transaction.head = transaction.tail = -1;
  Unqueue(t);
  transaction.waitsFor = {};
  transaction.phase = Phase::Aborted;
  run_->aborted.Insert(t);
  run_->causes[t - 1] = cause;
  rules_.Released(*this, t, false);
}

void Replay::MakeRunnable(TransactionSet set) {
  std::int8_t ready[kTransactionCount];
  int count = 0;
  set.ForEach([&](int t) {
    const Transaction& transaction = tx_[t - 1];
    if (transaction.phase == Phase::Active && !transaction.waitsFor.Empty() &&
        !transaction.runnable && t != deciding_) {
      ready[count++] = static_cast<std::int8_t>(t);
    }
  });
  // Those freed together join the runnable list in the order their waits began; the list runs
  // first come, first served.
  std::sort(ready, ready + count, [&](std::int8_t a, std::int8_t b) {
    return tx_[a - 1].waitBegan < tx_[b - 1].waitBegan;
  });
  for (int i = 0; i < count; ++i) {
    Transaction& transaction = tx_[ready[i] - 1];
    transaction.runnable = true;
    transaction.waitsFor = {};
    runnable_[runnableCount_++] = ready[i];
  }
}

void Replay::Unqueue(int t) {
  Transaction& transaction = tx_[t - 1];
  if (!transaction.runnable) {
    return;
  }
  transaction.runnable = false;
  const auto end = std::remove(runnable_, runnable_ + runnableCount_, static_cast<std::int8_t>(t));
  runnableCount_ = static_cast<int>(end - runnable_);
}

void Replay::WriteToHistory(int t, char item) {
  run_->history.push_back({OpKind::Write, static_cast<std::int8_t>(t), item});
  const int x = item - 'A';
  std::int8_t* ranking = writers_[x];
  std::int8_t* const end = ranking + writerCount_[x];
  std::int8_t* position = std::find(ranking, end, static_cast<std::int8_t>(t));
  if (position == end) {
    ++writerCount_[x];
  }
  std::copy_backward(ranking, position, position + 1);
  ranking[0] = static_cast<std::int8_t>(t);
}

bool Rules::Order(const Replay& replay, std::vector<std::int32_t>& order) {
  // Conflicts between committed transactions, in history order.
  const TransactionSet committed = replay.Committed();
  TransactionGraph edges;
  TransactionSet readers[kItemCount] = {};
  TransactionSet writers[kItemCount] = {};
  for (const Event& event : replay.History()) {
    if (!committed.Contains(event.t) ||
        (event.kind != OpKind::Read && event.kind != OpKind::Write)) {
      continue;
    }
    const int x = event.item - 'A';
    const TransactionSet before =
        event.kind == OpKind::Read ? writers[x] : (readers[x] | writers[x]);
    edges.Add(before - TransactionSet{event.t}, event.t);
    (event.kind == OpKind::Read ? readers[x] : writers[x]).Insert(event.t);
  }
  return SmallestOrder(edges, committed, order);
}

}  // namespace tosim::protocols
