// Sends the trace to two strings for the length of a test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tosim/streams.h"
#include "tosim/trace.h"

namespace tosim::testing {

inline int AppendToString(void* target, const char* data, std::size_t size) {
  static_cast<std::string*>(target)->append(data, size);
  return 0;
}

class TraceCapture {
 public:
  TraceCapture() {
    ConsoleStream().Open(AppendToString, &console_, /*writeThrough=*/true);
    ListingStream().Open(AppendToString, &listing_, /*writeThrough=*/true);
  }
  // The trace so far; fails the test when console and listing differ.
  std::string Text() const {
    EXPECT_EQ(console_, listing_);
    return console_;
  }
  void Clear() {
    console_.clear();
    listing_.clear();
  }

 private:
  std::string console_;
  std::string listing_;
};

}  // namespace tosim::testing
