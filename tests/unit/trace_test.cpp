#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/run.h"
#include "tosim/fragment.h"
#include "tosim/streams.h"
#include "tosim/trace.h"

namespace tosim {
namespace {

TEST(Fragment, WritesPlainDecimalNumbers) {
  Fragment text;
  text << 0 << ' ' << 7 << ' ' << -12 << ' ' << INT32_MAX << ' ' << INT32_MIN;
  EXPECT_EQ(text.View(), "0 7 -12 2147483647 -2147483648");
}

TEST(Fragment, WritesEveryWidthOfNumber) {
  std::int32_t power = 1;
  std::string digits = "1";
  for (int width = 1; width <= 9; ++width) {
    const std::string nines(digits.size(), '9');
    Fragment text;
    text << power << ' ' << power * 10 - 1 << ' ' << -power;
    EXPECT_EQ(text.View(), digits + ' ' + nines + " -" + digits);
    power *= 10;
    digits += '0';
  }
  Fragment text;
  text << power << ' ' << -power;
  EXPECT_EQ(text.View(), "1000000000 -1000000000");
}

TEST(Fragment, WritesNumbersAsTheStandardLibraryDoes) {
  // Every width and sign, around every power of ten, and a spread of values in between.
  std::vector<std::int32_t> numbers = {0, 1, 9, INT32_MAX, INT32_MIN, INT32_MIN + 1};
  for (std::int64_t power = 10; power <= INT32_MAX; power *= 10) {
    for (const std::int64_t near : {power - 1, power, power + 1}) {
      numbers.push_back(static_cast<std::int32_t>(near));
      numbers.push_back(static_cast<std::int32_t>(-near));
    }
  }
  std::uint32_t state = 12345;
  for (int i = 0; i < 100000; ++i) {
    state = state * 1664525u + 1013904223u;
    numbers.push_back(static_cast<std::int32_t>(state >> (state % 32)));
  }
  for (const std::int32_t number : numbers) {
    Fragment text;
    text << 'x' << number << 'y';
    EXPECT_EQ(text.View(), "x" + std::to_string(number) + "y");
  }
}

TEST(Fragment, DropsWhatExceedsItsCapacity) {
  Fragment text;
  text << std::string(300, 'x') << 5;
  EXPECT_EQ(text.View(), std::string(255, 'x'));
  Fragment number;
  number << std::string(250, 'x') << -12345678;
  EXPECT_EQ(number.View(), std::string(250, 'x') + "-1234");
}

// Records every block an output stream writes out.
int RecordBlock(void* blocks, const char* data, std::size_t size) {
  static_cast<std::vector<std::string>*>(blocks)->emplace_back(data, size);
  return 0;
}

TEST(OutStream, WritesWholeBlocksAndTheRestOnFlush) {
  std::vector<std::string> blocks;
  OutStream stream;
  stream.Open(RecordBlock, &blocks, /*writeThrough=*/false);
  stream.Write(std::string(200, 'a'));
  stream.WriteLine(std::string(100, 'b'));
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0], std::string(200, 'a') + std::string(56, 'b'));
  stream.Write(std::string(600, 'c'));
  ASSERT_EQ(blocks.size(), 3u);
  stream.Flush();
  ASSERT_EQ(blocks.size(), 4u);
  EXPECT_EQ(blocks[3].size(), 44u + 2 + 600 - 512);
  stream.Flush();
  EXPECT_EQ(blocks.size(), 4u);  // nothing left to write
}

TEST(OutStream, WriteThroughWritesOutEveryFragment) {
  std::vector<std::string> blocks;
  OutStream stream;
  stream.Open(RecordBlock, &blocks, /*writeThrough=*/true);
  stream.Write("T1_Read(A)");
  stream.WriteLine("");
  stream.WriteLine("fin Plan");
  const std::vector<std::string> expected = {"T1_Read(A)", "\r\n", "fin Plan\r\n"};
  EXPECT_EQ(blocks, expected);
}

// One sink for two streams, recording which stream wrote each block: "C:" or "L:" in front.
struct Writes {
  std::vector<std::string> log;
};
int RecordConsole(void* writes, const char* data, std::size_t size) {
  static_cast<Writes*>(writes)->log.push_back("C:" + std::string(data, size));
  return 0;
}
int RecordListing(void* writes, const char* data, std::size_t size) {
  static_cast<Writes*>(writes)->log.push_back("L:" + std::string(data, size));
  return 0;
}

class EchoToTwoStreams : public ::testing::Test {
 protected:
  void Open(bool consoleWritesThrough) {
    console_.Open(RecordConsole, &writes_, consoleWritesThrough);
    listing_.Open(RecordListing, &writes_, /*writeThrough=*/false);
  }
  std::vector<std::string>& Log() { return writes_.log; }

  Writes writes_;
  OutStream console_;
  OutStream listing_;
};

TEST_F(EchoToTwoStreams, EachBlockGoesToTheConsoleAndThenToTheListing) {
  Open(/*consoleWritesThrough=*/false);
  console_.Echo(listing_, std::string(200, 'a'), {});
  console_.Echo(listing_, std::string(100, 'b'), "\r\n");
  const std::string first = std::string(200, 'a') + std::string(56, 'b');
  ASSERT_EQ(Log(), (std::vector<std::string>{"C:" + first, "L:" + first}));
  console_.Echo(listing_, "x", {});
  Log().clear();
  // The listing's rest is its own; the console's rest goes on with the prompt.
  listing_.Flush();
  console_.Write("prompt");
  console_.Flush();
  const std::string rest = std::string(44, 'b') + "\r\nx";
  EXPECT_EQ(Log(), (std::vector<std::string>{"L:" + rest, "C:" + rest + "prompt"}));
}

TEST_F(EchoToTwoStreams, TwoBlocksOfOneFragmentReachTheConsoleFirst) {
  Open(/*consoleWritesThrough=*/false);
  console_.Echo(listing_, std::string(255, 'a'), {});
  EXPECT_TRUE(Log().empty());
  // 1 byte fills the first block, the other 254 and the line end the second.
  console_.Echo(listing_, std::string(255, 'b'), "\r\n");
  const std::string first = std::string(255, 'a') + "b";
  const std::string second = std::string(254, 'b') + "\r\n";
  EXPECT_EQ(Log(),
            (std::vector<std::string>{"C:" + first, "C:" + second, "L:" + first, "L:" + second}));
}

TEST_F(EchoToTwoStreams, AFragmentLongerThanTheBuffersIsWrittenToEachInTurn) {
  Open(/*consoleWritesThrough=*/false);
  console_.Echo(listing_, std::string(1000, 'a'), {});
  const std::string block(256, 'a');
  EXPECT_EQ(Log(), (std::vector<std::string>{"C:" + block, "C:" + block, "C:" + block, "L:" + block,
                                             "L:" + block, "L:" + block}));
  Log().clear();
  console_.Echo(listing_, "b", {});
  console_.Flush();
  listing_.Flush();
  const std::string rest = std::string(232, 'a') + "b";
  EXPECT_EQ(Log(), (std::vector<std::string>{"C:" + rest, "L:" + rest}));
}

TEST_F(EchoToTwoStreams, AWrittenThroughConsoleGetsEveryFragmentAtOnce) {
  Open(/*consoleWritesThrough=*/true);
  console_.Echo(listing_, "T1_Read(A)", {});
  console_.Echo(listing_, "fin Plan", "\r\n");
  listing_.Flush();
  EXPECT_EQ(Log(), (std::vector<std::string>{"C:T1_Read(A)", "C:fin Plan\r\n",
                                             "L:T1_Read(A)fin Plan\r\n"}));
}

TEST_F(EchoToTwoStreams, WritingToOneStreamAloneLeavesTheOtherItsBytes) {
  Open(/*consoleWritesThrough=*/false);
  console_.Echo(listing_, "trace", "\r\n");
  listing_.Write("+listing");
  console_.Echo(listing_, "more", {});
  console_.Flush();
  listing_.Flush();
  EXPECT_EQ(Log(), (std::vector<std::string>{"C:trace\r\nmore", "L:trace\r\n+listingmore"}));
}

TEST(OutStream, AStreamEndingWhilePairedLeavesItsTwinItsBytes) {
  Writes writes;
  OutStream console;
  console.Open(RecordConsole, &writes, /*writeThrough=*/false);
  {
    OutStream listing;
    listing.Open(RecordListing, &writes, /*writeThrough=*/false);
    console.Echo(listing, "trace", {});
  }
  console.Write("+prompt");
  console.Flush();
  EXPECT_EQ(writes.log, (std::vector<std::string>{"C:trace+prompt"}));
}

// The trace's own streams, recorded in one log.
class EchoPiecesToTheTrace : public ::testing::Test {
 protected:
  void Open(bool consoleWritesThrough) {
    ConsoleStream().Open(RecordConsole, &writes_, consoleWritesThrough);
    ListingStream().Open(RecordListing, &writes_, /*writeThrough=*/false);
  }
  void TearDown() override {
    ConsoleStream().Open(nullptr, nullptr, false);
    ListingStream().Open(nullptr, nullptr, false);
  }
  std::vector<std::string>& Log() { return writes_.log; }

  Writes writes_;
};

TEST_F(EchoPiecesToTheTrace, ComposesTextsCharactersAndNumbersInOrder) {
  for (const bool consoleWritesThrough : {false, true}) {
    Open(consoleWritesThrough);
    EchoTextOf('T', 3, " lee de elemento \"", 'B', '"');
    EchoLineOf("\tTStamp T", 3, '=', 1234567, " x=", -2147483647 - 1, " y=", 0);
    ConsoleStream().Flush();
    ListingStream().Flush();
    const std::string trace = "T3 lee de elemento \"B\"\tTStamp T3=1234567 x=-2147483648 y=0\r\n";
    const std::vector<std::string> expected =
        consoleWritesThrough
            ? std::vector<std::string>{"C:T3 lee de elemento \"B\"",
                                       "C:\tTStamp T3=1234567 x=-2147483648 y=0\r\n", "L:" + trace}
            : std::vector<std::string>{"C:" + trace, "L:" + trace};
    EXPECT_EQ(Log(), expected);
    Log().clear();
  }
}

TEST_F(EchoPiecesToTheTrace, AFragmentFillingTheBlockGoesOutWhole) {
  Open(/*consoleWritesThrough=*/false);
  EchoText(std::string(250, 'a'));
  EchoLineOf("T", 10, "=", 123456);  // 250 + 10 + 2 bytes: the block ends after "12"
  const std::string block = std::string(250, 'a') + "T10=12";
  ASSERT_EQ(Log(), (std::vector<std::string>{"C:" + block, "L:" + block}));
  Log().clear();
  ConsoleStream().Flush();
  ListingStream().Flush();
  EXPECT_EQ(Log(), (std::vector<std::string>{"C:3456\r\n", "L:3456\r\n"}));
}

TEST_F(EchoPiecesToTheTrace, PiecesBeyondAFragmentAreCutLikeOne) {
  Open(/*consoleWritesThrough=*/false);
  EchoLineOf(std::string(250, 'a'), 1234567, 'b');
  ConsoleStream().Flush();
  ListingStream().Flush();
  // 255 bytes and the line end: the last byte of the block is the CR.
  const std::string block = std::string(250, 'a') + "12345\r";
  EXPECT_EQ(Log(), (std::vector<std::string>{"C:" + block, "L:" + block, "C:\n", "L:\n"}));
}

std::string Drain(InStream& stream) {
  std::string bytes;
  for (int byte = stream.Peek(); byte != InStream::kEnd; byte = stream.Peek()) {
    stream.Skip();
    bytes.push_back(static_cast<char>(byte));
  }
  return bytes;
}

TEST(InStream, CtrlZEndsTheData) {
  MemorySource memory{std::string_view("ab\x1A"
                                       "cd",
                                       5),
                      1};
  InStream stream;
  stream.Open(ReadFromMemory, &memory);
  EXPECT_EQ(Drain(stream), "ab");
  EXPECT_TRUE(stream.AtEnd());
  stream.SkipLine();  // stops at the Ctrl-Z without consuming it
  EXPECT_TRUE(stream.AtEnd());
}

TEST(InStream, CtrlZAndTheEndAtTheEdgesOfTheBuffer) {
  // The data ends, or a Ctrl-Z stands, at the last byte of a buffer and at the first of the next.
  for (const std::size_t at : {255u, 256u, 257u}) {
    std::string data(300, 'a');
    data[at] = '\x1A';
    MemorySource memory{data};
    InStream stream;
    stream.Open(ReadFromMemory, &memory);
    EXPECT_EQ(Drain(stream), std::string(at, 'a'));
    MemorySource whole{std::string_view(data).substr(0, at)};
    stream.Open(ReadFromMemory, &whole);
    EXPECT_EQ(Drain(stream), std::string(at, 'a'));
    EXPECT_TRUE(stream.AtEnd());
  }
}

TEST(InStream, SkipLineTakesOneLineEnd) {
  // LF CR is a line end followed by an empty line.
  MemorySource memory{"one\r\ntwo\rthree\n\rfour\r"};
  InStream stream;
  stream.Open(ReadFromMemory, &memory);
  std::vector<std::string> lines;
  while (!stream.AtEnd()) {
    std::string line;
    for (int byte = stream.Peek(); byte != InStream::kEnd && byte != '\r' && byte != '\n';
         byte = stream.Peek()) {
      stream.Skip();
      line.push_back(static_cast<char>(byte));
    }
    lines.push_back(line);
    stream.SkipLine();
  }
  const std::vector<std::string> expected = {"one", "two", "three", "", "four"};
  EXPECT_EQ(lines, expected);
}

TEST(OperationLabel, NamesEveryKind) {
  EXPECT_EQ(OperationLabel({OpKind::Validate, 12, ' '}).View(), "Validar T12");
  EXPECT_EQ(OperationLabel({OpKind::Abort, 3, 'Q'}).View(), "Abortar T3");
  EXPECT_EQ(OperationLabel({OpKind::Read, 1, 'A'}).View(), "T1_Read(A)");
  EXPECT_EQ(OperationLabel({OpKind::Read, 1, ' '}).View(), "T1_Read( )");
  EXPECT_EQ(OperationLabel({OpKind::Write, 3, 'B'}).View(), "T3_Write(B)");
  EXPECT_EQ(OperationLabel({OpKind::Begin, -5, ' '}).View(), "Iniciar T-5");
  EXPECT_EQ(OperationLabel({OpKind::Plan, 1, ' '}).View(), "Iniciar P1");
  EXPECT_EQ(OperationLabel({OpKind::Illegal, 1, 'A'}).View(), "operaci\xF3n ilegal");
}

}  // namespace
}  // namespace tosim
