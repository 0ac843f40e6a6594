// libFuzzer target: any bytes as a plan file through the reader, the plan analysis, the protocol
// lab and the report formatters. Aborts when a report breaks what holds for every plan: conflict-
// implies view-serializable; strict implies cascadeless implies recoverable; every edge goes
// forward in the conflict order, or the cycle is one of edges; plans come in line order; warnings
// come in the order of their operations, and a line without a plan has its one warning only; a JSON
// object is one line. And for the protocols: every operation of the schedule has exactly one step
// under each protocol; no protocol ends without a serial order; only 2pl reports deadlocks; a wait
// under wait_die is an older transaction's for younger ones, under wound_wait a younger's for older
// ones; occ's commits come in an order its history's conflicts agree with; si never waits and
// lets no two overlapping writers of one item both commit; a pending step belongs
// to a waiting transaction, a dropped one to an aborted one. And for the trace: one step per
// operation after the plan start; the skipped writes are the steps the Thomas rule skipped; a
// rejected step's transaction ends aborted; a begin's timestamp is the one reported. And for
// practice: the report's own JSON, read back as a student's answers, checks every cell right. And
// for the Moodle quiz: one question per plan, no byte that XML does not take, no CDATA section
// ended early, no Cloze field opened by the plan's text. Termination (the bounded view search and
// the replays included) is libFuzzer's -timeout. And for isolation: every witness is valid: a
// cycle's edges are edges of `dsg` of its kind's kinds, each starting where the last ended,
// visiting no transaction twice; a read of G1a and G1b is a read of S; a phenomenon's operations
// stand in S in the pattern's order; the level is the strongest allowed. And every edge of the
// precedence graph has its conflicts, each a pair of operations of S.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/for_each_plan_report.h"
#include "practice/check.h"
#include "protocols/protocols.h"
#include "report/answers_json.h"
#include "report/moodle_quiz.h"
#include "report/protocols_format.h"
#include "report/report_format.h"
#include "schedule/transaction_set.h"

namespace {

void Require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "report_fuzzer: %s\n", what);
    std::abort();
  }
}

void CheckTrace(const tosim::analysis::PlanReport& r, std::size_t operations) {
  using tosim::analysis::Outcome;
  Require(r.trace.size() == operations, "not one trace step per operation");
  std::size_t skipped = 0;
  for (const auto& step : r.trace) {
    const Outcome outcome = OutcomeOf(step);
    skipped += outcome == Outcome::Skipped;
    if (outcome == Outcome::Rejected) {
      Require(std::count(r.aborted.begin(), r.aborted.end(), step.number) == 1,
              "a rejected operation's transaction is not aborted");
    }
    if (outcome == Outcome::Begun) {
      Require(std::count(r.timestamps.begin(), r.timestamps.end(),
                         std::make_pair(step.number, step.ts)) == 1,
              "a begin's timestamp is not the one reported");
    }
  }
  Require(skipped == r.skippedWrites.size(), "the skipped writes are not the trace's");
}

void Check(const tosim::analysis::PlanReport& r, std::int64_t& lastLine) {
  Require(r.line >= 1 && r.line >= lastLine, "plans out of line order");
  lastLine = r.line;
  Require(!r.conflictSerializable || r.viewSerializable, "conflict but not view");
  Require(!r.strict || r.cascadeless, "strict but not cascadeless");
  Require(!r.cascadeless || r.recoverable, "cascadeless but not recoverable");
  const auto& order = r.conflictOrder;
  const auto at = [&](std::int32_t t) { return std::find(order.begin(), order.end(), t); };
  for (const auto& [from, to] : r.edges) {
    Require(!r.conflictSerializable || (at(from) < at(to) && at(to) != order.end()),
            "an edge against the conflict order");
  }
  const auto& cycle = r.conflictCycle;
  Require(r.conflictSerializable || (cycle.size() >= 3 && cycle.front() == cycle.back()),
          "not a cycle");
  for (std::size_t i = 1; i < cycle.size(); ++i) {
    const auto step = std::make_pair(cycle[i - 1], cycle[i]);
    Require(std::find(r.edges.begin(), r.edges.end(), step) != r.edges.end(), "not an edge");
  }
  std::int64_t lastPosition = 1;
  for (const auto& warning : r.warnings) {
    Require(warning.position >= lastPosition, "warnings out of operation order");
    lastPosition = warning.position;
  }
  Require(r.hasPlan || (r.warnings.size() == 1 && r.transactions.empty()),
          "a line without a plan reports more than its warning");
  const std::string json = tosim::report::PlanJson(r);
  Require(json.find('\n') == json.size() - 1, "a JSON object over more than one line");
  std::string text;
  tosim::report::AppendText(text, r);
}

namespace protocols = tosim::protocols;

// The operations of the written schedule: legal, in the tables, up to their transaction's end.
struct ScheduleCount {
  std::size_t operations = 0;
  tosim::TransactionSet ended;
  std::vector<tosim::Operation> schedule;

  void Add(const tosim::Operation& o) {
    using tosim::OpKind;
    const bool access = o.kind == OpKind::Read || o.kind == OpKind::Write;
    const bool known =
        access || o.kind == OpKind::Begin || o.kind == OpKind::Validate || o.kind == OpKind::Abort;
    if (!known || o.number < 1 || o.number > 10 || (access && (o.item < 'A' || o.item > 'Z')) ||
        ended.Contains(o.number)) {
      return;
    }
    ++operations;
    schedule.push_back(o);
    if (o.kind == OpKind::Validate || o.kind == OpKind::Abort) {
      ended.Insert(o.number);
    }
  }
};

namespace analysis = tosim::analysis;

// Whether `wanted`, in this order, are operations of `schedule` (a subsequence).
bool InOrder(const std::vector<tosim::Operation>& schedule,
             const std::vector<analysis::WitnessOperation>& wanted) {
  std::size_t next = 0;
  for (const tosim::Operation& o : schedule) {
    if (next < wanted.size() && o.kind == wanted[next].kind && o.number == wanted[next].t &&
        (o.kind == tosim::OpKind::Validate || o.item == wanted[next].item)) {
      ++next;
    }
  }
  return next == wanted.size();
}

void CheckCycle(const analysis::Anomaly& anomaly, const analysis::IsolationReport& isolation) {
  using analysis::AnomalyKind;
  using analysis::DependencyKind;
  const auto& cycle = anomaly.cycle;
  Require(cycle.size() >= 2 && cycle.front().from == cycle.back().to, "a witness is no cycle");
  int antiDependencies = 0;
  tosim::TransactionSet visited;
  for (std::size_t e = 0; e < cycle.size(); ++e) {
    const analysis::DependencyEdge& edge = cycle[e];
    Require(std::find(isolation.dsg.begin(), isolation.dsg.end(), edge) != isolation.dsg.end(),
            "a witness's edge is not in dsg");
    Require(e == 0 || cycle[e - 1].to == edge.from, "a witness's edges do not follow each other");
    Require(!visited.Contains(edge.from), "a witness visits a transaction twice");
    visited.Insert(edge.from);
    antiDependencies += edge.kind == DependencyKind::Rw;
    Require(anomaly.kind != AnomalyKind::G0 || edge.kind == DependencyKind::Ww,
            "a G0 witness with an edge other than ww");
  }
  Require(anomaly.kind != AnomalyKind::G1c || antiDependencies == 0, "a G1c witness with rw");
  Require(anomaly.kind != AnomalyKind::GSingle || antiDependencies == 1,
          "a G-single witness without exactly one rw");
  Require(anomaly.kind != AnomalyKind::G2Item || antiDependencies >= 1,
          "a G2-item witness without rw");
}

void CheckIsolation(const analysis::IsolationReport& isolation,
                    const std::vector<tosim::Operation>& schedule) {
  using analysis::AnomalyKind;
  using analysis::PhenomenonKind;
  for (const analysis::Anomaly& anomaly : isolation.anomalies) {
    if (anomaly.kind == AnomalyKind::G1a || anomaly.kind == AnomalyKind::G1b) {
      Require(anomaly.reader != anomaly.writer &&
                  InOrder(schedule, {{tosim::OpKind::Write, anomaly.writer, anomaly.item},
                                     {tosim::OpKind::Read, anomaly.reader, anomaly.item}}),
              "a G1 read that reads no write of its writer");
    } else {
      CheckCycle(anomaly, isolation);
    }
  }
  for (const analysis::Phenomenon& phenomenon : isolation.phenomena) {
    const analysis::WitnessOperations o = analysis::OperationsOf(phenomenon);
    std::vector<analysis::WitnessOperation> ops(o.operations.begin(),
                                                o.operations.begin() + o.count);
    // The pairs that the pattern takes in either order.
    const auto swapped = [](std::vector<analysis::WitnessOperation> order, std::size_t a,
                            std::size_t b) {
      std::swap(order[a], order[b]);
      return order;
    };
    std::vector<std::vector<analysis::WitnessOperation>> orders = {ops};
    if (phenomenon.kind == PhenomenonKind::A5A) {
      orders.push_back(swapped(ops, 1, 2));
    } else if (phenomenon.kind == PhenomenonKind::A5B) {
      orders.push_back(swapped(ops, 0, 1));
      orders.push_back(swapped(ops, 2, 3));
      orders.push_back(swapped(swapped(ops, 0, 1), 2, 3));
    }
    Require(phenomenon.ti != phenomenon.tj &&
                std::any_of(orders.begin(), orders.end(),
                            [&](const auto& order) { return InOrder(schedule, order); }),
            "a phenomenon's operations are not in S in the pattern's order");
  }
  const analysis::IsolationLevel level = analysis::StrongestLevel(isolation);
  Require(analysis::Allows(isolation, level) &&
              (level == analysis::IsolationLevel::Serializable ||
               !analysis::Allows(
                   isolation, static_cast<analysis::IsolationLevel>(static_cast<int>(level) + 1))),
          "the level is not the strongest allowed");
}

// Every edge of the precedence graph has its conflicts, every conflict is one of an edge, and its
// two operations stand in S in order.
void CheckConflicts(const analysis::PlanReport& r, const std::vector<tosim::Operation>& schedule) {
  for (const auto& edge : r.edges) {
    Require(std::any_of(r.conflicts.begin(), r.conflicts.end(),
                        [&](const analysis::Conflict& c) {
                          return c.from == edge.first && c.to == edge.second;
                        }),
            "an edge without its conflict");
  }
  for (const analysis::Conflict& c : r.conflicts) {
    Require(
        std::find(r.edges.begin(), r.edges.end(), std::make_pair(c.from, c.to)) != r.edges.end() &&
            (c.first == tosim::OpKind::Write || c.second == tosim::OpKind::Write) &&
            InOrder(schedule, {{c.first, c.from, c.item}, {c.second, c.to, c.item}}),
        "a conflict that makes no edge");
  }
}

// si never waits, reads only committed versions, and of two committed transactions that wrote the
// same item one committed before the other began (steps are decided as they come).
void CheckSnapshot(const protocols::ProtocolRun& run) {
  Require(run.unrecoverable.Empty() && run.waiting.Empty(),
          "si: a wait or an unrecoverable commit");
  std::size_t begin[11] = {};
  std::size_t commit[11] = {};
  std::uint32_t written[11] = {};
  for (std::size_t i = 0; i < run.steps.size(); ++i) {
    const protocols::Step& step = run.steps[i];
    Require(!step.delayed, "si: a step delayed");
    if (step.result != protocols::Result::Executed) {
      continue;
    }
    if (step.kind == tosim::OpKind::Begin) {
      begin[step.t] = i;
    } else if (step.kind == tosim::OpKind::Validate) {
      commit[step.t] = i;
    } else if (step.kind == tosim::OpKind::Write) {
      written[step.t] |= 1u << (step.item - 'A');
    }
  }
  run.committed.ForEach([&](int t) {
    run.committed.ForEach([&](int u) {
      Require(
          t == u || (written[t] & written[u]) == 0 || commit[t] < begin[u] || commit[u] < begin[t],
          "si: two overlapping transactions both committed a write of one item");
    });
  });
}

void CheckProtocols(const tosim::analysis::PlanReport& r, const protocols::PlanProtocols& plan,
                    const ScheduleCount& schedule) {
  std::int64_t ts[11] = {};
  for (const auto& [t, timestamp] : r.timestamps) {
    ts[t] = timestamp;
  }
  for (int p = 0; p < protocols::kProtocolCount; ++p) {
    const auto protocol = static_cast<protocols::Protocol>(p);
    const protocols::ProtocolRun& run = plan.runs[p];
    Require(run.steps.size() == schedule.operations, "not one step per operation");
    Require(run.orderExists || protocol == protocols::Protocol::Si,
            "a protocol other than si without a serial order");
    Require(protocol == protocols::Protocol::TwoPl || run.deadlocks.empty(),
            "a deadlock outside 2pl");
    for (const protocols::Step& step : run.steps) {
      Require(step.result != protocols::Result::Pending || run.waiting.Contains(step.t),
              "a pending step of a transaction that does not wait");
      Require(step.result != protocols::Result::Dropped || run.aborted.Contains(step.t),
              "a dropped step of a transaction not aborted");
      step.waitedFor.ForEach([&](int u) {
        Require(protocol != protocols::Protocol::WaitDie || ts[step.t] < ts[u],
                "wait_die: a younger transaction waits for an older one");
        Require(protocol != protocols::Protocol::WoundWait || ts[step.t] > ts[u],
                "wound_wait: an older transaction waits for a younger one");
      });
    }
    if (protocol == protocols::Protocol::Si) {
      CheckSnapshot(run);
    }
    if (protocol != protocols::Protocol::Occ) {
      continue;
    }
    // Every conflict between committed transactions goes from the earlier commit to the later.
    int commitRank[11] = {};
    int commits = 0;
    for (const protocols::Event& event : run.history) {
      if (event.kind == tosim::OpKind::Validate) {
        commitRank[event.t] = ++commits;
      }
    }
    for (std::size_t i = 0; i < run.history.size(); ++i) {
      const protocols::Event& a = run.history[i];
      for (std::size_t j = i + 1; j < run.history.size(); ++j) {
        const protocols::Event& b = run.history[j];
        const bool conflict = a.t != b.t && a.item == b.item && a.item != ' ' &&
                              (a.kind == tosim::OpKind::Write || b.kind == tosim::OpKind::Write);
        Require(!conflict || commitRank[a.t] == 0 || commitRank[b.t] == 0 ||
                    commitRank[a.t] < commitRank[b.t],
                "occ: commit order against a conflict");
      }
    }
  }
  std::string out;
  tosim::report::AppendProtocolsJson(out, plan);
  Require(out.find('\n') == std::string::npos, "protocols over more than one line");
  tosim::report::AppendProtocolsText(out, plan);
}

// The report's own JSON, with the lab, is a perfect answer file: every cell right.
void CheckOwnAnswers(const tosim::analysis::PlanReport& r, const protocols::PlanProtocols& plan) {
  std::string json;
  tosim::report::AppendPlanJson(json, r, &plan);
  std::vector<tosim::report::PlanAnswers> objects;
  std::vector<tosim::report::AnswerProblem> problems;
  tosim::report::ReadAnswers(json, objects, problems);
  Require(problems.empty() && objects.size() == 1, "the report's JSON is no answer file");
  const tosim::practice::PlanMarks marks = tosim::practice::CheckPlan(r, &plan, objects[0].answers);
  Require(marks.misfit.kind == tosim::practice::Misfit::Kind::None && marks.wrong == 0 &&
              marks.consistent == 0,
          "the report's own answers are not all right");
}

}  // namespace

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

void CheckQuiz(std::string_view plans, std::size_t reports) {
  const std::string quiz = tosim::report::MoodleQuiz(plans);
  Require(Count(quiz, "<question ") == reports, "not one question per plan");
  Require(std::none_of(quiz.begin(), quiz.end(),
                       [](char ch) {
                         return static_cast<unsigned char>(ch) < 0x20 && ch != '\n' && ch != '\t';
                       }),
          "a byte in the quiz that XML does not take");
  Require(Count(quiz, "<![CDATA[") == reports && Count(quiz, "]]>") == reports,
          "a CDATA section ended early");
  // Every field the quiz writes starts "{1:": the plan's text opens none.
  Require(Count(quiz, "{") == Count(quiz, "{1:MULTICHOICE:") + Count(quiz, "{1:NUMERICAL:"),
          "a Cloze field opened by the plan's text");
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tosim::MemorySource source{{reinterpret_cast<const char*>(data), size}};
  tosim::InStream plan;
  plan.Open(tosim::ReadFromMemory, &source);
  std::int64_t lastLine = 0;
  protocols::ProtocolLab lab;
  ScheduleCount schedule;
  std::size_t operations = 0;
  std::size_t plans = 0;
  (void)tosim::analysis::ForEachPlanReport(
      plan,
      [&] {
        lab.Start();
        schedule = ScheduleCount{};
        operations = 0;
      },
      [&](const tosim::Operation& operation) {
        lab.Add(operation);
        schedule.Add(operation);
        ++operations;
      },
      [&](const auto& report) {
        Check(report, lastLine);
        CheckTrace(report, report.hasPlan ? operations : 0);
        const protocols::PlanProtocols& plan = lab.Finish(report.timestamps);
        CheckProtocols(report, plan, schedule);
        CheckOwnAnswers(report, plan);
        CheckIsolation(report.isolation, schedule.schedule);
        CheckConflicts(report, schedule.schedule);
        plans += report.hasPlan ? 1 : 0;
      });
  CheckQuiz({reinterpret_cast<const char*>(data), size}, plans);
  return 0;
}
