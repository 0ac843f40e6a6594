#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/run.h"
#include "tosim/fragment.h"
#include "tosim/streams.h"

namespace tosim {
namespace {

TEST(Fragment, WritesPlainDecimalNumbers) {
  Fragment text;
  text << 0 << ' ' << 7 << ' ' << -12 << ' ' << INT32_MAX << ' ' << INT32_MIN;
  EXPECT_EQ(text.View(), "0 7 -12 2147483647 -2147483648");
}

TEST(Fragment, DropsWhatExceedsItsCapacity) {
  Fragment text;
  text << std::string(300, 'x') << 5;
  EXPECT_EQ(text.View(), std::string(255, 'x'));
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
