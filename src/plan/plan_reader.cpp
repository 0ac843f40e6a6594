#include "plan/plan_reader.h"

#include <array>
#include <cstddef>

namespace tosim {

namespace {

// What the reader makes of each byte: "a".."z" become "A".."Z", CR and LF become kLineEnd (and
// are not consumed), every other byte stands for itself.
constexpr std::array<char, 256> kCharOfByte = [] {
  std::array<char, 256> table{};
  for (std::size_t byte = 0; byte < table.size(); ++byte) {
    table[byte] = static_cast<char>(byte);
  }
  for (std::size_t byte = 'a'; byte <= 'z'; ++byte) {
    table[byte] = static_cast<char>(byte - 'a' + 'A');
  }
  table['\n'] = kLineEnd;
  table['\r'] = kLineEnd;
  return table;
}();

// NextChar() for the reader's own loops, where it is worth inlining: it runs once per byte.
inline char Next(InStream& plan) {
  const int byte = plan.Peek();
  if (byte == InStream::kEnd) {
    return kLineEnd;
  }
  const char c = kCharOfByte[static_cast<std::size_t>(byte)];
  if (c != kLineEnd) {
    plan.Skip();
  }
  return c;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsItemLetter(char c) {
  return c >= 'A' && c <= 'Z';
}
bool IsTerminator(char c) {
  return c == ';' || c == ':' || c == kLineEnd;
}

// The kind of operation each character starts, looked up rather than switched on: the kinds
// follow one another at random, which no branch predicts.
constexpr std::array<OpKind, 256> kKindOfChar = [] {
  std::array<OpKind, 256> table{};
  table.fill(OpKind::Illegal);
  table['A'] = OpKind::Abort;
  table['C'] = OpKind::Validate;
  table['P'] = OpKind::Plan;
  table['R'] = OpKind::Read;
  table['T'] = OpKind::Begin;
  table['W'] = OpKind::Write;
  table[static_cast<unsigned char>(kLineEnd)] = OpKind::EndOfPlan;
  return table;
}();

OpKind KindOfLetter(char c) {
  return kKindOfChar[static_cast<unsigned char>(c)];
}

// Returns the first character after any spaces, starting with a fresh one.
char NextNonSpace(InStream& plan) {
  char c = Next(plan);
  while (c == ' ') {
    c = Next(plan);
  }
  return c;
}

// Reads "(", the item letter and ")" of a read or write; returns the character after ")", or the
// one it stopped at.
char ReadItemBrackets(InStream& plan, char c, Operation& operation, SyntaxError& error) {
  while (c == ' ') {
    c = Next(plan);
  }
  if (c != '(') {
    error = SyntaxError::OpenExpected;
    return c;
  }
  c = NextNonSpace(plan);
  if (!IsItemLetter(c)) {
    error = SyntaxError::LetterExpected;
    return c;
  }
  operation.item = c;
  c = NextNonSpace(plan);
  if (c != ')') {
    error = SyntaxError::CloseExpected;
    return c;
  }
  return Next(plan);
}

// Skips to the terminator from `c`, noting the bytes other than spaces on the way.
void SkipToTerminator(InStream& plan, char c, IgnoredText* ignored) {
  while (!IsTerminator(c)) {
    if (c != ' ' && ignored != nullptr) {
      if (ignored->count < IgnoredText::kKept) {
        ignored->text[ignored->count] = c;
      }
      ++ignored->count;
    }
    c = Next(plan);
  }
}

}  // namespace

char NextChar(InStream& plan) {
  return Next(plan);
}

void ReadNumber(InStream& plan, char& c, std::int32_t& number) {
  // Wraps around like the 32-bit arithmetic it stands for, without undefined behaviour.
  std::uint32_t value = 0;
  while (IsDigit(c)) {
    value = value * 10u + static_cast<std::uint32_t>(c - '0');
    c = Next(plan);
  }
  number = static_cast<std::int32_t>(value);
}

SyntaxError ReadOperation(InStream& plan, Operation& operation, IgnoredText* ignored) {
  SyntaxError error = SyntaxError::None;
  if (ignored != nullptr) {
    ignored->count = 0;
  }
  char c = NextNonSpace(plan);
  operation.kind = KindOfLetter(c);

  if (operation.kind == OpKind::Illegal) {
    error = SyntaxError::IllegalOperation;
  } else if (operation.kind != OpKind::EndOfPlan) {
    c = Next(plan);
    ReadNumber(plan, c, operation.number);
    operation.item = ' ';
    if (operation.number <= 0) {
      error = SyntaxError::NumberExpected;
    } else if (operation.kind == OpKind::Read || operation.kind == OpKind::Write) {
      c = ReadItemBrackets(plan, c, operation, error);
    }
  }

  // Whatever stands between the operation and its terminator is ignored, starting with the
  // offending character of a syntax error.
  SkipToTerminator(plan, c, ignored);
  return error;
}

}  // namespace tosim
