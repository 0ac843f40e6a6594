#include "plan_reader.h"

#include "tosim/trace.h"

namespace tosim {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsItemLetter(char c) {
  return c >= 'A' && c <= 'Z';
}
bool IsTerminator(char c) {
  return c == ';' || c == ':' || c == kLineEnd;
}

OpKind KindOfLetter(char c) {
  switch (c) {
    case 'A':
      return OpKind::Abort;
    case 'C':
      return OpKind::Validate;
    case 'P':
      return OpKind::Plan;
    case 'R':
      return OpKind::Read;
    case 'T':
      return OpKind::Begin;
    case 'W':
      return OpKind::Write;
    case kLineEnd:
      return OpKind::EndOfPlan;
    default:
      return OpKind::Illegal;
  }
}

// Returns the first character after any spaces, starting with a fresh one.
char NextNonSpace(InStream& plan) {
  char c = NextChar(plan);
  while (c == ' ') {
    c = NextChar(plan);
  }
  return c;
}

// Reads "(", the item letter and ")" of a read or write; returns the character it stopped at.
char ReadItem(InStream& plan, char c, Operation& operation) {
  while (c == ' ') {
    c = NextChar(plan);
  }
  if (c != '(') {
    EchoText("ERR: se esperaba un \"(\"");
    return c;
  }
  c = NextNonSpace(plan);
  if (!IsItemLetter(c)) {
    EchoText("ERR: se esperaba una letra may\xFAscula");
    return c;
  }
  operation.item = c;
  c = NextNonSpace(plan);
  if (c != ')') {
    EchoText("ERR: se esperaba un \")\"");
  }
  return c;
}

}  // namespace

char NextChar(InStream& plan) {
  const int byte = plan.Peek();
  if (byte == InStream::kEnd || byte == '\r' || byte == '\n') {
    return kLineEnd;
  }
  plan.Skip();
  const char c = static_cast<char>(byte);
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

void ReadNumber(InStream& plan, char& c, std::int32_t& number) {
  // Wraps around like the 32-bit arithmetic it stands for, without undefined behaviour.
  std::uint32_t value = 0;
  while (IsDigit(c)) {
    value = value * 10u + static_cast<std::uint32_t>(c - '0');
    c = NextChar(plan);
  }
  number = static_cast<std::int32_t>(value);
}

void ReadOperation(InStream& plan, Operation& operation) {
  char c = NextNonSpace(plan);
  operation.kind = KindOfLetter(c);

  if (operation.kind == OpKind::Illegal) {
    EchoText("ERR: operaci\xF3n ilegal");
  } else if (operation.kind != OpKind::EndOfPlan) {
    c = NextChar(plan);
    ReadNumber(plan, c, operation.number);
    operation.item = ' ';
    if (operation.number <= 0) {
      EchoText("ERR: se esperaba un n\xFAmero > 0");
    } else if (operation.kind == OpKind::Read || operation.kind == OpKind::Write) {
      c = ReadItem(plan, c, operation);
    }
  }

  // Whatever stands between the operation and its terminator is ignored.
  while (!IsTerminator(c)) {
    c = NextChar(plan);
  }
}

}  // namespace tosim
