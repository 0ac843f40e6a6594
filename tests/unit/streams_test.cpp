// What the program's own runs cannot show: limits that no trace comes near, and a stream pair
// that comes apart because one of its streams ends.
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

TEST(Streams, AStreamEndingWhilePairedLeavesItsTwinItsBytes) {
  std::string written;
  const auto append = [](void* target, const char* data, std::size_t size) {
    static_cast<std::string*>(target)->append(data, size).append("|");
    return 0;
  };
  OutStream console;
  console.Open(append, &written, /*writeThrough=*/false);
  {
    OutStream listing;
    listing.Open(append, &written, /*writeThrough=*/false);
    console.Echo(listing, "trace", {});
  }
  console.Write("+prompt");
  console.Flush();
  EXPECT_EQ(written, "trace+prompt|");
}

}  // namespace
}  // namespace tosim
