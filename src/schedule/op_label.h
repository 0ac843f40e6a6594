// The label of an operation of the schedule, as every list of the report writes it: "T1",
// "R1(A)", "W2(B)", "C1", "A2".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tosim/operation.h"

namespace tosim {

inline constexpr std::size_t kOpLabelSize = 6;  // "R10(A)"

// Writes the label of a begin, read, write, commit or abort (`kind`) of transaction `t` (1..10)
// at `out`, which has room for kOpLabelSize characters, and returns its end. `item` is read for
// reads and writes only. (The formatters of large reports compose in place.)
inline char* PutOpLabel(char* out, OpKind kind, std::int32_t t, char item) {
  switch (kind) {
    case OpKind::Begin:
      *out++ = 'T';
      break;
    case OpKind::Read:
      *out++ = 'R';
      break;
    case OpKind::Write:
      *out++ = 'W';
      break;
    case OpKind::Validate:
      *out++ = 'C';
      break;
    case OpKind::Abort:
    default:
      *out++ = 'A';
      break;
  }
  if (t >= 10) {
    *out++ = '1';
    t -= 10;
  }
  *out++ = static_cast<char>('0' + t);
  if (kind == OpKind::Read || kind == OpKind::Write) {
    *out++ = '(';
    *out++ = item;
    *out++ = ')';
  }
  return out;
}

inline std::string OpLabel(OpKind kind, std::int32_t t, char item) {
  char label[kOpLabelSize];
  return std::string(label, PutOpLabel(label, kind, t, item));
}

}  // namespace tosim
