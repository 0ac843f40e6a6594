#include "practice/check.h"

#include <algorithm>
#include <array>
#include <tuple>
#include <utility>

#include "practice/own_run.h"
#include "schedule/smallest_order.h"

namespace tosim::practice {

namespace {

using analysis::Access;
using analysis::Outcome;
using analysis::PlanReport;

Value BoolValue(bool yes) {
  Value value;
  value.kind = Value::Kind::Bool;
  value.yes = yes;
  return value;
}

Value AccessesValue(const std::vector<Access>& accesses) {
  Value value;
  value.kind = Value::Kind::Accesses;
  value.accesses = accesses;
  return value;
}

// An order, a cycle or a list that may be "none".
Value ListValue(const Answer<std::vector<std::int32_t>>& answer) {
  return answer.none ? Value{} : NumbersValue(answer.value);
}

Value ListOrNull(bool exists, const std::vector<std::int32_t>& numbers) {
  return exists ? NumbersValue(numbers) : Value{};
}

std::vector<std::int32_t> SetOf(std::vector<std::int32_t> numbers) {
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  return numbers;
}

auto KeyOf(const Access& access) {
  return std::make_tuple(access.t, access.item, access.kind);
}

std::vector<Access> Sorted(std::vector<Access> accesses) {
  std::sort(accesses.begin(), accesses.end(),
            [](const Access& a, const Access& b) { return KeyOf(a) < KeyOf(b); });
  return accesses;
}

bool SameAccess(const Access& a, const Access& b) {
  return KeyOf(a) == KeyOf(b);
}

bool SameAccesses(const std::vector<Access>& a, const std::vector<Access>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), SameAccess);
}

class Checker {
 public:
  Checker(const PlanReport& report, const Answers& answers, PlanMarks& marks)
      : report_(report), answers_(answers), marks_(marks) {}

  void Run(const protocols::PlanProtocols* lab) {
    std::vector<Cell> traceCells;
    // The student's own run is needed by the trace and by what follows from it.
    const bool ownRun = answers_.trace.given || answers_.committed.given ||
                        answers_.aborted.given || answers_.skippedWrites.given ||
                        std::any_of(answers_.timestamps.begin(), answers_.timestamps.end(),
                                    [](const Answer<std::int32_t>& stamp) { return stamp.given; });
    if (ownRun) {
      own_ = RunAsStudent(report_, answers_, marks_, traceCells);
    }
    Timestamps();
    Ends(Field::Committed, answers_.committed, report_.committed, own_.committed);
    Ends(Field::Aborted, answers_.aborted, report_.aborted, own_.aborted);
    SkippedWrites();
    Conflicts();
    Views();
    Verdict(Field::Recoverable, answers_.recoverable, report_.recoverable, report_.unrecoverable);
    Verdict(Field::Cascadeless, answers_.cascadeless, report_.cascadeless, report_.cascade);
    Verdict(Field::Strict, answers_.strict, report_.strict, report_.unstrict);
    for (Cell& cell : traceCells) {
      marks_.cells.push_back(std::move(cell));
    }
    if (lab != nullptr) {
      for (const ProtocolAnswers& answered : answers_.protocols) {
        Protocol(answered, lab->runs[static_cast<int>(answered.protocol)]);
      }
    }
  }

 private:
  void Keep(Cell&& cell) { Tally(marks_, marks_.cells, std::move(cell)); }

  // Trace entry `i` as a reason.
  void Entry(Reason& reason, std::int32_t i) const {
    reason.entry = i;
    if (i >= 0) {
      reason.judged = own_.judged[i];
      reason.truth = report_.trace[i];
    }
  }

  void Timestamps() {
    for (int index = 0; index < kTransactionCount; ++index) {
      const Answer<std::int32_t>& given = answers_.timestamps[index];
      if (!given.given) {
        continue;
      }
      const std::int32_t t = index + kFirstTransaction;
      const auto run = std::find_if(report_.timestamps.begin(), report_.timestamps.end(),
                                    [&](const auto& pair) { return pair.first == t; });
      const bool begun = run != report_.timestamps.end();
      const Answer<std::int32_t>& counted = own_.timestamps[index];
      const auto same = [&](bool exists, std::int32_t value) {
        return given.none ? !exists : exists && given.value == value;
      };
      Cell cell;
      cell.field = Field::Timestamp;
      cell.index = t;
      cell.mark = MarkOf(same(begun, begun ? run->second : 0), same(!counted.none, counted.value));
      cell.given = NumberOrNull(!given.none, given.value);
      cell.expected = NumberOrNull(begun, begun ? run->second : 0);
      cell.reason.why = begun ? Why::Begin : Why::NotBegun;
      cell.reason.t = t;
      Entry(cell.reason, begun ? BeginOf(t) : -1);
      Keep(std::move(cell));
    }
  }

  // The entry whose begin gave `t` its timestamp in the run.
  std::int32_t BeginOf(std::int32_t t) const {
    for (std::size_t i = 0; i < report_.trace.size(); ++i) {
      const analysis::TraceStep& step = report_.trace[i];
      if (step.number == t && step.decision == Decision::Begun) {
        return static_cast<std::int32_t>(i);
      }
    }
    return -1;
  }

  // The entry that committed or aborted `t` in the run; -1 when none did.
  std::int32_t EndOf(std::int32_t t) const {
    for (std::size_t i = 0; i < report_.trace.size(); ++i) {
      const analysis::TraceStep& step = report_.trace[i];
      const Outcome outcome = analysis::OutcomeOf(step);
      if (step.number == t && (outcome == Outcome::Committed || outcome == Outcome::Aborted ||
                               outcome == Outcome::Rejected)) {
        return static_cast<std::int32_t>(i);
      }
    }
    return -1;
  }

  void Ends(Field field, const Answer<std::vector<std::int32_t>>& answer,
            const std::vector<std::int32_t>& run, const std::vector<std::int32_t>& own) {
    if (!answer.given) {
      return;
    }
    const std::vector<std::int32_t> given =
        answer.none ? std::vector<std::int32_t>{} : SetOf(answer.value);
    Cell cell;
    cell.field = field;
    cell.mark = MarkOf(given == run, given == own);
    cell.given = ListValue(answer);
    cell.expected = NumbersValue(run);
    // The first transaction, by number, that is in one list and not in the other.
    std::vector<std::int32_t> differ;
    std::set_symmetric_difference(given.begin(), given.end(), run.begin(), run.end(),
                                  std::back_inserter(differ));
    cell.reason.why = Why::Ended;
    if (!differ.empty()) {
      cell.reason.t = differ.front();
      cell.reason.missing = std::binary_search(run.begin(), run.end(), differ.front());
      Entry(cell.reason, EndOf(differ.front()));
    }
    Keep(std::move(cell));
  }

  void SkippedWrites() {
    const Answer<std::vector<Access>>& answer = answers_.skippedWrites;
    if (!answer.given) {
      return;
    }
    const std::vector<Access> given = Sorted(answer.none ? std::vector<Access>{} : answer.value);
    const std::vector<Access> run = Sorted(report_.skippedWrites);
    Cell cell;
    cell.field = Field::SkippedWrites;
    cell.mark = MarkOf(SameAccesses(given, run), SameAccesses(given, Sorted(own_.skippedWrites)));
    cell.given = AccessesValue(answer.none ? std::vector<Access>{} : answer.value);
    cell.expected = AccessesValue(report_.skippedWrites);
    cell.reason.why = Why::Skipped;
    // The first write, in the sorted lists, that one has more often than the other.
    std::size_t g = 0;
    std::size_t r = 0;
    while (g < given.size() && r < run.size() && SameAccess(given[g], run[r])) {
      ++g;
      ++r;
    }
    const bool missing = r < run.size() && (g == given.size() || KeyOf(run[r]) < KeyOf(given[g]));
    if (missing || g < given.size()) {
      const Access& access = missing ? run[r] : given[g];
      cell.reason.access = access;
      cell.reason.missing = missing;
      // Its entry: a skipped write of that label when missing, another write of it when extra.
      for (std::size_t i = 0; i < report_.trace.size(); ++i) {
        const analysis::TraceStep& step = report_.trace[i];
        if (analysis::IsWhole(step) && step.kind == access.kind && step.number == access.t &&
            step.item == access.item &&
            (analysis::OutcomeOf(step) == Outcome::Skipped) == missing) {
          Entry(cell.reason, static_cast<std::int32_t>(i));
          break;
        }
      }
    }
    Keep(std::move(cell));
  }

  // The precedence graph of the report's edges.
  TransactionGraph Graph() const {
    TransactionGraph graph;
    for (const auto& [from, to] : report_.edges) {
      graph.Add(from, to);
    }
    return graph;
  }

  static bool HasEdge(const TransactionGraph& graph, std::int32_t t, std::int32_t u) {
    const auto known = [](std::int32_t v) {
      return v >= kFirstTransaction && v <= kLastTransaction;
    };
    return known(t) && known(u) && graph.Successors(t).Contains(u);
  }

  // Judges the companion of a yes-or-no answer: an order (asked for after "yes") or a cycle
  // (after "no"). `yes` is what the student answered, or the truth when they did not; `judge`
  // marks a list given after the right answer.
  template <typename Judge>
  void Companion(Field field, const Answer<std::vector<std::int32_t>>& answer, bool wantsList,
                 bool truthWantsList, const Answer<bool>& verdict, bool truth, Value expected,
                 Reason verdictReason, Judge&& judge) {
    if (!answer.given) {
      return;
    }
    Cell cell;
    cell.field = field;
    cell.given = ListValue(answer);
    cell.expected = std::move(expected);
    const bool ownVerdictWrong = verdict.given && verdict.value != truth;
    if (wantsList != !answer.none) {
      // Not what the student's own yes or no asks for.
      cell.mark = Mark::Wrong;
      cell.reason = verdictReason;
    } else if (ownVerdictWrong) {
      cell.mark = Mark::Consistent;
      cell.reason = verdictReason;
      cell.reason.why = Why::FollowsVerdict;
    } else if (!truthWantsList) {
      cell.mark = Mark::Right;
    } else {
      cell.mark = judge(answer.value, cell.reason) ? Mark::Right : Mark::Wrong;
    }
    Keep(std::move(cell));
  }

  void Conflicts() {
    const bool truth = report_.conflictSerializable;
    const Answer<bool>& verdict = answers_.conflictSerializable;
    Reason verdictReason;
    verdictReason.why = Why::ConflictVerdict;
    verdictReason.cycle = !truth;
    verdictReason.numbers = truth ? report_.conflictOrder : report_.conflictCycle;
    YesOrNo(Field::ConflictSerializable, verdict, truth, verdictReason);
    const bool yes = verdict.given ? verdict.value : truth;
    const auto graph = Graph();
    Companion(Field::ConflictOrder, answers_.conflictOrder, yes, truth, verdict, truth,
              ListOrNull(truth, report_.conflictOrder), verdictReason,
              [&](const std::vector<std::int32_t>& order, Reason& reason) {
                if (SetOf(order) != SetOf(report_.conflictOrder) ||
                    order.size() != report_.conflictOrder.size()) {
                  reason.why = Why::NotAnOrder;
                  reason.numbers = SetOf(report_.conflictOrder);
                  return false;
                }
                for (std::size_t i = 0; i < order.size(); ++i) {
                  for (std::size_t j = i + 1; j < order.size(); ++j) {
                    if (HasEdge(graph, order[j], order[i])) {
                      reason.why = Why::EdgeAgainst;
                      reason.t = order[i];
                      reason.u = order[j];
                      return false;
                    }
                  }
                }
                return true;
              });
    Companion(Field::ConflictCycle, answers_.conflictCycle, !yes, !truth, verdict, truth,
              ListOrNull(!truth, report_.conflictCycle), verdictReason,
              [&](const std::vector<std::int32_t>& cycle, Reason& reason) {
                std::vector<std::int32_t> inner(cycle.begin(),
                                                cycle.end() - (cycle.empty() ? 0 : 1));
                if (cycle.size() < 3 || cycle.front() != cycle.back() ||
                    SetOf(inner).size() != inner.size()) {
                  reason.why = Why::NotACycle;
                  return false;
                }
                for (std::size_t i = 0; i + 1 < cycle.size(); ++i) {
                  if (!HasEdge(graph, cycle[i], cycle[i + 1])) {
                    reason.why = Why::NotAnEdge;
                    reason.t = cycle[i];
                    reason.u = cycle[i + 1];
                    return false;
                  }
                }
                return true;
              });
  }

  void Views() {
    const bool truth = report_.viewSerializable;
    const Answer<bool>& verdict = answers_.viewSerializable;
    Reason verdictReason;
    verdictReason.why = Why::ViewVerdict;
    verdictReason.cycle = !truth;
    verdictReason.numbers = report_.viewOrder;
    YesOrNo(Field::ViewSerializable, verdict, truth, verdictReason);
    const bool yes = verdict.given ? verdict.value : truth;
    Companion(Field::ViewOrder, answers_.viewOrder, yes, truth, verdict, truth,
              ListOrNull(truth, report_.viewOrder), verdictReason,
              [&](const std::vector<std::int32_t>& order, Reason& reason) {
                reason.view = analysis::CompareViews(report_, order);
                if (reason.view.kind == analysis::ViewDifference::Kind::None) {
                  return true;
                }
                const bool notAnOrder =
                    reason.view.kind == analysis::ViewDifference::Kind::NotAnOrder;
                reason.why = notAnOrder ? Why::NotAnOrder : Why::ViewDiffers;
                reason.numbers = notAnOrder ? SetOf(report_.viewOrder) : report_.viewOrder;
                return false;
              });
  }

  // A yes-or-no cell, when it is answered.
  void YesOrNo(Field field, const Answer<bool>& answer, bool truth, const Reason& reason) {
    if (!answer.given) {
      return;
    }
    Cell cell;
    cell.field = field;
    cell.mark = MarkOf(answer.value == truth, false);
    cell.given = BoolValue(answer.value);
    cell.expected = BoolValue(truth);
    cell.reason = reason;
    Keep(std::move(cell));
  }

  void Verdict(Field field, const Answer<bool>& answer, bool truth,
               const analysis::Breach& breach) {
    Reason reason;
    reason.why = truth ? Why::NoBreach : Why::Breach;
    reason.breach = breach;
    YesOrNo(field, answer, truth, reason);
  }

  void Protocol(const ProtocolAnswers& answered, const protocols::ProtocolRun& run) {
    for (std::size_t i = 0; i < answered.steps.size(); ++i) {
      const StepAnswer& answer = answered.steps[i];
      const protocols::Step& step = run.steps[i];
      Cell cell;
      cell.index = static_cast<std::int32_t>(i);
      cell.protocol = answered.protocol;
      cell.reason.why = Why::ProtocolStep;
      cell.reason.protocolStep = step;
      if (answer.result.given) {
        Cell result = cell;
        result.field = Field::StepResult;
        result.mark = MarkOf(answer.result.value == step.result, false);
        result.given.kind = result.expected.kind = Value::Kind::Result;
        result.given.result = answer.result.value;
        result.expected.result = step.result;
        Keep(std::move(result));
      }
      if (answer.waitedFor.given) {
        cell.field = Field::StepWaitedFor;
        cell.mark = MarkOf(answer.waitedFor.value == step.waitedFor, false);
        cell.given = NumbersValue(Members(answer.waitedFor.value));
        cell.expected = NumbersValue(Members(step.waitedFor));
        Keep(std::move(cell));
      }
    }
  }

  static std::vector<std::int32_t> Members(TransactionSet set) {
    std::vector<std::int32_t> numbers;
    set.Numbers(numbers);
    return numbers;
  }

  const PlanReport& report_;
  const Answers& answers_;
  PlanMarks& marks_;
  OwnRun own_;
};

}  // namespace

protocols::PlanProtocols ReplayLab(const PlanReport& report) {
  protocols::ProtocolLab lab;
  lab.Start();
  for (const analysis::TraceStep& step : report.trace) {
    lab.Add(Operation{step.kind, step.number, step.item});
  }
  return lab.Finish(report.timestamps);
}

PlanMarks CheckPlan(const PlanReport& report, const protocols::PlanProtocols* lab,
                    const Answers& answers) {
  PlanMarks marks;
  if (answers.trace.IsValue() && answers.trace.value.size() != report.trace.size()) {
    marks.misfit = {Misfit::Kind::TraceLength, protocols::Protocol::To, answers.trace.value.size(),
                    report.trace.size()};
    return marks;
  }
  if (lab != nullptr) {
    for (const ProtocolAnswers& answered : answers.protocols) {
      const std::size_t steps = lab->runs[static_cast<int>(answered.protocol)].steps.size();
      if (answered.steps.size() != steps) {
        marks.misfit = {Misfit::Kind::StepsLength, answered.protocol, answered.steps.size(), steps};
        return marks;
      }
    }
  }
  Checker(report, answers, marks).Run(lab);
  return marks;
}

}  // namespace tosim::practice
