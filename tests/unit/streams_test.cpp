// What the program's own runs cannot show: limits that no trace comes near, and how a pair of
// streams comes apart.
#include <gtest/gtest.h>

#include <string>

#include "tosim/fragment.h"
#include "tosim/streams.h"

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

int Append(void* target, const char* data, std::size_t size) {
  static_cast<std::string*>(target)->append(data, size).append("|");
  return 0;
}

// The console and the listing share one buffer while they get the same bytes; a stream that
// leaves the pair, by a write of its own or by ending, keeps its own copy of them.
TEST(Streams, AStreamLeavingAPairKeepsItsBytes) {
  std::string consoleBytes;
  std::string listingBytes;
  OutStream console;
  console.Open(Append, &consoleBytes, /*writeThrough=*/false);
  {
    OutStream listing;
    listing.Open(Append, &listingBytes, /*writeThrough=*/false);
    console.Echo(listing, "trace", {});
    listing.Write("+own");
    listing.Flush();
    console.Flush();
    console.Echo(listing, "more", {});
  }
  console.Write("+prompt");
  console.Flush();
  EXPECT_EQ(consoleBytes, "trace|more+prompt|");
  EXPECT_EQ(listingBytes, "trace+own|");
}

}  // namespace
}  // namespace tosim
