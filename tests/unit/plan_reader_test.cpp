#include "plan/plan_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "trace_capture.h"

namespace tosim {
namespace {

using testing::TraceCapture;

// One delivered operation, with the messages echoed while reading it.
struct Read {
  OpKind kind;
  std::int32_t number;
  char item;
  std::string messages;
  bool operator==(const Read&) const = default;
};

void PrintTo(const Read& read, std::ostream* out) {
  *out << "{kind " << static_cast<int>(read.kind) << ", " << read.number << ", '" << read.item
       << "', \"" << read.messages << "\"}";
}

// Reads operations from one line until EndOfPlan (which is included).
std::vector<Read> ReadLine(std::string_view line, std::size_t chunk = kStreamBufferSize) {
  TraceCapture trace;
  MemorySource memory{line, chunk};
  InStream plan;
  plan.Open(ReadFromMemory, &memory);
  Operation operation;
  std::vector<Read> reads;
  do {
    trace.Clear();
    ReadOperation(plan, operation);
    reads.push_back({operation.kind, operation.number, operation.item, trace.Text()});
  } while (operation.kind != OpKind::EndOfPlan && reads.size() < 50);
  return reads;
}

const std::string kIllegal = "ERR: operaci\xF3n ilegal";
const std::string kNumber = "ERR: se esperaba un n\xFAmero > 0";
const std::string kOpen = "ERR: se esperaba un \"(\"";
const std::string kLetter = "ERR: se esperaba una letra may\xFAscula";
const std::string kClose = "ERR: se esperaba un \")\"";

TEST(PlanReader, ReadsEveryKindOfOperation) {
  const std::vector<Read> expected = {
      {OpKind::Plan, 1, ' ', ""},  {OpKind::Begin, 1, ' ', ""},     {OpKind::Begin, 2, ' ', ""},
      {OpKind::Read, 1, 'A', ""},  {OpKind::Write, 2, 'A', ""},     {OpKind::Validate, 1, ' ', ""},
      {OpKind::Abort, 2, ' ', ""}, {OpKind::EndOfPlan, 2, ' ', ""},
  };
  EXPECT_EQ(ReadLine("P1; T1; T2; r1(a); W2 ( A ); C1; A2"), expected);
}

TEST(PlanReader, SpacesAndCaseDoNotMatter) {
  EXPECT_EQ(ReadLine("P1;T1;R1(A);C1"), ReadLine("p1 ; t1 ; r1 ( a ) ; c1"));
  EXPECT_EQ(ReadLine("   P1"), ReadLine("P1"));
}

TEST(PlanReader, ColonSeparatesLikeSemicolon) {
  EXPECT_EQ(ReadLine("P1:T1:C1"), ReadLine("P1;T1;C1"));
}

TEST(PlanReader, IgnoresWhatStandsBeforeTheTerminator) {
  const std::vector<Read> expected = {
      {OpKind::Begin, 1, ' ', ""}, {OpKind::Validate, 1, ' ', ""}, {OpKind::EndOfPlan, 1, ' ', ""}};
  EXPECT_EQ(ReadLine("T1 xyz; C1"), expected);
  // Without a separator the second operation is swallowed by the first.
  const std::vector<Read> swallowed = {{OpKind::Validate, 1, ' ', ""},
                                       {OpKind::EndOfPlan, 1, ' ', ""}};
  EXPECT_EQ(ReadLine("C1 R2(A)"), swallowed);
}

TEST(PlanReader, NumberErrors) {
  EXPECT_EQ(ReadLine("T 1")[0], (Read{OpKind::Begin, 0, ' ', kNumber}));
  EXPECT_EQ(ReadLine("T")[0], (Read{OpKind::Begin, 0, ' ', kNumber}));
  EXPECT_EQ(ReadLine("P0")[0], (Read{OpKind::Plan, 0, ' ', kNumber}));
  EXPECT_EQ(ReadLine("R0(A)")[0], (Read{OpKind::Read, 0, ' ', kNumber}));
}

TEST(PlanReader, NumbersWrapAroundIn32Bits) {
  EXPECT_EQ(ReadLine("T2147483647")[0], (Read{OpKind::Begin, 2147483647, ' ', ""}));
  EXPECT_EQ(ReadLine("T2147483648")[0], (Read{OpKind::Begin, INT32_MIN, ' ', kNumber}));
  EXPECT_EQ(ReadLine("T4294967297")[0], (Read{OpKind::Begin, 1, ' ', ""}));
  EXPECT_EQ(ReadLine("T4294967296")[0], (Read{OpKind::Begin, 0, ' ', kNumber}));
  EXPECT_EQ(ReadLine("T007")[0], (Read{OpKind::Begin, 7, ' ', ""}));
}

TEST(PlanReader, ItemErrors) {
  EXPECT_EQ(ReadLine("R1 A)")[0], (Read{OpKind::Read, 1, ' ', kOpen}));
  EXPECT_EQ(ReadLine("W1(1)")[0], (Read{OpKind::Write, 1, ' ', kLetter}));
  EXPECT_EQ(ReadLine("W1(\xD1)")[0], (Read{OpKind::Write, 1, ' ', kLetter}));
  // A missing ")" still leaves a complete operation.
  EXPECT_EQ(ReadLine("R1(A")[0], (Read{OpKind::Read, 1, 'A', kClose}));
  EXPECT_EQ(ReadLine("R1(A B); C1")[0], (Read{OpKind::Read, 1, 'A', kClose}));
}

TEST(PlanReader, LineEndAfterOpeningParenthesisIsNotConsumed) {
  const std::vector<Read> expected = {{OpKind::Read, 1, ' ', kLetter},
                                      {OpKind::EndOfPlan, 1, ' ', ""}};
  EXPECT_EQ(ReadLine("R1(\r\nP2"), expected);
}

TEST(PlanReader, IllegalOperations) {
  // A TAB is not a space.
  EXPECT_EQ(ReadLine("\tP1")[0].kind, OpKind::Illegal);
  EXPECT_EQ(ReadLine("\tP1")[0].messages, kIllegal);
  EXPECT_EQ(ReadLine("X; C1")[0], (Read{OpKind::Illegal, 0, ' ', kIllegal}));
  // The offending ";" is its own terminator; Illegal keeps the previous number and item.
  const std::vector<Read> expected = {{OpKind::Read, 1, 'B', ""},
                                      {OpKind::Illegal, 1, 'B', kIllegal},
                                      {OpKind::Begin, 1, ' ', ""},
                                      {OpKind::EndOfPlan, 1, ' ', ""}};
  EXPECT_EQ(ReadLine("R1(B);; T1"), expected);
  EXPECT_EQ(ReadLine("\xE1")[0].kind, OpKind::Illegal);  // accented letters are not upper-cased
}

TEST(PlanReader, EveryLineEndEndsThePlan) {
  for (std::string_view line : {"", "   ", "\r", "\n", "\r\n", "\x1A", "  \x1AP1"}) {
    const std::vector<Read> reads = ReadLine(line);
    ASSERT_EQ(reads.size(), 1u) << line;
    EXPECT_EQ(reads[0].kind, OpKind::EndOfPlan);
  }
  const std::vector<Read> beforeCtrlZ = ReadLine("T1\x1A; T2");
  ASSERT_EQ(beforeCtrlZ.size(), 2u);
  EXPECT_EQ(beforeCtrlZ[0], (Read{OpKind::Begin, 1, ' ', ""}));
}

TEST(PlanReader, LineEndIsNeverConsumed) {
  TraceCapture trace;
  MemorySource memory{"C1\nX"};
  InStream plan;
  plan.Open(ReadFromMemory, &memory);
  Operation operation;
  ReadOperation(plan, operation);
  for (int i = 0; i < 3; ++i) {
    ReadOperation(plan, operation);
    EXPECT_EQ(operation.kind, OpKind::EndOfPlan);
  }
  EXPECT_EQ(plan.Peek(), '\n');
}

TEST(PlanReader, ReadsAcrossBufferRefills) {
  // One byte per refill: the reader must not depend on where the buffer ends.
  EXPECT_EQ(ReadLine("P1; T1; r1 ( a ); W1(B; C1", 1), ReadLine("P1; T1; r1 ( a ); W1(B; C1"));
}

}  // namespace
}  // namespace tosim
