// A student's answers for one plan: what they predict the run does and what they say about the
// plan as written. Every answer may be left out, and is then not marked.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "analysis/plan_analysis.h"
#include "analysis/trace_step.h"
#include "protocols/protocols.h"
#include "schedule/transaction_set.h"

namespace tosim::practice {

// One answer: left out, answered as "none" (no timestamp, no order, no cycle, no number), or a
// value.
template <typename T>
struct Answer {
  bool given = false;
  bool none = false;
  T value{};

  [[nodiscard]] bool IsValue() const { return given && !none; }
  void Set(T answered) {
    given = true;
    none = false;
    value = std::move(answered);
  }
  void SetNone() {
    given = true;
    none = true;
  }
};

// What the student predicts for one operation of the trace.
struct TraceAnswer {
  Answer<analysis::Outcome> decision;
  // The item's TS_lect and TS_escr after the operation; "none" where the trace shows no status.
  Answer<std::int32_t> tsLect;
  Answer<std::int32_t> tsEscr;
};

// What the student predicts a protocol does with one operation of the written schedule.
struct StepAnswer {
  Answer<protocols::Result> result;
  Answer<TransactionSet> waitedFor;  // the set of its first wait ({} when it did not wait)
};

struct ProtocolAnswers {
  protocols::Protocol protocol = protocols::Protocol::To;
  std::vector<StepAnswer> steps;  // one per step of the protocol's run
};

struct Answers {
  // By transaction number - 1: the timestamp its begin receives, "none" for one never begun.
  std::array<Answer<std::int32_t>, kTransactionCount> timestamps;
  Answer<std::vector<std::int32_t>> committed;  // as sets: the order does not count
  Answer<std::vector<std::int32_t>> aborted;
  Answer<std::vector<analysis::Access>> skippedWrites;  // as a set with repetitions
  Answer<bool> conflictSerializable;
  Answer<std::vector<std::int32_t>> conflictOrder;  // "none" when there is none
  Answer<std::vector<std::int32_t>> conflictCycle;
  Answer<bool> viewSerializable;
  Answer<std::vector<std::int32_t>> viewOrder;
  Answer<bool> recoverable;
  Answer<bool> cascadeless;
  Answer<bool> strict;
  // When given: one per entry of the report's trace, in order.
  Answer<std::vector<TraceAnswer>> trace;
  // The protocols answered, each once.
  std::vector<ProtocolAnswers> protocols;
};

}  // namespace tosim::practice
