#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "report/json_writing.h"
#include "report/protocols_format.h"
#include "report/report_format.h"
#include "report/report_labels.h"
#include "schedule/op_label.h"

namespace tosim::report {

namespace {

using json::PutKey;
using protocols::ProtocolRun;
using protocols::Result;
using protocols::Step;
using tosim::OpKind;

// The report of a large plan file is mostly steps: each is composed in a small buffer and
// appended at once.
class Buffer {
 public:
  template <std::size_t N>
  void Put(const char (&text)[N]) {
    std::memcpy(end_, text, N - 1);
    end_ += N - 1;
  }
  void Put(const char* text, std::size_t size) {
    std::memcpy(end_, text, size);
    end_ += size;
  }
  void Put(char c) { *end_++ = c; }
  // 0 to 10.
  void PutSmall(int number) {
    if (number >= 10) {
      *end_++ = '1';
      number -= 10;
    }
    *end_++ = static_cast<char>('0' + number);
  }
  void PutSet(TransactionSet set) {
    Put('[');
    bool first = true;
    set.ForEach([&](int t) {
      if (!first) {
        Put(',');
      }
      first = false;
      PutSmall(t);
    });
    Put(']');
  }
  void PutLabel(OpKind kind, int t, char item) { end_ = PutOpLabel(end_, kind, t, item); }
  void AppendTo(std::string& out) const {
    out.append(data_, static_cast<std::size_t>(end_ - data_));
  }

 private:
  char data_[128];
  char* end_ = data_;
};

void PutStep(std::string& out, const ProtocolRun& run, const Step& step) {
  Buffer buffer;
  buffer.Put("{\"op\":\"");
  buffer.PutLabel(step.kind, step.t, step.item);
  buffer.Put("\",\"result\":\"");
  const std::string_view result = ResultKey(step.result);
  buffer.Put(result.data(), result.size());
  if (step.delayed) {
    buffer.Put("\",\"delayed\":true,\"waited_for\":");
  } else {
    buffer.Put("\",\"delayed\":false,\"waited_for\":");
  }
  buffer.PutSet(step.waitedFor);
  buffer.Put(",\"from\":");
  if (step.from < 0) {
    buffer.Put("null");
  } else {
    buffer.PutSmall(step.from);
  }
  buffer.Put(",\"wounded\":");
  buffer.PutSet(step.wounded);
  buffer.AppendTo(out);
  std::string why;
  AppendStepWhy(why, run, step);
  PutKey(out, "why");
  json::PutString(out, why);
  out += '}';
}

void PutSet(std::string& out, TransactionSet set) {
  Buffer buffer;
  buffer.PutSet(set);
  buffer.AppendTo(out);
}

void PutRun(std::string& out, const ProtocolRun& run) {
  out += '{';
  PutKey(out, "steps");
  out += '[';
  for (std::size_t i = 0; i < run.steps.size(); ++i) {
    if (i != 0) {
      out += ',';
    }
    PutStep(out, run, run.steps[i]);
  }
  out += ']';
  PutKey(out, "history");
  out += '[';
  for (std::size_t i = 0; i < run.history.size(); ++i) {
    const protocols::Event& event = run.history[i];
    Buffer buffer;
    if (i != 0) {
      buffer.Put(',');
    }
    buffer.Put('"');
    buffer.PutLabel(event.kind, event.t, event.item);
    buffer.Put('"');
    buffer.AppendTo(out);
  }
  out += ']';
  PutKey(out, "committed");
  PutSet(out, run.committed);
  PutKey(out, "aborted");
  out += '[';
  run.aborted.ForEach([&](int t) {
    out += out.back() == '[' ? "[" : ",[";
    out += std::to_string(t);
    out += ",\"";
    out += protocols::CauseName(run.causes[t - 1]);
    out += "\"]";
  });
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
    json::PutNumbers(out, run.deadlocks[i].cycle);
    PutKey(out, "victim");
    out += std::to_string(run.deadlocks[i].victim);
    out += '}';
  }
  out += ']';
  PutKey(out, "unrecoverable");
  PutSet(out, run.unrecoverable);
  PutKey(out, "order");
  if (run.orderExists) {
    json::PutNumbers(out, run.order);
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

void AppendPlanJson(std::string& out, const analysis::PlanReport& report,
                    const protocols::PlanProtocols* plan, const Spill& spill) {
  AppendJson(out, report, spill);
  if (plan != nullptr) {
    out.resize(out.size() - 2);  // "}\n"
    out += ",\"protocols\":";
    AppendProtocolsJson(out, *plan);
    out += "}\n";
  }
}

}  // namespace tosim::report
