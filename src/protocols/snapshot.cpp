// Snapshot isolation, first committer wins: every transaction reads the committed versions of its
// begin (or its own writes); writes go to its workspace and reach the history at its commit,
// which fails when a transaction that committed meanwhile wrote an item it wrote.
#include <algorithm>
#include <iterator>

#include "protocols/backlog_replay.h"
#include "schedule/smallest_order.h"

namespace tosim::protocols {

void SnapshotRules::Reset(Replay& /*replay*/) {
  workspace_.Reset();
  std::fill(std::begin(commitRank_), std::end(commitRank_), 0);
}

void SnapshotRules::Begin(Replay& /*replay*/, int t) {
  for (int x = 0; x < kItemCount; ++x) {
    snapshot_[t - 1][x] = static_cast<std::int8_t>(workspace_.LastCommitted(x));
  }
  workspace_.Begin(t);
  readsInitial_[t - 1] = 0;
  std::fill(std::begin(readVersions_[t - 1]), std::end(readVersions_[t - 1]), TransactionSet{});
}

Outcome SnapshotRules::Decide(Replay& replay, const Step& step) {
  const int t = step.t;
  const int x = step.item - 'A';
  switch (step.kind) {
    case OpKind::Read: {
      const Outcome read = workspace_.Read(t, x, snapshot_[t - 1][x], StepRule::SiRead);
      if (read.from == 0) {
        readsInitial_[t - 1] |= 1u << x;
      } else {
        readVersions_[t - 1][x].Insert(read.from);
      }
      return read;
    }
    case OpKind::Write:
      return workspace_.Write(t, x, StepRule::SiWrite);
    case OpKind::Validate:
      if (const auto why = workspace_.CommittedSinceBegin(t, workspace_.Writes(t),
                                                          StepRule::SiFirstCommitterWins)) {
        return Outcome::Reject(*why, Cause::FirstCommitter);
      }
      commitRank_[t - 1] = workspace_.Commit(replay, t);
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
          if (j != i && workspace_.Wrote(j, x) && commitRank_[j - 1] > rank) {
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
      if (workspace_.Wrote(i, x)) {
        wroteAfter(commitRank_[i - 1]);
      }
    }
  });
  return SmallestOrder(edges, committed, order);
}

}  // namespace tosim::protocols
