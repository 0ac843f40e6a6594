// The plan reader: turns the characters of the current line of the plan file into operations,
// one at a time. It writes nothing: what it found wrong comes back with the operation, for the
// trace to print or the analysis to report. It never consumes a line end.
#pragma once

#include <cstdint>

#include "plan/in_stream.h"
#include "tosim/operation.h"

namespace tosim {

// The line end as the reader sees it: CR stands for every kind of line end and the end of data.
inline constexpr char kLineEnd = '\r';

// What was wrong with an operation as written; at most one per operation.
enum class SyntaxError : std::uint8_t {
  None,
  IllegalOperation,  // the first character is no operation letter and no line end
  NumberExpected,    // no digits, or a number <= 0 (also after wrap-around)
  OpenExpected,      // a read or write without "("
  LetterExpected,    // a read or write with no letter "A".."Z" after "("
  CloseExpected,     // a read or write without ")" after its letter
};

// The text other than spaces that the reader skipped between an operation and its terminator,
// upper-cased as the reader sees it: `count` bytes, the first of them (up to kKept) in `text`.
// After a syntax error it starts with the character that was wrong, unless that is the terminator;
// so «R1(A W2(A); C1» skips "W2(A)" and «xyz;» "XYZ".
struct IgnoredText {
  static constexpr std::uint32_t kKept = 16;
  std::uint64_t count = 0;
  char text[kKept];
};

// The next character of the line, upper-cased ("a".."z" only), or kLineEnd when the stream
// stands at a line end (a CR or LF byte, the end of the data, or Ctrl-Z), which is not consumed.
char NextChar(InStream& plan);

// Accumulates the decimal number whose first character is already in `c`, in signed 32-bit
// arithmetic that wraps around; leaves the first non-digit in `c`. No digits give 0.
void ReadNumber(InStream& plan, char& c, std::int32_t& number);

// Reads one operation with its terminator (";", ":" or the line end), fills `operation` and
// returns what was wrong with it as written; the operation is delivered whatever the error. For
// Illegal and EndOfPlan, `number` and `item` keep their previous values. The text skipped before
// the terminator goes to `ignored`, when given. A failed read of the stream looks like a line end
// here: the caller asks the stream for its Error().
SyntaxError ReadOperation(InStream& plan, Operation& operation, IgnoredText* ignored = nullptr);

}  // namespace tosim
