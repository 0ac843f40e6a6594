// Multiversion timestamp ordering: reads never wait nor fail; a write fails when a younger
// transaction has read the version it would follow; an abort takes its versions away and
// cascades to the active readers of them.
#include <algorithm>

#include "protocols/backlog_replay.h"

namespace tosim::protocols {

namespace {

// The version of item `x` that transaction `t` sees: the one with the largest write timestamp
// not above TS(t); 0 is the initial version (write timestamp 0).
int VersionFor(const Replay& replay, Mask versions, int t) {
  const std::int32_t ts = replay.Timestamp(t);
  int best = 0;
  std::int32_t bestTs = 0;
  bool found = ts >= 0;  // the initial version fits every transaction with a timestamp >= 0
  ForEachIn(versions, [&](int writer) {
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
  why.others = version == 0 ? 0 : Bit(version);
  why.ts = ts;
  why.a = version == 0 ? 0 : replay.Timestamp(version);
  why.b = readTs;
  if (step.kind == OpKind::Read) {
    if (readTs < ts) {
      readTs = ts;
    }
    readers_[x][version] |= Bit(t);
    return Outcome::Read(version, why);
  }
  if (readTs > ts) {
    why.rule = StepRule::VersionTooLate;
    return Outcome::Reject(why);
  }
  if (version != t) {
    versions_[x] |= Bit(t);
    readTs_[x][t] = ts;
    readers_[x][t] = 0;
  }
  why.rule = StepRule::VersionWrite;
  return Outcome::Done(why);
}

void MultiversionRules::Released(Replay& replay, int t, bool committed) {
  if (committed) {
    return;
  }
  for (Mask& versions : versions_) {
    versions &= static_cast<Mask>(~Bit(t));
  }
  if (cascading_) {
    return;  // the loop below, one level up, goes on
  }
  cascading_ = true;
  for (bool found = true; found;) {
    found = false;
    for (int u = 1; u <= kTransactions && !found; ++u) {
      if (replay.IsActive(u) && (replay.ReadFrom(u) & replay.AbortedSet()) != 0) {
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
  const Mask committed = replay.Committed();
  Mask edges[kTransactions] = {};
  for (int x = 0; x < kItems; ++x) {
    std::int8_t writers[kTransactions];
    int count = 0;
    ForEachIn(static_cast<Mask>(versions_[x] & committed),
              [&](int w) { writers[count++] = static_cast<std::int8_t>(w); });
    std::sort(writers, writers + count, [&](std::int8_t a, std::int8_t b) {
      return replay.Timestamp(a) < replay.Timestamp(b);
    });
    Mask readersSoFar = readers_[x][0] & committed;
    Mask writersSoFar = 0;
    for (int i = 0; i < count; ++i) {
      const int w = writers[i];
      ForEachIn(static_cast<Mask>((readersSoFar | writersSoFar) & ~Bit(w)),
                [&](int u) { edges[u - 1] |= Bit(w); });
      writersSoFar |= Bit(w);
      const Mask readers = readers_[x][w] & committed & static_cast<Mask>(~Bit(w));
      ForEachIn(readers, [&](int r) {
        ForEachIn(static_cast<Mask>(writersSoFar & ~Bit(r)),
                  [&](int u) { edges[u - 1] |= Bit(r); });
      });
      readersSoFar |= readers;
    }
  }
  return SmallestOrder(committed, edges, order);
}

}  // namespace tosim::protocols
