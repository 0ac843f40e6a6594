// The plan reader: turns the characters of the current line of the plan file into operations,
// one at a time, and reports syntax errors as trace texts. It never consumes a line end.
#pragma once

#include <cstdint>

#include "tosim/operation.h"
#include "tosim/streams.h"

namespace tosim {

// The line end as the reader sees it: CR stands for every kind of line end and the end of data.
inline constexpr char kLineEnd = '\r';

// The next character of the line, upper-cased ("a".."z" only), or kLineEnd when the stream
// stands at a line end (a CR or LF byte, the end of the data, or Ctrl-Z), which is not consumed.
char NextChar(InStream& plan);

// Accumulates the decimal number whose first character is already in `c`, in signed 32-bit
// arithmetic that wraps around; leaves the first non-digit in `c`. No digits give 0.
void ReadNumber(InStream& plan, char& c, std::int32_t& number);

// Reads one operation with its terminator (";", ":" or the line end) and fills `operation`.
// Syntax errors are echoed without a line end; the operation is delivered all the same. For
// Illegal and EndOfPlan, `number` and `item` keep their previous values.
void ReadOperation(InStream& plan, Operation& operation);

}  // namespace tosim
