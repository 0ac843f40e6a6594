// libFuzzer target: any bytes as a plan file through the reader, the plan analysis, the protocol
// lab and the report formatters. Aborts when a report breaks what holds for every plan: conflict-
// implies view-serializable; strict implies cascadeless implies recoverable; every edge goes
// forward in the conflict order, or the cycle is one of edges; plans come in line order; warnings
// come in the order of their operations, and a line without a plan has its one warning only; a JSON
// object is one line. And for the protocols: every operation of the schedule has exactly one step
// under each protocol; no protocol ends without a serial order; only 2pl reports deadlocks; a wait
// under wait_die is an older transaction's for younger ones, under wound_wait a younger's for older
// ones; occ's commits come in an order its history's conflicts agree with; a pending step belongs
// to a waiting transaction, a dropped one to an aborted one. And for the trace: one step per
// operation after the plan start; the skipped writes are the steps the Thomas rule skipped; a
// rejected step's transaction ends aborted; a begin's timestamp is the one reported. And for
// practice: the report's own JSON, read back as a student's answers, checks every cell right. And
// for the Moodle quiz: one question per plan, no byte that XML does not take, no CDATA section
// ended early, no Cloze field opened by the plan's text. Termination (the bounded view search and
// the replays included) is libFuzzer's -timeout.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

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
    if (o.kind == OpKind::Validate || o.kind == OpKind::Abort) {
      ended.Insert(o.number);
    }
  }
};

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
    Require(run.orderExists, "a protocol without a serial order");
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
        plans += report.hasPlan ? 1 : 0;
      });
  CheckQuiz({reinterpret_cast<const char*>(data), size}, plans);
  return 0;
}
