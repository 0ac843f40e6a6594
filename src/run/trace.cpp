#include "tosim/trace.h"

namespace tosim {

namespace {
OutStream consoleStream;
OutStream listingStream;
}  // namespace

OutStream& ConsoleStream() {
  return consoleStream;
}
OutStream& ListingStream() {
  return listingStream;
}

void EchoText(std::string_view text) {
  consoleStream.Echo(listingStream, text, {});
}

void EchoLine(std::string_view text) {
  consoleStream.Echo(listingStream, text, "\r\n");
}

}  // namespace tosim
