#include <algorithm>
#include <bit>
#include <iterator>

#include "protocols/backlog_replay.h"

namespace tosim::protocols {

void Workspace::Reset() {
  commitCount_ = 0;
  std::fill(std::begin(lastCommitted_), std::end(lastCommitted_), 0);
}

void Workspace::Begin(int t) {
  writeSet_[t - 1] = 0;
  writeCount_[t - 1] = 0;
  beganAt_[t - 1] = commitCount_;
}

Outcome Workspace::Read(int t, int x, int committedWriter, StepRule rule) const {
  const int from = Wrote(t, x) ? t : committedWriter;
  StepWhy why{rule};
  if (from != 0) {
    why.others = TransactionSet{from};
  }
  return Outcome::Read(from, why);
}

Outcome Workspace::Write(int t, int x, StepRule rule) {
  if (!Wrote(t, x)) {
    writeSet_[t - 1] |= 1u << x;
    writeOrder_[t - 1][writeCount_[t - 1]++] = static_cast<std::int8_t>(x);
  }
  Outcome outcome = Outcome::Done(StepWhy{rule});
  outcome.inHistory = false;
  return outcome;
}

std::optional<StepWhy> Workspace::CommittedSinceBegin(int t, std::uint32_t items,
                                                      StepRule rule) const {
  for (int i = beganAt_[t - 1]; i < commitCount_; ++i) {
    if (const std::uint32_t both = writeSet_[commits_[i] - 1] & items; both != 0) {
      StepWhy why{rule};
      why.others = TransactionSet{commits_[i]};
      why.item = static_cast<char>('A' + std::countr_zero(both));
      return why;
    }
  }
  return std::nullopt;
}

int Workspace::Commit(Replay& replay, int t) {
  for (int i = 0; i < writeCount_[t - 1]; ++i) {
    const int item = writeOrder_[t - 1][i];
    replay.WriteToHistory(t, static_cast<char>('A' + item));
    lastCommitted_[item] = static_cast<std::int8_t>(t);
  }
  commits_[commitCount_++] = static_cast<std::int8_t>(t);
  return commitCount_;
}

}  // namespace tosim::protocols
