#include "trace/trace.h"

namespace tosim {

namespace {
OutStream consoleStream;
OutStream listingStream;
StreamPair traceStreams(consoleStream, listingStream);
}  // namespace

OutStream& ConsoleStream() {
  traceStreams.Separate();
  return consoleStream;
}
OutStream& ListingStream() {
  traceStreams.Separate();
  return listingStream;
}
StreamPair& TraceStreams() {
  return traceStreams;
}

void EchoText(std::string_view text) {
  traceStreams.Echo(text, {});
}

void EchoLine(std::string_view text) {
  traceStreams.Echo(text, "\r\n");
}

}  // namespace tosim
