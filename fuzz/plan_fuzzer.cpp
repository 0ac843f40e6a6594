// libFuzzer target: replays arbitrary bytes as a plan file, with the console and the listing in
// memory, and aborts when the trace breaks one of the properties below, which hold for every
// plan file whatsoever.
//
//  1. The listing is a byte-for-byte copy of the console. The replay is run three times, reading
//     the plan in 256-byte, 1-byte and 7-byte pieces, with the console, the listing and neither
//     of the two written through; all three runs give the same trace.
//  2. A buffered stream hands over whole 256-byte blocks and only its last block is shorter; a
//     written-through stream hands over no empty block.
//  3. Every line ends with CR LF: no CR without an LF after it, no LF without a CR before it, and
//     a trace that is not empty ends with a line end.
//  4. No line is longer than the longest line the trace can compose: after the pieces of illegal
//     operations at its start, kLongestTail (146) bytes, less for a short plan, whose timestamps
//     cannot be wide (LongestTailFor).
//  5. The trace is a row of frames, one for each line of the plan file up to the first Ctrl-Z,
//     in order: a line whose first non-space byte is "P" or "p" gives a plan frame (its lines,
//     the last one ending with "fin Plan", then two empty lines); any other line gives the plan
//     start error (after at most one reader message) and one empty line. No other line is empty.
//  6. The trace grows at most linearly with the plan (kMostPerPlanByte).
// Termination is libFuzzer's own -timeout.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "run/run.h"
#include "tosim/streams.h"
#include "tosim/trace.h"

namespace {

using namespace std::string_view_literals;

// The texts whose lengths make up the longest line.
constexpr std::string_view kIllegalPiece = "ERR: operaci\xF3n ilegaloperaci\xF3n ilegal\t"sv;
constexpr std::string_view kNotAPlan = "ERR: se esperaba accion de inicio de un plan"sv;
constexpr std::string_view kEndOfPlan = "fin Plan"sv;
constexpr std::string_view kLineEnd = "\r\n"sv;
constexpr std::string_view kReaderMessages[] = {
    "ERR: operaci\xF3n ilegal"sv,  "ERR: se esperaba un n\xFAmero > 0"sv,
    "ERR: se esperaba un \"(\""sv, "ERR: se esperaba una letra may\xFAscula"sv,
    "ERR: se esperaba un \")\""sv,
};

constexpr std::size_t Longest(std::initializer_list<std::size_t> sizes) {
  return std::max(sizes);
}

// Any number in the trace: "-2147483648" at most.
constexpr std::size_t kNumber = 11;
// The number of an active transaction: only 1 to 10 have a table entry, so "10" at most.
constexpr std::size_t kActiveNumber = 2;
constexpr std::size_t kItem = 1;

// An executed operation ends its line: at most one reader message, the label, a TAB and the
// scheduler's text. An illegal operation leaves the line open instead, so a line is any number
// of kIllegalPiece followed by one tail, the longest of:
//
// a) A read or write of an active transaction with its status line. The number is above 0 and
//    the item a letter, so the only reader message left is the missing ")"; the label is
//    "T10_Write(A)" at most, the decision a write that aborts. The three values of the status
//    are timestamps (or 0), written with at most `timestampDigits` characters each.
constexpr std::size_t StatusTail(std::size_t timestampDigits) {
  return "ERR: se esperaba un \")\""sv.size() +
         ("T"sv.size() + kActiveNumber + "_Write("sv.size() + kItem + ")"sv.size()) +
         "\t"sv.size() +
         Longest({
             "T"sv.size() + kActiveNumber + " abortada al leer \""sv.size() + kItem +
                 "\" (TS_lect > TStamp)"sv.size(),
             "T"sv.size() + kActiveNumber + " abortada al leer\""sv.size() + kItem +
                 "\" (TS_escr > TStamp)"sv.size(),
             "T"sv.size() + kActiveNumber + " no escribe (TS_escr > TStamp)"sv.size(),
             "T"sv.size() + kActiveNumber + " lee de elemento \""sv.size() + kItem + "\""sv.size(),
             "T"sv.size() + kActiveNumber + " escribe en \""sv.size() + kItem + "\""sv.size(),
         }) +
         ("\tTStamp T"sv.size() + kActiveNumber + "="sv.size() + timestampDigits +
          " TS_lect_"sv.size() + kItem + "="sv.size() + timestampDigits + " TS_escr_"sv.size() +
          kItem + "="sv.size() + timestampDigits);
}

// b) Any other executed operation: any reader message, the longest label (any number), and a
//    one-part answer (the out-of-range answers are this program's own).
constexpr std::size_t kLongestReaderMessage = Longest({
    kReaderMessages[0].size(),
    kReaderMessages[1].size(),
    kReaderMessages[2].size(),
    kReaderMessages[3].size(),
    kReaderMessages[4].size(),
});
constexpr std::size_t kPlainTail =
    kLongestReaderMessage +
    Longest({
        "Validar T"sv.size() + kNumber,
        "Abortar T"sv.size() + kNumber,
        "T"sv.size() + kNumber + "_Read("sv.size() + kItem + ")"sv.size(),
        "T"sv.size() + kNumber + "_Write("sv.size() + kItem + ")"sv.size(),
        "Iniciar T"sv.size() + kNumber,
        "Iniciar P"sv.size() + kNumber,
    }) +
    "\t"sv.size() +
    Longest({
        "plan P"sv.size() + kNumber + " iniciado"sv.size(),
        "iniciada"sv.size(),
        "ERR: ya estaba activa"sv.size(),
        "abortada"sv.size(),
        "validada"sv.size(),
        "ERR: no estaba activa"sv.size(),
        "ERR: transaccion no en estado activo"sv.size(),
        "ERR: transaccion fuera de rango"sv.size(),
        "ERR: elemento fuera de rango"sv.size(),
    });

// c) A line that does not start a plan: at most one reader message and the plan start error.
constexpr std::size_t kNotAPlanTail = kLongestReaderMessage + kNotAPlan.size();

// d) "fin Plan", and the empty lines.
constexpr std::size_t LongestTail(std::size_t timestampDigits) {
  return Longest({StatusTail(timestampDigits), kPlainTail, kNotAPlanTail, kEndOfPlan.size()});
}

// The longest tail of all: timestamps as wide as any number.
constexpr std::size_t kLongestTail = LongestTail(kNumber);
static_assert(kLongestTail == 146 && kPlainTail == 94 && kNotAPlanTail == 80);

// Every start of a transaction takes at least two bytes of the plan ("T" and a digit), so no
// timestamp of a plan of `size` bytes is wider than `size` in decimal.
std::size_t LongestTailFor(std::size_t size) {
  std::size_t digits = 1;
  for (std::size_t rest = size; rest >= 10; rest /= 10) {
    ++digits;
  }
  return LongestTail(std::min(digits, kNumber));
}

// Every operation but the end of the line consumes at least one byte of the plan and writes at
// most one piece or one tail with its line end; a line consumes at least one byte and adds its
// frame end: "fin Plan" and three line ends, or the plan start error and its line ends (as part
// of a tail).
constexpr std::size_t kMostPerPlanByte =
    kLongestTail + kLineEnd.size() + kEndOfPlan.size() + 3 * kLineEnd.size();

[[noreturn]] void Violated(const char* property) {
  std::fprintf(stderr, "trace property violated: %s\n", property);
  std::fflush(stderr);
  std::abort();
}

void Require(bool holds, const char* property) {
  if (!holds) {
    Violated(property);
  }
}

// One output stream's bytes, and the size of every block it handed over.
struct Capture {
  std::string bytes;
  std::vector<std::size_t> blocks;
};

int Append(void* target, const char* data, std::size_t size) {
  auto& capture = *static_cast<Capture*>(target);
  capture.bytes.append(data, size);
  capture.blocks.push_back(size);
  return 0;
}

void CheckBlocks(const Capture& capture, bool writeThrough) {
  for (std::size_t i = 0; i < capture.blocks.size(); ++i) {
    const std::size_t size = capture.blocks[i];
    Require(size >= 1 && size <= tosim::kStreamBufferSize, "a block holds 1 to 256 bytes");
    if (!writeThrough && i + 1 < capture.blocks.size()) {
      Require(size == tosim::kStreamBufferSize, "a buffered stream writes whole blocks");
    }
  }
}

// Which of the two streams is written through: a console on a terminal, a listing that is one.
// With both buffered, one buffer serves both streams.
enum class WritesThrough : std::uint8_t { Console, Listing, Neither };

// Replays `plan` and returns the trace, after checking that both streams got the same bytes.
std::string Replay(std::string_view plan, std::size_t chunk, WritesThrough writesThrough) {
  Capture console;
  Capture listing;
  const bool consoleWritesThrough = writesThrough == WritesThrough::Console;
  const bool listingWritesThrough = writesThrough == WritesThrough::Listing;
  tosim::ConsoleStream().Open(Append, &console, consoleWritesThrough);
  tosim::ListingStream().Open(Append, &listing, listingWritesThrough);
  tosim::MemorySource source{plan, chunk};
  tosim::InStream stream;
  stream.Open(tosim::ReadFromMemory, &source);
  tosim::ReplayPlans(stream);
  tosim::ConsoleStream().Flush();
  tosim::ListingStream().Flush();
  Require(listing.bytes == console.bytes, "the listing equals the console");
  CheckBlocks(console, consoleWritesThrough);
  CheckBlocks(listing, listingWritesThrough);
  return console.bytes;
}

enum class Frame : std::uint8_t { Plan, NotAPlan };

// The frames the plan file must give, from its lines: up to the first Ctrl-Z, a line ends at LF,
// at CR LF or at a lone CR.
std::vector<Frame> ExpectedFrames(std::string_view plan) {
  plan = plan.substr(0, plan.find('\x1A'));
  std::vector<Frame> frames;
  std::size_t at = 0;
  while (at < plan.size()) {
    std::size_t end = plan.find_first_of("\r\n"sv, at);
    if (end == std::string_view::npos) {
      end = plan.size();
    }
    const std::string_view line = plan.substr(at, end - at);
    const std::size_t first = line.find_first_not_of(' ');
    const bool startsAPlan =
        first != std::string_view::npos && (line[first] == 'P' || line[first] == 'p');
    frames.push_back(startsAPlan ? Frame::Plan : Frame::NotAPlan);
    at = end;
    if (at < plan.size()) {
      at += (plan[at] == '\r' && at + 1 < plan.size() && plan[at + 1] == '\n') ? 2 : 1;
    }
  }
  return frames;
}

bool IsReaderMessageOrEmpty(std::string_view text) {
  return text.empty() || std::find(std::begin(kReaderMessages), std::end(kReaderMessages), text) !=
                             std::end(kReaderMessages);
}

void CheckLineEnds(std::string_view trace) {
  for (std::size_t i = 0; i < trace.size(); ++i) {
    if (trace[i] == '\r') {
      Require(i + 1 < trace.size() && trace[i + 1] == '\n', "every CR is followed by LF");
    } else if (trace[i] == '\n') {
      Require(i > 0 && trace[i - 1] == '\r', "every LF follows a CR");
    }
  }
  Require(trace.empty() || trace.ends_with(kLineEnd), "the trace ends with a line end");
}

std::vector<std::string_view> Lines(std::string_view trace) {
  std::vector<std::string_view> lines;
  while (!trace.empty()) {
    const std::size_t end = trace.find(kLineEnd);
    lines.push_back(trace.substr(0, end));
    trace.remove_prefix(end + kLineEnd.size());
  }
  return lines;
}

// Checks properties 3 to 5 on the trace of `plan`.
void CheckTrace(std::string_view plan, std::string_view trace) {
  CheckLineEnds(trace);
  const std::vector<std::string_view> lines = Lines(trace);
  const std::size_t longestTail = LongestTailFor(plan.size());
  std::vector<Frame> frames;
  bool inPlan = false;
  std::size_t i = 0;
  while (i < lines.size()) {
    const std::string_view line = lines[i];
    std::string_view tail = line;
    while (tail.starts_with(kIllegalPiece)) {
      tail.remove_prefix(kIllegalPiece.size());
    }
    Require(tail.size() <= longestTail, "no line exceeds the longest composable line");
    const auto emptyLines = [&](std::size_t count) {
      for (std::size_t k = 1; k <= count; ++k) {
        if (i + k >= lines.size() || !lines[i + k].empty()) {
          return false;
        }
      }
      return true;
    };
    if (tail.ends_with(kEndOfPlan)) {
      Require(inPlan, "fin Plan ends a plan");
      Require(tail == kEndOfPlan, "fin Plan stands alone after illegal operations");
      Require(emptyLines(2), "fin Plan is followed by two empty lines");
      frames.push_back(Frame::Plan);
      inPlan = false;
      i += 3;
    } else if (tail.ends_with(kNotAPlan)) {
      Require(!inPlan && line == tail, "the plan start error stands on a line of its own");
      Require(IsReaderMessageOrEmpty(tail.substr(0, tail.size() - kNotAPlan.size())),
              "only a reader message precedes the plan start error");
      Require(emptyLines(1), "the plan start error is followed by one empty line");
      frames.push_back(Frame::NotAPlan);
      i += 2;
    } else {
      Require(!line.empty(), "the only empty lines are those that end a frame");
      Require(tail.find('\t') != std::string_view::npos, "an operation's line has label and TAB");
      if (!inPlan) {
        Require(line == tail && line.find("Iniciar P"sv) != std::string_view::npos &&
                    line.ends_with(" iniciado"sv),
                "a plan frame starts with the plan start");
        inPlan = true;
      }
      ++i;
    }
  }
  Require(!inPlan, "every plan ends with fin Plan");
  Require(frames == ExpectedFrames(plan), "one frame for every line of the plan file, in order");
  Require(trace.size() <= kMostPerPlanByte * plan.size(), "the trace grows linearly");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view plan(reinterpret_cast<const char*>(data), size);
  const std::string trace = Replay(plan, tosim::kStreamBufferSize, WritesThrough::Console);
  Require(Replay(plan, 1, WritesThrough::Listing) == trace &&
              Replay(plan, 7, WritesThrough::Neither) == trace,
          "the trace does not depend on how the streams are buffered");
  CheckTrace(plan, trace);
  return 0;
}
