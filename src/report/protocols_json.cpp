#include <string>

#include "protocols_format.h"

namespace tosim::report {

namespace {

using protocols::Mask;
using protocols::ProtocolRun;
using protocols::Result;
using protocols::Step;

const char* ResultName(Result result) {
  static const char* const kNames[] = {"executed", "skipped", "rejected",
                                       "ignored",  "pending", "dropped"};
  return kNames[static_cast<int>(result)];
}

void PutKey(std::string& out, const char* key) {
  if (out.back() != '{') {
    out += ',';
  }
  out += '"';
  out += key;
  out += "\":";
}

void PutSet(std::string& out, Mask set) {
  out += '[';
  for (int t = 1; t <= 10; ++t) {
    if ((set & (1u << (t - 1))) != 0) {
      if (out.back() != '[') {
        out += ',';
      }
      out += std::to_string(t);
    }
  }
  out += ']';
}

void PutList(std::string& out, const std::vector<std::int32_t>& list) {
  out += '[';
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i != 0) {
      out += ',';
    }
    out += std::to_string(list[i]);
  }
  out += ']';
}

void PutStep(std::string& out, const Step& step) {
  out += '{';
  PutKey(out, "op");
  out += '"' + protocols::StepLabel(step) + '"';
  PutKey(out, "result");
  out += '"';
  out += ResultName(step.result);
  out += '"';
  PutKey(out, "delayed");
  out += step.delayed ? "true" : "false";
  PutKey(out, "waited_for");
  PutSet(out, step.waitedFor);
  PutKey(out, "from");
  out += step.from < 0 ? std::string("null") : std::to_string(step.from);
  out += '}';
}

void PutRun(std::string& out, const ProtocolRun& run) {
  out += '{';
  PutKey(out, "steps");
  out += '[';
  for (std::size_t i = 0; i < run.steps.size(); ++i) {
    if (i != 0) {
      out += ',';
    }
    PutStep(out, run.steps[i]);
  }
  out += ']';
  PutKey(out, "history");
  out += '[';
  for (std::size_t i = 0; i < run.history.size(); ++i) {
    const protocols::Event& event = run.history[i];
    out += i == 0 ? "\"" : ",\"";
    out += protocols::StepLabel({event.kind, event.t, event.item});
    out += '"';
  }
  out += ']';
  PutKey(out, "committed");
  PutSet(out, run.committed);
  PutKey(out, "aborted");
  out += '[';
  for (int t = 1; t <= 10; ++t) {
    if ((run.aborted & (1u << (t - 1))) != 0) {
      out += out.back() == '[' ? "[" : ",[";
      out += std::to_string(t);
      out += ",\"";
      out += protocols::CauseName(run.causes[t - 1]);
      out += "\"]";
    }
  }
  out += ']';
  PutKey(out, "waiting");
  PutSet(out, run.waiting);
  PutKey(out, "active");
  PutSet(out, run.active);
  PutKey(out, "deadlocks");
  out += '[';
  for (std::size_t i = 0; i < run.deadlocks.size(); ++i) {
    out += i == 0 ? "{" : ",{";
    PutKey(out, "cycle");
    PutList(out, run.deadlocks[i].cycle);
    PutKey(out, "victim");
    out += std::to_string(run.deadlocks[i].victim);
    out += '}';
  }
  out += ']';
  PutKey(out, "unrecoverable");
  PutSet(out, run.unrecoverable);
  PutKey(out, "order");
  if (run.orderExists) {
    PutList(out, run.order);
  } else {
    out += "null";
  }
  out += '}';
}

}  // namespace

void AppendProtocolsJson(std::string& out, const protocols::PlanProtocols& plan) {
  out += '{';
  for (int p = 0; p < protocols::kProtocolCount; ++p) {
    PutKey(out, protocols::ProtocolName(static_cast<protocols::Protocol>(p)));
    PutRun(out, plan.runs[p]);
  }
  out += '}';
}

}  // namespace tosim::report
