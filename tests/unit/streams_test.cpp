// What the program's own runs cannot show: limits that no trace comes near, and how the console
// and listing pair comes apart.
#include <gtest/gtest.h>

#include <string>

#include "trace/fragment.h"
#include "trace/stream_pair.h"
#include "trace/streams.h"

namespace tosim {
namespace {

TEST(Streams, AFragmentDropsWhatExceedsItsCapacity) {
  Fragment text;
  text << std::string(300, 'x') << 5;
  EXPECT_EQ(text.View(), std::string(255, 'x'));
  Fragment number;
  number << std::string(250, 'x') << -12345678;
  EXPECT_EQ(number.View(), std::string(250, 'x') + "-1234");
}

// Marks where each block a sink is handed ends.
int AppendBlock(void* target, const char* data, std::size_t size) {
  static_cast<std::string*>(target)->append(data, size).append("|");
  return 0;
}

// While joined, the pair keeps the bytes both streams get; once separated, each stream holds its
// own copy of them and goes on on its own.
TEST(Streams, SeparatedStreamsKeepTheirBytes) {
  std::string consoleBytes;
  std::string listingBytes;
  OutStream console;
  OutStream listing;
  console.Open(AppendBlock, &consoleBytes, /*writeThrough=*/false);
  listing.Open(AppendBlock, &listingBytes, /*writeThrough=*/false);
  {
    StreamPair pair(console, listing);
    pair.Echo("trace", {});
    pair.Separate();
    listing.Write("+own");
    listing.Flush();
    console.Flush();
    pair.Echo("more", "\r\n");
  }  // separates again
  console.Write("+prompt");
  console.Flush();
  EXPECT_EQ(consoleBytes, "trace|more\r\n+prompt|");
  EXPECT_EQ(listingBytes, "trace+own|");
}

// A joined pair hands both sinks the same whole blocks, the console's first.
TEST(Streams, AJoinedPairWritesWholeBlocksToBoth) {
  std::string consoleBytes;
  std::string listingBytes;
  OutStream console;
  OutStream listing;
  console.Open(AppendBlock, &consoleBytes, false);
  listing.Open(AppendBlock, &listingBytes, false);
  StreamPair pair(console, listing);
  const std::string line(100, 'x');
  for (int i = 0; i < 3; ++i) {
    pair.Echo(line, "\r\n");
  }
  EXPECT_EQ(consoleBytes,
            std::string(256, 'x').replace(100, 2, "\r\n").replace(202, 2, "\r\n") + "|");
  EXPECT_EQ(listingBytes, consoleBytes);
  pair.Separate();
  console.Flush();
  listing.Flush();
  EXPECT_EQ(consoleBytes, listingBytes);
  EXPECT_EQ(consoleBytes.size(), 306u + 2u);
}

}  // namespace

}  // namespace tosim
