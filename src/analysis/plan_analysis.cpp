#include "analysis/plan_analysis.h"

#include <algorithm>
#include <bit>

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

// The reader's warning for `error`; IgnoredText for no error.
WarningKind KindOf(SyntaxError error) {
  switch (error) {
    case SyntaxError::IllegalOperation:
      return WarningKind::IllegalOperation;
    case SyntaxError::NumberExpected:
      return WarningKind::NumberExpected;
    case SyntaxError::OpenExpected:
      return WarningKind::OpenExpected;
    case SyntaxError::LetterExpected:
      return WarningKind::LetterExpected;
    case SyntaxError::CloseExpected:
      return WarningKind::CloseExpected;
    case SyntaxError::None:
      break;
  }
  return WarningKind::IgnoredText;
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

PlanAnalysis::PlanAnalysis(PlanTimestamps timestamps) {
  tables_.planTimestamps = timestamps;
  basic_.planTimestamps = timestamps;
  basic_.thomasWriteRule = false;
}

void PlanAnalysis::Start(std::int64_t line, std::int32_t planNumber, SyntaxError error,
                         const IgnoredText* ignored) {
  const Operation start{OpKind::Plan, planNumber, ' '};
  Decide(tables_, start);
  Decide(basic_, start);

  report_.line = line;
  report_.plan = planNumber;
  report_.hasPlan = true;
  report_.skippedWrites.clear();
  report_.executed.clear();
  report_.warnings.clear();
  report_.readsFrom.clear();
  report_.trace.clear();
  report_.counterAtStart = tables_.TimestampCounter;
  report_.unrecoverable = report_.cascade = report_.unstrict = Breach{};

  position_ = 1;
  occurs_ = begun_ = ended_ = committed_ = aborted_ = 0;
  edges_.fill(0);
  std::fill(std::begin(readsFrom_), std::end(readsFrom_), 0);
  for (auto& items : readFromItems_) {
    std::fill(std::begin(items), std::end(items), 0u);
  }
  std::fill(std::begin(dependsOn_), std::end(dependsOn_), 0);
  recoverable_ = cascadeless_ = strict_ = true;
  ForEach(touchedItems_, [&](int x) { items_[x] = ItemState{}; });
  touchedItems_ = 0;
  view_.Reset();
  ReaderWarning(error, ignored);
}

const PlanReport& PlanAnalysis::LineWithoutPlan(std::int64_t line) {
  report_ = PlanReport{};
  report_.line = line;
  report_.hasPlan = false;
  report_.counterAtStart = tables_.TimestampCounter;
  report_.warnings.push_back(Warning{1, WarningKind::NoPlan, 0, IgnoredText{}});
  return report_;
}

PlanAnalysis::ItemState& PlanAnalysis::Touch(int x) {
  touchedItems_ |= Bit(x);
  return items_[x];
}

void PlanAnalysis::ReaderWarning(SyntaxError error, const IgnoredText* ignored) {
  const bool skipped = ignored != nullptr && ignored->count != 0;
  if (error == SyntaxError::None && !skipped) {
    return;
  }
  Warning warning{position_, KindOf(error), 0, IgnoredText{}};
  if (skipped) {
    warning.ignored = *ignored;
  }
  report_.warnings.push_back(warning);
}

void PlanAnalysis::Warn(WarningKind kind, std::int32_t transaction) {
  report_.warnings.push_back(Warning{position_, kind, transaction, IgnoredText{}});
}

// What is odd about what a transaction's operation means, judged on the plan as written so far:
// at most one warning, the first that applies.
void PlanAnalysis::MeaningWarning(const Operation& operation) {
  const std::int32_t number = operation.number;
  switch (operation.kind) {
    case OpKind::Begin:
    case OpKind::Read:
    case OpKind::Write:
    case OpKind::Validate:
    case OpKind::Abort:
      break;
    default:
      return;
  }
  if (number < kFirstTransaction || number > kLastTransaction) {
    Warn(WarningKind::TransactionOutOfRange, number);
    return;
  }
  const bool access = operation.kind == OpKind::Read || operation.kind == OpKind::Write;
  if (access && (operation.item < 'A' || operation.item > 'Z')) {
    Warn(WarningKind::ItemOutOfRange, number);
    return;
  }
  const Mask t = Bit(number - kFirstTransaction);
  if (operation.kind == OpKind::Begin && (begun_ & t) != 0) {
    Warn(WarningKind::SecondBegin, number);
  } else if ((committed_ & t) != 0) {
    Warn(WarningKind::AfterCommit, number);
  } else if ((aborted_ & t) != 0) {
    Warn(WarningKind::AfterAbort, number);
  } else if (operation.kind != OpKind::Begin && (begun_ & t) == 0) {
    Warn(WarningKind::NotBegun, number);
  }
  if (operation.kind == OpKind::Begin) {
    begun_ |= t;
  }
}

void PlanAnalysis::Add(const Operation& operation, SyntaxError error, const IgnoredText* ignored) {
  ++position_;
  ReaderWarning(error, ignored);
  MeaningWarning(operation);
  report_.trace.push_back(DecideStep(tables_, operation, error));
  Decided(operation, report_.trace.back().decision);
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
      if ((readsFrom_[t] & ~committed_) != 0 && recoverable_) {
        recoverable_ = false;
        const int u = std::countr_zero(readsFrom_[t] & ~committed_);
        Breached(report_.unrecoverable, t, u, std::countr_zero(readFromItems_[t][u]));
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
  if ((otherWriters & ~ended_) != 0 && strict_) {
    strict_ = false;
    Breached(report_.unstrict, j, std::countr_zero(otherWriters & ~ended_), x);
  }
  item.readers |= Bit(j);

  // Reads-from in S: Tj reads x from the latest write of x before this read by a transaction not
  // aborted so far, when that is another transaction's.
  const int source = view_.LatestWriter(x, aborted_);
  if (source >= 0 && source != j) {
    readsFrom_[j] |= Bit(source);
    if ((readFromItems_[j][source] & Bit(x)) == 0) {
      readFromItems_[j][source] |= Bit(x);
      report_.readsFrom.push_back(
          ReadFrom{j + kFirstTransaction, source + kFirstTransaction, static_cast<char>('A' + x)});
    }
    if ((committed_ & Bit(source)) == 0 && cascadeless_) {
      cascadeless_ = false;
      Breached(report_.cascade, j, source, x);
    }
  }
  view_.Read(j, x, aborted_, committed_);
}

void PlanAnalysis::Breached(Breach& breach, int t, int u, int x) const {
  breach =
      Breach{position_, t + kFirstTransaction, u + kFirstTransaction, static_cast<char>('A' + x)};
}

void PlanAnalysis::WriteInSchedule(int i, int x) {
  ItemState& item = Touch(x);
  const Mask others = (item.readers | item.writers) & ~Bit(i);
  ForEach(others, [&](int o) { edges_[o] |= Bit(i); });
  if ((item.writers & ~Bit(i) & ~ended_) != 0 && strict_) {
    strict_ = false;
    Breached(report_.unstrict, i, std::countr_zero(item.writers & ~Bit(i) & ~ended_), x);
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
  Numbers(states.begun & ~states.committed & ~states.aborted, report_.active);
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
