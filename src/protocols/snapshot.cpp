// Snapshot isolation, first committer wins: every transaction reads the committed versions of its
// begin (or its own writes); writes go to its workspace and reach the history at its commit,
// which fails when a transaction that committed meanwhile wrote an item it wrote.
#include <algorithm>
#include <bit>
#include <iterator>

#include "protocols/backlog_replay.h"
#include "schedule/smallest_order.h"

namespace tosim::protocols {

void SnapshotRules::Reset(Replay& /*replay*/) {
  commitCount_ = 0;
  std::fill(std::begin(lastCommitted_), std::end(lastCommitted_), 0);
  std::fill(std::begin(commitRank_), std::end(commitRank_), 0);
}

void SnapshotRules::Begin(Replay& /*replay*/, int t) {
  std::copy(std::begin(lastCommitted_), std::end(lastCommitted_), std::begin(snapshot_[t - 1]));
  writeSet_[t - 1] = 0;
  writeCount_[t - 1] = 0;
  beganAt_[t - 1] = commitCount_;
  readsInitial_[t - 1] = 0;
  std::fill(std::begin(readVersions_[t - 1]), std::end(readVersions_[t - 1]), TransactionSet{});
}

Outcome SnapshotRules::Decide(Replay& replay, const Step& step) {
  const int t = step.t;
  const int x = step.item - 'A';
  switch (step.kind) {
    case OpKind::Read: {
      const int from = (writeSet_[t - 1] & (1u << x)) != 0 ? t : snapshot_[t - 1][x];
      if (from == 0) {
        readsInitial_[t - 1] |= 1u << x;
      } else {
        readVersions_[t - 1][x].Insert(from);
      }
      StepWhy why{StepRule::SiRead};
      if (from != 0) {
        why.others = TransactionSet{from};
      }
      return Outcome::Read(from, why);
    }
    case OpKind::Write: {
      if ((writeSet_[t - 1] & (1u << x)) == 0) {
        writeSet_[t - 1] |= 1u << x;
        writeOrder_[t - 1][writeCount_[t - 1]++] = static_cast<std::int8_t>(x);
      }
      Outcome workspace = Outcome::Done(StepWhy{StepRule::SiWrite});
      workspace.inHistory = false;
      return workspace;
    }
    case OpKind::Validate:
      for (int i = beganAt_[t - 1]; i < commitCount_; ++i) {
        if (const std::uint32_t both = writeSet_[commits_[i] - 1] & writeSet_[t - 1]; both != 0) {
          StepWhy why{StepRule::SiFirstCommitterWins};
          why.others = TransactionSet{commits_[i]};
          why.item = static_cast<char>('A' + std::countr_zero(both));
          return Outcome::Reject(why, Cause::FirstCommitter);
        }
      }
      for (int i = 0; i < writeCount_[t - 1]; ++i) {
        const int item = writeOrder_[t - 1][i];
        replay.WriteToHistory(t, static_cast<char>('A' + item));
        lastCommitted_[item] = static_cast<std::int8_t>(t);
      }
      commits_[commitCount_++] = static_cast<std::int8_t>(t);
      commitRank_[t - 1] = commitCount_;
      return Outcome::Done(StepWhy{StepRule::SiValidated});
    default:
      return Outcome::Done();
  }
}

// Ti -> Tj when Tj read Ti's version; when Ti read a version of x and Tj wrote x and committed
// after that version's writer (any committed writer, after the initial version); when both wrote
// x and Ti committed first.
bool SnapshotRules::Order(const Replay& replay, std::vector<std::int32_t>& order) {
  const TransactionSet committed = replay.Committed();
  TransactionGraph edges;
  committed.ForEach([&](int i) {
    for (int x = 0; x < kItemCount; ++x) {
      const auto wroteAfter = [&](int rank) {
        committed.ForEach([&](int j) {
          if (j != i && (writeSet_[j - 1] & (1u << x)) != 0 && commitRank_[j - 1] > rank) {
            edges.Add(i, j);
          }
        });
      };
      if ((readsInitial_[i - 1] & (1u << x)) != 0) {
        wroteAfter(0);
      }
      readVersions_[i - 1][x].ForEach([&](int k) {
        if (k != i) {
          edges.Add(k, i);
        }
        wroteAfter(commitRank_[k - 1]);
      });
      if ((writeSet_[i - 1] & (1u << x)) != 0) {
        wroteAfter(commitRank_[i - 1]);
      }
    }
  });
  return SmallestOrder(edges, committed, order);
}

}  // namespace tosim::protocols
