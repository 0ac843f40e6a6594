// A generated plan and what tosim-report says of it: the same plan analysis and protocol lab that
// tosim-report runs, in memory, each plan alone (its timestamps from 1).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/plan_analysis.h"
#include "generator/properties.h"
#include "protocols/protocols.h"
#include "tosim/operation.h"

namespace tosim::generator {

// One operation after the plan start: a begin, read, write, commit or abort of transaction t
// (1..10); `item` is "A".."Z" for reads and writes.
struct PlanOp {
  OpKind kind = OpKind::Begin;
  std::int8_t t = 1;
  char item = ' ';

  friend bool operator==(const PlanOp&, const PlanOp&) = default;
};

using Plan = std::vector<PlanOp>;

// The plan file's line of plan `number`, without its line end: "P1; T1; T2; R1(A); ...; C2".
[[nodiscard]] std::string PlanText(const Plan& plan, int number);

// The properties a plan has, and how much of each: how many writes the Thomas write rule
// skipped, how many transactions died, ... (1 for a property that is only true or false, 0 for
// one it does not have).
struct Verdict {
  PropertySet properties = 0;
  std::int16_t amount[kPropertyCount] = {};
};

// Decides which properties a plan has. Keeps its analysis and lab between plans, to spare their
// allocations.
class Judge {
 public:
  Judge();
  [[nodiscard]] const Verdict& Of(const Plan& plan);

 private:
  analysis::PlanAnalysis analysis_;
  protocols::ProtocolLab lab_;
  Verdict verdict_;
};

}  // namespace tosim::generator
