// libFuzzer target: replays any bytes as a plan file, with the console and the listing in memory,
// and aborts when the trace breaks a property that holds for every plan file whatsoever:
//  1. The listing is a byte-for-byte copy of the console, and the trace is the same whether the
//     plan is read in 256-, 1- or 7-byte pieces and whichever stream is written through.
//  2. A buffered stream hands over whole 256-byte blocks but for its last; a written-through one
//     hands over no empty block.
//  3. Every line ends with CR LF (no lone CR or LF), and so does a trace that is not empty.
//  4. No line is longer than the rules can compose: illegal-operation pieces, then at most
//     kLongestTail (146) bytes, less for a short plan, whose timestamps cannot be wide.
//  5. One frame for each line of the plan file up to the first Ctrl-Z, in order: a line whose
//     first non-space byte is "P" or "p" gives the plan's lines, "fin Plan" and two empty lines;
//     any other line the plan start error (after at most one reader message) and one empty line.
//  6. The trace grows at most linearly with the plan.
// Termination is libFuzzer's own -timeout.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "trace/trace.h"
#include "trace/trace_loop.h"

namespace {

using namespace std::string_view_literals;

constexpr std::string_view kIllegalPiece = "ERR: operaci\xF3n ilegaloperaci\xF3n ilegal\t"sv;
constexpr std::string_view kNotAPlan = "ERR: se esperaba accion de inicio de un plan"sv;
constexpr std::string_view kEndOfPlan = "fin Plan"sv;
constexpr std::string_view kReaderMessages[] = {
    "ERR: operaci\xF3n ilegal"sv, "ERR: se esperaba un n\xFAmero > 0"sv,
    "ERR: se esperaba un \"(\""sv, "ERR: se esperaba una letra may\xFAscula"sv,
    "ERR: se esperaba un \")\""sv};
constexpr std::size_t kNumber = "-2147483648"sv.size();

// The longest tail of a line is one of:
//  a) a read or write of an active transaction (1 to 10, so the only reader message left is the
//     missing ")"), the longest decision, and a status of three timestamps of `digits` each;
//  b) any other operation: the longest reader message, label and one-part answer;
//  c) a line that is not a plan: a reader message and the plan start error; d) "fin Plan".
constexpr std::size_t StatusTail(std::size_t digits) {
  return "ERR: se esperaba un \")\"T10_Write(A)\tT10 abortada al leer \"A\" (TS_lect > TStamp)"sv
             .size() +
         "\tTStamp T10= TS_lect_A= TS_escr_A="sv.size() + 3 * digits;
}
constexpr std::size_t kLongestMessage = kReaderMessages[3].size();
constexpr std::size_t kPlainTail = kLongestMessage + "T_Write(A)\t"sv.size() + kNumber +
                                   "ERR: transaccion no en estado activo"sv.size();
constexpr std::size_t kNotAPlanTail = kLongestMessage + kNotAPlan.size();
constexpr std::size_t LongestTail(std::size_t digits) {
  return std::max({StatusTail(digits), kPlainTail, kNotAPlanTail, kEndOfPlan.size()});
}
constexpr std::size_t kLongestTail = LongestTail(kNumber);
static_assert(kLongestTail == 146 && kPlainTail == 94 && kNotAPlanTail == 80);
static_assert(std::all_of(std::begin(kReaderMessages), std::end(kReaderMessages),
                          [](std::string_view m) { return m.size() <= kLongestMessage; }));

// Every transaction start takes two bytes of the plan at least, so no timestamp of a plan of
// `size` bytes is wider than `size` in decimal.
std::size_t LongestTailFor(std::size_t size) {
  std::size_t digits = 1;
  for (; size >= 10 && digits < kNumber; size /= 10) {
    ++digits;
  }
  return LongestTail(digits);
}

// Every operation consumes a byte at least and writes one piece or tail and its line end; every
// line a byte at least and its frame end: "fin Plan" and three line ends at most.
constexpr std::size_t kMostPerPlanByte = kLongestTail + 2 + kEndOfPlan.size() + 3 * 2;

void Require(bool holds, const char* property) {
  if (!holds) {
    std::fprintf(stderr, "trace property violated: %s\n", property);
    std::abort();
  }
}

// One stream's bytes; a block may follow only a whole one, unless the stream writes through.
struct Capture {
  bool writeThrough;
  std::string bytes;
  std::size_t last = tosim::kStreamBufferSize;
};

int Append(void* target, const char* data, std::size_t size) {
  auto& capture = *static_cast<Capture*>(target);
  Require(size >= 1 && size <= tosim::kStreamBufferSize &&
              (capture.writeThrough || capture.last == tosim::kStreamBufferSize),
          "blocks of 1 to 256 bytes, whole but for the last when buffered");
  capture.bytes.append(data, size);
  capture.last = size;
  return 0;
}

// Replays `plan` read in pieces of `chunk` bytes, with the console, the listing or neither
// written through (with both buffered, one buffer serves both), and returns the trace.
std::string Replay(std::string_view plan, std::size_t chunk, bool consoleThrough,
                   bool listingThrough) {
  Capture console{consoleThrough, {}};
  Capture listing{listingThrough, {}};
  tosim::ConsoleStream().Open(Append, &console, consoleThrough);
  tosim::ListingStream().Open(Append, &listing, listingThrough);
  tosim::MemorySource source{plan, chunk};
  tosim::InStream stream;
  stream.Open(tosim::ReadFromMemory, &source);
  tosim::ReplayPlans(stream);
  tosim::ConsoleStream().Flush();
  tosim::ListingStream().Flush();
  Require(listing.bytes == console.bytes, "the listing equals the console");
  return console.bytes;
}

// The frames the plan must give: true for a plan, false for a line that is not one. Up to the
// first Ctrl-Z, a line ends at LF, CR LF or a lone CR.
std::vector<bool> ExpectedFrames(std::string_view plan) {
  plan = plan.substr(0, plan.find('\x1A'));
  std::vector<bool> frames;
  for (std::size_t at = 0; at < plan.size();) {
    const std::size_t end = std::min(plan.find_first_of("\r\n"sv, at), plan.size());
    const std::size_t first = plan.find_first_not_of(' ', at);
    frames.push_back(first < end && (plan[first] == 'P' || plan[first] == 'p'));
    at = end + (end < plan.size() ? 1 : 0);
    at += end + 1 < plan.size() && plan[end] == '\r' && plan[end + 1] == '\n' ? 1 : 0;
  }
  return frames;
}

void CheckTrace(std::string_view plan, std::string_view trace) {
  for (std::size_t i = 0; i < trace.size(); ++i) {
    Require((trace[i] != '\r' || (i + 1 < trace.size() && trace[i + 1] == '\n')) &&
                (trace[i] != '\n' || (i > 0 && trace[i - 1] == '\r')),
            "every CR is followed by LF, every LF follows a CR");
  }
  Require(trace.empty() || trace.ends_with("\r\n"sv), "the trace ends with a line end");
  std::vector<std::string_view> lines;
  for (std::string_view rest = trace; !rest.empty(); rest.remove_prefix(lines.back().size() + 2)) {
    lines.push_back(rest.substr(0, rest.find("\r\n"sv)));
  }
  const auto emptyLinesAfter = [&](std::size_t i, std::size_t count) {
    return i + count < lines.size() &&
           std::all_of(&lines[i + 1], &lines[i + 1] + count, [](auto l) { return l.empty(); });
  };
  const std::size_t longestTail = LongestTailFor(plan.size());
  std::vector<bool> frames;
  bool inPlan = false;
  for (std::size_t i = 0; i < lines.size();) {
    std::string_view tail = lines[i];
    while (tail.starts_with(kIllegalPiece)) {
      tail.remove_prefix(kIllegalPiece.size());
    }
    Require(tail.size() <= longestTail, "no line exceeds the longest composable line");
    if (tail.ends_with(kEndOfPlan)) {
      Require(inPlan && tail == kEndOfPlan && emptyLinesAfter(i, 2),
              "fin Plan ends a plan, alone after illegal pieces, and two empty lines follow");
      frames.push_back(true);
      inPlan = false;
      i += 3;
    } else if (tail.ends_with(kNotAPlan)) {
      const std::string_view before = tail.substr(0, tail.size() - kNotAPlan.size());
      Require(
          !inPlan && lines[i] == tail && emptyLinesAfter(i, 1) &&
              (before.empty() || std::find(std::begin(kReaderMessages), std::end(kReaderMessages),
                                           before) != std::end(kReaderMessages)),
          "the plan start error stands alone, after one reader message at most, and one "
          "empty line follows");
      frames.push_back(false);
      i += 2;
    } else {
      Require(!lines[i].empty() && tail.find('\t') != std::string_view::npos,
              "an operation's line is not empty and has its label and a TAB");
      Require(inPlan || (lines[i] == tail && tail.find("Iniciar P"sv) != std::string_view::npos &&
                         tail.ends_with(" iniciado"sv)),
              "a plan frame starts with the plan start");
      inPlan = true;
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
  const std::string trace = Replay(plan, tosim::kStreamBufferSize, true, false);
  Require(Replay(plan, 1, false, true) == trace && Replay(plan, 7, false, false) == trace,
          "the trace does not depend on how the streams are buffered");
  CheckTrace(plan, trace);
  return 0;
}
