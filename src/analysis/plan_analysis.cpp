#include "analysis/plan_analysis.h"

#include <algorithm>
#include <bit>

// The written schedule S is analysed as it streams past, in memory that does not depend on its
// length. Conflicts, reads-from and the recoverability verdicts need only bit sets per item and
// transaction; the view search keeps what it needs itself (view_search.cpp).

namespace tosim::analysis {

namespace {

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
  TransactionSet committed;
  TransactionSet aborted;
  TransactionSet begun;
};

EndStates StatesOf(const SchedulerTables& tables) {
  EndStates states;
  for (int t = kFirstTransaction; t <= kLastTransaction; ++t) {
    const TransactionState state = tables.TransactionTable[t - kFirstTransaction].state;
    switch (state) {
      case TransactionState::Validated:
        states.committed.Insert(t);
        break;
      case TransactionState::Aborted:
        states.aborted.Insert(t);
        break;
      case TransactionState::Active:
      case TransactionState::Inactive:
        break;
    }
    if (state != TransactionState::Inactive) {
      states.begun.Insert(t);
    }
  }
  return states;
}

// The smallest member of a set that is not empty.
std::int32_t Lowest(TransactionSet set) {
  return std::countr_zero(set.bits()) + kFirstTransaction;
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
  schedule_.Start();
  // Only the edges have conflicts.
  occurs_.ForEach([&](std::int32_t i) {
    edges_.Successors(i).ForEach(
        [&](std::int32_t j) { conflicts_[i - kFirstTransaction][j - kFirstTransaction] = {}; });
  });
  report_.conflicts.clear();
  occurs_ = begun_ = committed_ = aborted_ = {};
  edges_.Clear();
  std::fill(std::begin(readsFrom_), std::end(readsFrom_), TransactionSet{});
  for (auto& items : readFromItems_) {
    std::fill(std::begin(items), std::end(items), 0u);
  }
  std::fill(std::begin(dependsOn_), std::end(dependsOn_), TransactionSet{});
  recoverable_ = cascadeless_ = strict_ = true;
  ForEachBit(touchedItems_, [&](int x) { items_[x] = ItemState{}; });
  touchedItems_ = 0;
  view_.Reset();
  isolation_.Start();
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
  touchedItems_ |= 1u << x;
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
  if (operation.kind == OpKind::Begin && begun_.Contains(number)) {
    Warn(WarningKind::SecondBegin, number);
  } else if (committed_.Contains(number)) {
    Warn(WarningKind::AfterCommit, number);
  } else if (aborted_.Contains(number)) {
    Warn(WarningKind::AfterAbort, number);
  } else if (operation.kind != OpKind::Begin && !begun_.Contains(number)) {
    Warn(WarningKind::NotBegun, number);
  }
  if (operation.kind == OpKind::Begin) {
    begun_.Insert(number);
  }
}

void PlanAnalysis::Add(const Operation& operation, SyntaxError error, const IgnoredText* ignored) {
  ++position_;
  ReaderWarning(error, ignored);
  MeaningWarning(operation);
  report_.trace.push_back(DecideStep(tables_, operation, error));
  Decided(operation, report_.trace.back().decision);
  Decide(basic_, operation);

  if (!schedule_.Add(operation)) {
    return;
  }
  const std::int32_t t = operation.number;
  occurs_.Insert(t);
  switch (operation.kind) {
    case OpKind::Validate:
      if (const TransactionSet writers = readsFrom_[t - kFirstTransaction] - committed_;
          !writers.Empty() && recoverable_) {
        recoverable_ = false;
        const std::int32_t u = Lowest(writers);
        Breached(report_.unrecoverable, t, u,
                 std::countr_zero(readFromItems_[t - kFirstTransaction][u - kFirstTransaction]));
      }
      committed_.Insert(t);
      isolation_.Commit(t);
      break;
    case OpKind::Abort:
      aborted_.Insert(t);
      isolation_.Abort(t);
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
  const std::int32_t t = operation.number;
  switch (decision) {
    case Decision::ReadDone: {
      const int writer = Touch(operation.item - 'A').lastAccepted;
      if (writer != 0 && writer != t) {
        dependsOn_[t - kFirstTransaction].Insert(writer);
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
  const TransactionSet otherWriters = item.writers - TransactionSet{j};
  edges_.Add(otherWriters, j);
  otherWriters.ForEach([&](std::int32_t w) { Conflicted(w, j, x, true, false); });
  if (!(item.readers | item.writers).Contains(j)) {
    item.readFirst.Insert(j);
  }
  if (!(otherWriters - schedule_.Ended()).Empty() && strict_) {
    strict_ = false;
    Breached(report_.unstrict, j, Lowest(otherWriters - schedule_.Ended()), x);
  }
  item.readers.Insert(j);

  // Reads-from in S: Tj reads x from the latest write of x before this read by a transaction not
  // aborted so far, when that is another transaction's.
  const int source = view_.LatestWriter(x, aborted_);
  if (source != 0 && source != j) {
    readsFrom_[j - kFirstTransaction].Insert(source);
    std::uint32_t& items = readFromItems_[j - kFirstTransaction][source - kFirstTransaction];
    if ((items & (1u << x)) == 0) {
      items |= 1u << x;
      report_.readsFrom.push_back(ReadFrom{j, source, static_cast<char>('A' + x)});
    }
    if (!committed_.Contains(source) && cascadeless_) {
      cascadeless_ = false;
      Breached(report_.cascade, j, source, x);
    }
  }
  view_.Read(j, x, aborted_, committed_);
  isolation_.Read(j, x, source);
}

void PlanAnalysis::Breached(Breach& breach, std::int32_t t, std::int32_t u, int x) const {
  breach = Breach{position_, t, u, static_cast<char>('A' + x)};
}

void PlanAnalysis::WriteInSchedule(int i, int x) {
  ItemState& item = Touch(x);
  const TransactionSet others = (item.readers | item.writers) - TransactionSet{i};
  edges_.Add(others, i);
  others.ForEach([&](std::int32_t o) { Conflicted(o, i, x, !item.readFirst.Contains(o), true); });
  if (const TransactionSet open = item.writers - TransactionSet{i} - schedule_.Ended();
      !open.Empty() && strict_) {
    strict_ = false;
    Breached(report_.unstrict, i, Lowest(open), x);
  }
  item.writers.Insert(i);
  view_.Write(i, x);
  isolation_.Write(i, x);
}

// Tfrom's earliest operation on x that conflicts with Tto's latest (a write, unless Tto's is a
// read), unless an earlier conflict of the two on x came first.
void PlanAnalysis::Conflicted(int from, int to, int x, bool firstWrites, bool secondWrites) {
  Conflicts& conflicts = conflicts_[from - kFirstTransaction][to - kFirstTransaction];
  const std::uint32_t item = 1u << x;
  if ((conflicts.items & item) == 0) {
    conflicts.items |= item;
    conflicts.firstWrites |= firstWrites ? item : 0;
    conflicts.secondWrites |= secondWrites ? item : 0;
  }
}

const PlanReport& PlanAnalysis::Finish() {
  FinishTimestampOrdering();

  occurs_.Numbers(report_.transactions);
  const TransactionSet inP = occurs_ - aborted_;
  FinishConflicts(inP);
  report_.viewSerializable = view_.Find(aborted_, inP, report_.viewOrder);
  report_.recoverable = recoverable_;
  report_.cascadeless = cascadeless_;
  report_.strict = strict_;
  isolation_.Finish(report_.isolation);
  return report_;
}

void PlanAnalysis::FinishTimestampOrdering() {
  const EndStates states = StatesOf(tables_);
  states.committed.Numbers(report_.committed);
  states.aborted.Numbers(report_.aborted);
  (states.begun - states.committed - states.aborted).Numbers(report_.active);
  report_.timestamps.clear();
  states.begun.ForEach([&](std::int32_t t) {
    report_.timestamps.emplace_back(t, tables_.TransactionTable[t - kFirstTransaction].TStamp);
  });
  (states.begun - states.aborted).Numbers(report_.toOrder);
  std::sort(report_.toOrder.begin(), report_.toOrder.end(), [&](std::int32_t a, std::int32_t b) {
    return tables_.TransactionTable[a - kFirstTransaction].TStamp <
           tables_.TransactionTable[b - kFirstTransaction].TStamp;
  });
  std::erase_if(report_.executed,
                [&](const Access& access) { return states.aborted.Contains(access.t); });

  TransactionSet cascading;
  for (bool grown = true; grown;) {
    grown = false;
    (TransactionSet::All() - states.aborted - cascading).ForEach([&](std::int32_t t) {
      if (!(dependsOn_[t - kFirstTransaction] & (states.aborted | cascading)).Empty()) {
        cascading.Insert(t);
        grown = true;
      }
    });
  }
  cascading.Numbers(report_.cascading);

  const EndStates basic = StatesOf(basic_);
  basic.committed.Numbers(report_.withoutThomasCommitted);
  basic.aborted.Numbers(report_.withoutThomasAborted);
}

void PlanAnalysis::FinishConflicts(TransactionSet inP) {
  report_.edges.clear();
  inP.ForEach([&](std::int32_t i) {
    (edges_.Successors(i) & inP).ForEach([&](std::int32_t j) { report_.edges.emplace_back(i, j); });
  });
  report_.conflictSerializable =
      SmallestOrderOrCycle(edges_, inP, report_.conflictOrder, report_.conflictCycle);
  for (const auto& edge : report_.edges) {
    const std::int32_t i = edge.first;
    const std::int32_t j = edge.second;
    const Conflicts& conflicts = conflicts_[i - kFirstTransaction][j - kFirstTransaction];
    ForEachBit(conflicts.items, [&](int x) {
      const auto kind = [&](std::uint32_t writes) {
        return (writes & (1u << x)) != 0 ? OpKind::Write : OpKind::Read;
      };
      report_.conflicts.push_back(Conflict{i, j, static_cast<char>('A' + x),
                                           kind(conflicts.firstWrites),
                                           kind(conflicts.secondWrites)});
    });
  }
}

}  // namespace tosim::analysis
