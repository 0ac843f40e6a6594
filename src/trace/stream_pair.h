// The console and the listing as the trace writes them: the same bytes to both, console first.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "trace/streams.h"

namespace tosim {

// While both streams are buffered and start out empty, they would hold the same bytes block for
// block. The pair then keeps those bytes once, in a buffer of its own, and hands each whole block
// to the console's sink and then to the listing's: one copy of every fragment instead of two,
// with the same bytes reaching the same sinks in the same order as two Write() calls would.
//
// The invariant: while the pair is joined, the two streams' own buffers are empty and unused,
// and every byte written since the join is in the pair's buffer. Separate() ends it, giving each
// stream its own copy of the bytes not yet written out; anything else done to either stream comes
// after a Separate().
class StreamPair {
 public:
  StreamPair(OutStream& console, OutStream& listing) : console_(console), listing_(listing) {}
  StreamPair(const StreamPair&) = delete;
  StreamPair& operator=(const StreamPair&) = delete;
  ~StreamPair() { Separate(); }

  // Writes `bytes` and then `end` to the console stream and then to the listing stream.
  void Echo(std::string_view bytes, std::string_view end) {
    if (char* at = SharedSpace(bytes.size() + end.size())) {
      at = std::copy(bytes.begin(), bytes.end(), at);
      EndShared(std::copy(end.begin(), end.end(), at));
      return;
    }
    EchoSeparately(bytes, end);
  }

  // For composing a fragment of at most `most` bytes straight into the shared buffer: where its
  // bytes go, or null when the streams are not joined or the bytes might not fit. EndShared()
  // then takes the bytes up to `end` as one Echo().
  [[nodiscard]] char* SharedSpace(std::size_t most) {
    // used_ is always below one block here (a full block is written out at once); saying so
    // spares the compiler a false alarm about bounds.
    if (joined_ && used_ < kStreamBufferSize && most <= kRoom) {
      return buffer_ + used_;
    }
    return nullptr;
  }
  void EndShared(const char* end) {
    used_ = static_cast<std::size_t>(end - buffer_);
    if (used_ >= kStreamBufferSize) {
      WriteSharedBlocks();
    }
  }

  // Ends the join, if any: each stream gets its own copy of the bytes not yet written out.
  void Separate() noexcept;

 private:
  // Room for a whole block more than a stream needs, for the bytes of one Echo() that go beyond
  // the block they fill.
  static constexpr std::size_t kCapacity = 4 * kStreamBufferSize;
  static constexpr std::size_t kRoom = kCapacity - kStreamBufferSize;

  // Echo() when the streams are not joined: joins them when it can, or writes each.
  void EchoSeparately(std::string_view bytes, std::string_view end);
  // The whole blocks of the shared buffer, first to the console, then to the listing; the rest
  // moves to the front.
  void WriteSharedBlocks();

  OutStream& console_;
  OutStream& listing_;
  bool joined_ = false;
  std::size_t used_ = 0;
  char buffer_[kCapacity] = {};
};

}  // namespace tosim
