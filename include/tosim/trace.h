// The trace output: every text the simulation shows goes through these two calls, which write
// it to the console stream and then, byte for byte the same, to the listing stream.
#pragma once

#include <string_view>

#include "tosim/streams.h"

namespace tosim {

// The two process-wide trace streams, opened by the run driver (or a test) before any trace.
OutStream& ConsoleStream();
OutStream& ListingStream();

// Writes `text` to the console stream and then to the listing stream, without a line end.
void EchoText(std::string_view text);
// The same, followed by CR LF; an empty text writes only the line end.
void EchoLine(std::string_view text);

// Ends the run at once: the failure report on standard output, then exit with `errorNumber`.
// The caller's code location is named in the report.
[[noreturn]] void FailRun(int errorNumber);

}  // namespace tosim
