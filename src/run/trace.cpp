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
  consoleStream.Write(text);
  listingStream.Write(text);
}

void EchoLine(std::string_view text) {
  consoleStream.WriteLine(text);
  listingStream.WriteLine(text);
}

}  // namespace tosim
