// tosim's failure report: how a failed input/output call ends the run.
#include "run/failure_report.h"

#include "platform/platform.h"
#include "trace/fragment.h"
#include "trace/trace.h"

namespace tosim {

namespace {

void AppendHex8(Fragment& text, std::uint32_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int shift = 28; shift >= 0; shift -= 4) {
    text << kDigits[(value >> shift) & 0xFu];
  }
}

}  // namespace

// Not inlined, so that the return address names the place of the failed call.
[[gnu::noinline]] void ReportFailure(int errorNumber) {
  const std::uint32_t where = platform::CodeLocation(__builtin_return_address(0));
  Fragment report;
  report << "Runtime error " << static_cast<std::int32_t>(errorNumber) << " at $";
  AppendHex8(report, where);
  report << "\r\n  $";
  AppendHex8(report, where);
  report << "\r\n\r\n";
  // The plan and listing files are left as they are: the listing keeps only the whole blocks
  // already written.
  ConsoleStream().WriteLastWords(report.View());
  platform::ExitProcess(errorNumber);
}

}  // namespace tosim
