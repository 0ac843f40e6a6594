// The playground's engine: tosim's own reader, scheduler and trace, compiled to WebAssembly. The
// page hands over the plan file's bytes and takes back what tosim would have written: the console
// (without the final prompt) and the listing, and what tosim-report --json writes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "report/plan_reports.h"
#include "report/report_format.h"
#include "run/run.h"
#include "tosim/streams.h"
#include "tosim/trace.h"

namespace {

enum Output : int { kConsole = 0, kListing = 1, kReport = 2, kOutputCount };

std::string outputs[kOutputCount];

int Append(void* target, const char* data, std::size_t size) {
  static_cast<std::string*>(target)->append(data, size);
  return 0;
}

int Discard(void* /*target*/, const char* /*data*/, std::size_t /*size*/) {
  return 0;
}

}  // namespace

extern "C" {

// Replays the plan file of `size` bytes at `plan`; the results stay until the next call.
void tosim_run(const char* plan, std::size_t size) {
  // A trace is about ten times as long as its plans: room for it at once, not by doubling.
  for (std::string& output : outputs) {
    output.clear();
    output.reserve(12 * size);
  }
  // Both ends are buffered, as with a console redirected to a file: the bytes are the same.
  tosim::ConsoleStream().Open(Append, &outputs[kConsole], false);
  tosim::ListingStream().Open(Append, &outputs[kListing], false);
  tosim::MemorySource source{std::string_view(plan, size)};
  tosim::InStream stream;
  stream.Open(tosim::ReadFromMemory, &source);
  tosim::ReplayPlans(stream);
  tosim::ConsoleStream().Flush();
  tosim::ListingStream().Flush();

  // The report reads the plans again; the reader's messages are in the trace already.
  tosim::ConsoleStream().Open(Discard, nullptr, false);
  tosim::ListingStream().Open(Discard, nullptr, false);
  source = tosim::MemorySource{std::string_view(plan, size)};
  stream.Open(tosim::ReadFromMemory, &source);
  tosim::report::ForEachPlanReport(stream, [](const tosim::analysis::PlanReport& report) {
    tosim::report::AppendJson(outputs[kReport], report);
  });
}

// The bytes of output `which` (0 console, 1 listing, 2 JSON Lines) of the last run, and their
// count.
const char* tosim_output(int which) {
  return which >= 0 && which < kOutputCount ? outputs[which].data() : nullptr;
}
std::size_t tosim_output_size(int which) {
  return which >= 0 && which < kOutputCount ? outputs[which].size() : 0;
}

}  // extern "C"
