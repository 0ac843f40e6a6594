// The label of an operation of the schedule, as every list of the report writes it: "T1",
// "R1(A)", "W2(B)", "C1", "A2".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tosim/operation.h"

namespace tosim {

inline constexpr std::size_t kOpLabelSize = 6;  // "R10(A)"

// The letter of a begin, read, write, commit or abort, as the plan writes it.
inline char OpLetter(OpKind kind) {
  switch (kind) {
    case OpKind::Begin:
      return 'T';
    case OpKind::Read:
      return 'R';
    case OpKind::Write:
      return 'W';
    case OpKind::Validate:
      return 'C';
    default:
      return 'A';
  }
}

// Writes the label of a begin, read, write, commit or abort (`kind`) of transaction `t` (1..10)
// at `out`, which has room for kOpLabelSize characters, and returns its end. `item` is read for
// reads and writes only. (The formatters of large reports compose in place.)
inline char* PutOpLabel(char* out, OpKind kind, std::int32_t t, char item) {
  *out++ = OpLetter(kind);
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

// The same label with any number, as the plan wrote it ("T11", "C0").
inline std::string OpLabel(OpKind kind, std::int32_t number, char item) {
  if (number >= kFirstTransaction && number <= kLastTransaction) {
    char label[kOpLabelSize];
    return std::string(label, PutOpLabel(label, kind, number, item));
  }
  std::string label(1, OpLetter(kind));
  label += std::to_string(number);
  if (kind == OpKind::Read || kind == OpKind::Write) {
    label += '(';
    label += item;
    label += ')';
  }
  return label;
}

}  // namespace tosim
