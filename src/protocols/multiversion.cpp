// Multiversion timestamp ordering: reads never wait nor fail; a write fails when a younger
// transaction has read the version it would follow; an abort takes its versions away and
// cascades to the active readers of them.
#include <algorithm>

#include "schedule/smallest_order.h"

#include "protocols/backlog_replay.h"

namespace tosim::protocols {

namespace {

// The version of item `x` that transaction `t` sees: the one with the largest write timestamp
// not above TS(t); 0 is the initial version (write timestamp 0).
int VersionFor(const Replay& replay, TransactionSet versions, int t) {
  const std::int32_t ts = replay.Timestamp(t);
  int best = 0;
  std::int32_t bestTs = 0;
  bool found = ts >= 0;  // the initial version fits every transaction with a timestamp >= 0
  versions.ForEach([&](int writer) {
    const std::int32_t writeTs = replay.Timestamp(writer);
    if (writeTs <= ts && (!found || writeTs > bestTs)) {
      best = writer;
      bestTs = writeTs;
      found = true;
    }
  });
  return best;  // a transaction no version fits (a timestamp below 0) reads the initial one
}

}  // namespace

void MultiversionRules::Reset(Replay& /*replay*/) {
  *this = MultiversionRules{};
}

Outcome MultiversionRules::Decide(Replay& replay, const Step& step) {
  if (step.kind != OpKind::Read && step.kind != OpKind::Write) {
    return Outcome::Done();  // a commit never waits
  }
  const int t = step.t;
  const int x = step.item - 'A';
  const std::int32_t ts = replay.Timestamp(t);
  const int version = VersionFor(replay, versions_[x], t);
  std::int32_t& readTs = readTs_[x][version];
  StepWhy why{StepRule::VersionRead};
  if (version != 0) {
    why.others = TransactionSet{version};
    why.a = replay.Timestamp(version);
  }
  why.ts = ts;
  why.b = readTs;
  if (step.kind == OpKind::Read) {
    if (readTs < ts) {
      readTs = ts;
    }
    readers_[x][version].Insert(t);
    return Outcome::Read(version, why);
  }
  if (readTs > ts) {
    why.rule = StepRule::VersionTooLate;
    return Outcome::Reject(why);
  }
  if (version != t) {
    versions_[x].Insert(t);
    readTs_[x][t] = ts;
    readers_[x][t] = {};
  }
  why.rule = StepRule::VersionWrite;
  return Outcome::Done(why);
}

void MultiversionRules::Released(Replay& replay, int t, bool committed) {
  if (committed) {
    return;
  }
  for (TransactionSet& versions : versions_) {
    versions.Erase(t);
  }
  if (cascading_) {
    return;  // the loop below, one level up, goes on
  }
  cascading_ = true;
  for (bool found = true; found;) {
    found = false;
    for (int u = kFirstTransaction; u <= kLastTransaction && !found; ++u) {
      if (replay.IsActive(u) && !(replay.ReadFrom(u) & replay.AbortedSet()).Empty()) {
        replay.Abort(u, Cause::Cascade);
        found = true;
      }
    }
  }
  cascading_ = false;
}

// Per item: the readers of the initial version, then each committed writer by timestamp, each
// followed by the readers of its version.
bool MultiversionRules::Order(const Replay& replay, std::vector<std::int32_t>& order) {
  const TransactionSet committed = replay.Committed();
  TransactionGraph edges;
  for (int x = 0; x < kItemCount; ++x) {
    std::int8_t writers[kTransactionCount];
    int count = 0;
    (versions_[x] & committed).ForEach([&](int w) {
      writers[count++] = static_cast<std::int8_t>(w);
    });
    std::sort(writers, writers + count, [&](std::int8_t a, std::int8_t b) {
      return replay.Timestamp(a) < replay.Timestamp(b);
    });
    TransactionSet readersSoFar = readers_[x][0] & committed;
    TransactionSet writersSoFar;
    for (int i = 0; i < count; ++i) {
      const int w = writers[i];
      edges.Add((readersSoFar | writersSoFar) - TransactionSet{w}, w);
      writersSoFar.Insert(w);
      const TransactionSet readers = (readers_[x][w] & committed) - TransactionSet{w};
      readers.ForEach([&](int r) { edges.Add(writersSoFar - TransactionSet{r}, r); });
      readersSoFar |= readers;
    }
  }
  return SmallestOrder(edges, committed, order);
}

}  // namespace tosim::protocols
