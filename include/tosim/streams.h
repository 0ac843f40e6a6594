// The buffered byte streams behind the plan file, the listing, standard input and standard output.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace tosim {

inline constexpr std::size_t kStreamBufferSize = 256;

// Where an output stream's bytes go. Writes all `size` bytes and returns 0, or returns the error
// number that ends the run; a short write is a failure.
using ByteSink = int (*)(void* context, const char* data, std::size_t size);

// Where an input stream's bytes come from. Stores up to `capacity` bytes and their count in `got`
// (0 at the end of the data) and returns 0, or returns the error number that ends the run.
using ByteSource = int (*)(void* context, char* data, std::size_t capacity, std::size_t* got);

// A text stream for writing with a 256-byte buffer. The buffer is written out whenever it is full
// and on Flush(); a write-through stream (a console) is also written out after every Write().
// A failed write ends the run with its error number.
class OutStream {
 public:
  OutStream() = default;
  // A stream that ends while paired (see Echo()) leaves its twin its own copy of the bytes.
  ~OutStream() {
    if (twin_ != nullptr) {
      Unpair();
    }
  }
  OutStream(const OutStream&) = delete;
  OutStream& operator=(const OutStream&) = delete;

  void Open(ByteSink sink, void* context, bool writeThrough);

  void Write(std::string_view bytes) { WriteParts(bytes, {}); }
  // `bytes` followed by CR LF, written out once at the end for a write-through stream.
  void WriteLine(std::string_view bytes) { WriteParts(bytes, "\r\n"); }
  void Flush();
  // Used only by the failure report: writes out whatever is buffered plus `bytes`, and ignores
  // any error, since the run is ending anyway.
  void WriteLastWords(std::string_view bytes) noexcept;

  // Writes `bytes` and then `end` to this stream, and then the same to `copy`: the same bytes go
  // to the same sinks in the same order as Write() on each of the two would send them.
  //
  // It is the trace's write, and it runs for every fragment. While both streams are buffered,
  // they hold the same bytes from the first time both buffers were empty: this stream's buffer
  // then keeps them for both, so that they are copied once, and each block this stream writes
  // out is written to `copy`'s sink as well. Any other call on either stream takes the pair
  // apart again, giving `copy` its own copy of the bytes.
  void Echo(OutStream& copy, std::string_view bytes, std::string_view end) {
    // Two sizes of strings cannot add up beyond what a size holds.
    if (char* at = PairedSpace(copy, bytes.size() + end.size())) {
      at = std::copy(bytes.begin(), bytes.end(), at);
      EndPaired(std::copy(end.begin(), end.end(), at));
      return;
    }
    EchoUnpaired(copy, bytes, end);
  }

  // For composing a fragment of at most `most` bytes straight into the buffer of a pair (see
  // Echo()), with no copy: where its bytes go, or null when this stream and `copy` are not a
  // pair or the bytes might not fit. EndPaired() then takes the bytes up to `end` as one Echo().
  [[nodiscard]] char* PairedSpace(const OutStream& copy, std::size_t most) {
    // used_ is always below one block here (a full block is written out at once); saying so
    // spares the compiler a false alarm about bounds.
    if (twin_ == &copy && !borrowed_ && used_ < kStreamBufferSize && most <= kPairedRoom) {
      return buffer_ + used_;
    }
    return nullptr;
  }
  void EndPaired(const char* end) {
    used_ = static_cast<std::size_t>(end - buffer_);
    if (used_ >= kStreamBufferSize) {
      WritePairedBlocks();
    }
  }

 private:
  // A pair's buffer takes at least a whole block more than one stream needs, for the bytes of one
  // Echo() that go beyond the block they fill.
  static constexpr std::size_t kCapacity = 4 * kStreamBufferSize;
  static constexpr std::size_t kPairedRoom = kCapacity - kStreamBufferSize;

  void WriteParts(std::string_view bytes, std::string_view end) {
    if (twin_ != nullptr) {
      Unpair();
    }
    Put(bytes);
    Put(end);
    if (writeThrough_) {
      Flush();
    }
  }
  // Copies `bytes` into the buffer, writing out every block it fills.
  void Put(std::string_view bytes) {
    // As in PairedSpace(): used_ is always below one block here.
    if (used_ < kStreamBufferSize && bytes.size() < kStreamBufferSize - used_) {
      std::copy(bytes.begin(), bytes.end(), buffer_ + used_);
      used_ += bytes.size();
    } else {
      PutFilling(bytes);
    }
  }
  // The rest of Put(), for bytes that fill the buffer at least once.
  void PutFilling(std::string_view bytes);
  void WriteBlock(std::size_t size);

  void EchoUnpaired(OutStream& copy, std::string_view bytes, std::string_view end);
  // The whole blocks of a pair's buffer: first this stream's, then its twin's, as the two streams'
  // own Write() calls would have written them; the rest moves to the front.
  void WritePairedBlocks();
  // Ends the pair, giving the stream that borrowed the buffered bytes its own copy of them.
  void Unpair() noexcept;

  ByteSink sink_ = nullptr;
  void* context_ = nullptr;
  bool writeThrough_ = false;
  // The other stream of the pair while this one is paired (see Echo()); `borrowed_` when this
  // stream's buffered bytes are kept in the other one's buffer.
  OutStream* twin_ = nullptr;
  bool borrowed_ = false;
  std::size_t used_ = 0;
  char buffer_[kCapacity] = {};
};

// A text stream for reading with a 256-byte buffer. A Ctrl-Z byte (26) ends the data: Peek()
// never reads past it. A failed read ends the run with its error number.
class InStream {
 public:
  static constexpr int kEnd = -1;
  static constexpr char kCtrlZ = 26;

  void Open(ByteSource source, void* context);

  // The next byte (0..255) without consuming it, or kEnd when no byte is left or the next byte is
  // Ctrl-Z.
  int Peek() {
    // The buffered bytes are always followed by a Ctrl-Z, so that one test finds both the end of
    // the buffer and a Ctrl-Z in the data.
    const unsigned char byte = static_cast<unsigned char>(buffer_[next_]);
    return byte != kCtrlZ ? byte : PeekAtCtrlZ();
  }
  // Consumes the byte that Peek() returned; only after a Peek() that was not kEnd.
  void Skip() { ++next_; }

  [[nodiscard]] bool AtEnd() { return Peek() == kEnd; }

  // Discards the rest of the current line with its line end: up to and including the first LF,
  // or a CR and the LF right after it (the CR alone when no LF follows), or up to the end of the
  // data.
  void SkipLine();

 private:
  // Peek() at a Ctrl-Z: the one after the buffered bytes refills the buffer.
  int PeekAtCtrlZ();
  bool Refill();

  ByteSource source_ = nullptr;
  void* context_ = nullptr;
  bool ended_ = false;
  std::size_t next_ = 0;
  std::size_t size_ = 0;
  char buffer_[kStreamBufferSize + 1] = {kCtrlZ};  // the buffered bytes, then a Ctrl-Z
};

// In-memory ends for the streams: tests and the fuzzer run the whole trace through them.
struct MemorySource {
  std::string_view data;
  std::size_t chunk = kStreamBufferSize;  // bytes handed out per read, to exercise refills
};
int ReadFromMemory(void* source, char* data, std::size_t capacity, std::size_t* got);

}  // namespace tosim
