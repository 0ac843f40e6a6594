#include "analysis/view_check.h"

#include <algorithm>
#include <array>

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
  Mask transactions = 0;
};

bool InSchedule(const TraceStep& step) {
  if (step.number < kFirstTransaction || step.number > kLastTransaction) {
    return false;
  }
  switch (step.kind) {
    case OpKind::Read:
    case OpKind::Write:
      return step.item >= 'A' && step.item <= 'Z';
    case OpKind::Begin:
    case OpKind::Validate:
    case OpKind::Abort:
      return true;
    default:
      return false;
  }
}

// S read back from the trace: each transaction up to its first commit or abort; then P, the reads
// and writes of the transactions without an abort in S.
Projection ProjectionOf(const PlanReport& report) {
  Projection p;
  Mask occurs = 0;
  Mask ended = 0;
  Mask aborted = 0;
  for (std::size_t i = 0; i < report.trace.size(); ++i) {
    const TraceStep& step = report.trace[i];
    if (!InSchedule(step)) {
      continue;
    }
    const Mask t = Bit(step.number - kFirstTransaction);
    if ((ended & t) != 0) {
      continue;
    }
    occurs |= t;
    if (step.kind == OpKind::Validate || step.kind == OpKind::Abort) {
      ended |= t;
      aborted |= step.kind == OpKind::Abort ? t : 0;
    } else if (step.kind != OpKind::Begin) {
      p.accesses.push_back({static_cast<std::int64_t>(i) + 2, step.number, step.kind, step.item});
    }
  }
  std::erase_if(p.accesses, [&](const AccessOfP& access) {
    return (aborted & Bit(access.t - kFirstTransaction)) != 0;
  });
  p.transactions = occurs & ~aborted;
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
  Numbers(ProjectionOf(report).transactions, numbers);
  return numbers;
}

ViewDifference CompareViews(const PlanReport& report, const std::vector<std::int32_t>& order) {
  const Projection p = ProjectionOf(report);
  ViewDifference difference;
  Mask seen = 0;
  for (const std::int32_t t : order) {
    const bool member = t >= kFirstTransaction && t <= kLastTransaction &&
                        (p.transactions & Bit(t - kFirstTransaction)) != 0;
    if (!member || (seen & Bit(t - kFirstTransaction)) != 0) {
      difference.kind = ViewDifference::Kind::NotAnOrder;
      return difference;
    }
    seen |= Bit(t - kFirstTransaction);
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
