#include "analysis/view_check.h"

#include <algorithm>
#include <array>

#include "schedule/transaction_set.h"
#include "schedule/written_schedule.h"

namespace tosim::analysis {

namespace {

struct AccessOfP {
  std::int64_t position;
  std::int32_t t;
  OpKind kind;
  char item;
};

struct Projection {
  std::vector<AccessOfP> accesses;  // in written order
  TransactionSet transactions;
};

// S read back from the trace; then P, the reads and writes of the transactions without an abort
// in S.
Projection ProjectionOf(const PlanReport& report) {
  Projection p;
  WrittenSchedule schedule;
  schedule.Start();
  TransactionSet occurs;
  TransactionSet aborted;
  for (std::size_t i = 0; i < report.trace.size(); ++i) {
    const TraceStep& step = report.trace[i];
    if (!schedule.Add(Operation{step.kind, step.number, step.item})) {
      continue;
    }
    occurs.Insert(step.number);
    if (step.kind == OpKind::Abort) {
      aborted.Insert(step.number);
    } else if (step.kind == OpKind::Read || step.kind == OpKind::Write) {
      p.accesses.push_back({static_cast<std::int64_t>(i) + 2, step.number, step.kind, step.item});
    }
  }
  std::erase_if(p.accesses, [&](const AccessOfP& access) { return aborted.Contains(access.t); });
  p.transactions = occurs - aborted;
  return p;
}

// What each read reads (the index of the write in P, -1 for the initial value) and each item's
// last write, when P's accesses run in the order `run` (indexes into P).
struct View {
  std::vector<int> readFrom;  // by the read's index in P; -1 also for writes
  std::array<int, kItemCount> last;
};

View ViewOf(const std::vector<AccessOfP>& accesses, const std::vector<int>& run) {
  View view;
  view.readFrom.assign(accesses.size(), -1);
  view.last.fill(-1);
  for (const int i : run) {
    int& last = view.last[accesses[i].item - 'A'];
    if (accesses[i].kind == OpKind::Write) {
      last = i;
    } else {
      view.readFrom[i] = last;
    }
  }
  return view;
}

}  // namespace

std::vector<std::int32_t> TransactionsOfP(const PlanReport& report) {
  std::vector<std::int32_t> numbers;
  ProjectionOf(report).transactions.Numbers(numbers);
  return numbers;
}

ViewDifference CompareViews(const PlanReport& report, const std::vector<std::int32_t>& order) {
  const Projection p = ProjectionOf(report);
  ViewDifference difference;
  TransactionSet seen;
  for (const std::int32_t t : order) {
    const bool member =
        t >= kFirstTransaction && t <= kLastTransaction && p.transactions.Contains(t);
    if (!member || seen.Contains(t)) {
      difference.kind = ViewDifference::Kind::NotAnOrder;
      return difference;
    }
    seen.Insert(t);
  }
  if (seen != p.transactions) {
    difference.kind = ViewDifference::Kind::NotAnOrder;
    return difference;
  }

  std::vector<int> written(p.accesses.size());
  for (std::size_t i = 0; i < written.size(); ++i) {
    written[i] = static_cast<int>(i);
  }
  std::vector<int> serial;
  serial.reserve(p.accesses.size());
  for (const std::int32_t t : order) {
    for (const int i : written) {
      if (p.accesses[i].t == t) {
        serial.push_back(i);
      }
    }
  }
  const View asWritten = ViewOf(p.accesses, written);
  const View asOrdered = ViewOf(p.accesses, serial);
  const auto write = [&](int i, std::int64_t& position, std::int32_t& writer) {
    position = i < 0 ? 0 : p.accesses[i].position;
    writer = i < 0 ? 0 : p.accesses[i].t;
  };
  for (const int i : written) {
    if (p.accesses[i].kind == OpKind::Read && asWritten.readFrom[i] != asOrdered.readFrom[i]) {
      difference.kind = ViewDifference::Kind::Read;
      difference.position = p.accesses[i].position;
      difference.t = p.accesses[i].t;
      difference.item = p.accesses[i].item;
      write(asWritten.readFrom[i], difference.writeInP, difference.writerInP);
      write(asOrdered.readFrom[i], difference.writeInOrder, difference.writerInOrder);
      return difference;
    }
  }
  for (int x = 0; x < kItemCount; ++x) {
    if (asWritten.last[x] != asOrdered.last[x]) {
      difference.kind = ViewDifference::Kind::FinalWrite;
      difference.item = static_cast<char>('A' + x);
      write(asWritten.last[x], difference.position, difference.t);
      write(asWritten.last[x], difference.writeInP, difference.writerInP);
      write(asOrdered.last[x], difference.writeInOrder, difference.writerInOrder);
      return difference;
    }
  }
  return difference;
}

}  // namespace tosim::analysis
