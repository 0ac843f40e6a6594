#include "analysis/plan_analysis.h"

#include <algorithm>

// The written schedule S is analysed as it streams past, in memory that does not depend on its
// length. Conflicts, reads-from and the recoverability verdicts need only bit sets per item and
// transaction; the view search keeps what it needs itself (view_search.cpp).

namespace tosim::analysis {

namespace {

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

PlanAnalysis::PlanAnalysis() {
  basic_.thomasWriteRule = false;
}

void PlanAnalysis::Start(std::int64_t line, std::int32_t planNumber) {
  const Operation start{OpKind::Plan, planNumber, ' '};
  Decide(tables_, start);
  Decide(basic_, start);

  report_.line = line;
  report_.plan = planNumber;
  report_.skippedWrites.clear();
  report_.executed.clear();

  occurs_ = ended_ = committed_ = aborted_ = 0;
  edges_.fill(0);
  std::fill(std::begin(readsFrom_), std::end(readsFrom_), 0);
  std::fill(std::begin(dependsOn_), std::end(dependsOn_), 0);
  recoverable_ = cascadeless_ = strict_ = true;
  ForEach(touchedItems_, [&](int x) { items_[x] = ItemState{}; });
  touchedItems_ = 0;
  view_.Reset();
}

PlanAnalysis::ItemState& PlanAnalysis::Touch(int x) {
  touchedItems_ |= Bit(x);
  return items_[x];
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
  // Any number comes here; only the decisions below that use `t` guarantee it is 1..10.
  const int t = static_cast<int>(static_cast<std::uint32_t>(operation.number) -
                                 static_cast<std::uint32_t>(kFirstTransaction));
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
      report_.skippedWrites.push_back(access);
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

  // Reads-from in S: the latest write by a transaction not aborted so far.
  const int source = view_.LatestWriter(x, aborted_);
  if (source >= 0 && source != j) {
    readsFrom_[j] |= Bit(source);
    if ((committed_ & Bit(source)) == 0) {
      cascadeless_ = false;
    }
  }
  view_.Read(j, x, aborted_, committed_);
}

void PlanAnalysis::WriteInSchedule(int i, int x) {
  ItemState& item = Touch(x);
  const Mask others = (item.readers | item.writers) & ~Bit(i);
  ForEach(others, [&](int o) { edges_[o] |= Bit(i); });
  if ((item.writers & ~Bit(i) & ~ended_) != 0) {
    strict_ = false;
  }
  item.writers |= Bit(i);
  view_.Write(i, x);
}

const PlanReport& PlanAnalysis::Finish() {
  FinishTimestampOrdering();

  Numbers(occurs_, report_.transactions);
  const Mask inP = occurs_ & ~aborted_;
  FinishConflicts(inP);
  report_.viewSerializable = view_.Find(aborted_, inP, report_.viewOrder);
  report_.recoverable = recoverable_;
  report_.cascadeless = cascadeless_;
  report_.strict = strict_;
  return report_;
}

void PlanAnalysis::FinishTimestampOrdering() {
  const EndStates states = StatesOf(tables_);
  Numbers(states.committed, report_.committed);
  Numbers(states.aborted, report_.aborted);
  report_.timestamps.clear();
  ForEach(states.begun, [&](int t) {
    report_.timestamps.emplace_back(t + kFirstTransaction, tables_.TransactionTable[t].TStamp);
  });
  Numbers(states.begun & ~states.aborted, report_.toOrder);
  std::sort(report_.toOrder.begin(), report_.toOrder.end(), [&](std::int32_t a, std::int32_t b) {
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
  Numbers(cascading, report_.cascading);

  const EndStates basic = StatesOf(basic_);
  Numbers(basic.committed, report_.withoutThomasCommitted);
  Numbers(basic.aborted, report_.withoutThomasAborted);
}

void PlanAnalysis::FinishConflicts(Mask inP) {
  report_.edges.clear();
  ForEach(inP, [&](int i) {
    ForEach(edges_[i] & inP, [&](int j) {
      report_.edges.emplace_back(i + kFirstTransaction, j + kFirstTransaction);
    });
  });
  report_.conflictSerializable =
      OrderOrCycle(edges_, inP, report_.conflictOrder, report_.conflictCycle);
}

}  // namespace tosim::analysis
