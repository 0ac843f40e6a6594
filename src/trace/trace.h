// The trace output: every text the simulation shows goes through these calls, which write it to
// the console stream and then, byte for byte the same, to the listing stream.
#pragma once

#include <string_view>

#include "trace/fragment.h"
#include "trace/stream_pair.h"
#include "trace/streams.h"

namespace tosim {

// The two process-wide trace streams, opened by the program (or a test) before any trace. Both
// are taken out of their pair first: use them directly only to open, flush or end them.
OutStream& ConsoleStream();
OutStream& ListingStream();
// The pair through which the trace writes both.
StreamPair& TraceStreams();

// Writes `text` to the console stream and then to the listing stream, without a line end.
void EchoText(std::string_view text);
// The same, followed by CR LF; an empty text writes only the line end.
void EchoLine(std::string_view text);

// The composition behind EchoTextOf() and EchoLineOf(), with `end` after the pieces.
template <typename... Pieces>
void EchoPieces(std::string_view end, const Pieces&... pieces) {
  StreamPair& streams = TraceStreams();
  // A fragment that might be cut is composed aside, so that it is cut as a Fragment cuts it.
  const std::size_t most = (MostBytes(pieces) + ... + std::size_t{0});
  if (most <= Fragment::kCapacity) {
    if (char* at = streams.SharedSpace(most + end.size())) {
      ((at = PutPiece(at, pieces)), ...);
      streams.EndShared(PutPiece(at, end));
      return;
    }
  }
  Fragment text;
  ((text << pieces), ...);
  streams.Echo(text.View(), end);
}

// EchoText() and EchoLine() of the fragment made of `pieces` (texts, characters and numbers, in
// that order), as if composed in a Fragment first. While the console and the listing share one
// buffer, the pieces go straight into it instead.
template <typename... Pieces>
void EchoTextOf(const Pieces&... pieces) {
  EchoPieces({}, pieces...);
}
template <typename... Pieces>
void EchoLineOf(const Pieces&... pieces) {
  EchoPieces("\r\n", pieces...);
}

}  // namespace tosim
