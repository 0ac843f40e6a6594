// The plan stream: a byte stream for reading with a 256-byte buffer, as the plan reader consumes
// it. Also serves standard input. A Ctrl-Z byte (26) ends the data.
#pragma once

#include <cstddef>
#include <string_view>

namespace tosim {

inline constexpr std::size_t kStreamBufferSize = 256;

// Where an input stream's bytes come from. Stores up to `capacity` bytes and their count in `got`
// (0 at the end of the data) and returns 0, or returns the error number of the failed read.
using ByteSource = int (*)(void* context, char* data, std::size_t capacity, std::size_t* got);

// A failed read ends the data: the stream then stands at its end for good and Error() tells the
// error number, which the caller reports (the reader itself never does).
class InStream {
 public:
  static constexpr int kEnd = -1;
  static constexpr char kCtrlZ = 26;

  void Open(ByteSource source, void* context);

  // The next byte (0..255) without consuming it, or kEnd when no byte is left, the next byte is
  // Ctrl-Z or a read failed.
  int Peek() {
    // The buffered bytes are always followed by a Ctrl-Z, so that one test finds both the end of
    // the buffer and a Ctrl-Z in the data.
    const unsigned char byte = static_cast<unsigned char>(buffer_[next_]);
    return byte != kCtrlZ ? byte : PeekAtCtrlZ();
  }
  // Consumes the byte that Peek() returned; only after a Peek() that was not kEnd.
  void Skip() { ++next_; }

  [[nodiscard]] bool AtEnd() { return Peek() == kEnd; }

  // The error number of the read that failed, or 0.
  [[nodiscard]] int Error() const { return error_; }

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
  int error_ = 0;
  std::size_t next_ = 0;
  std::size_t size_ = 0;
  char buffer_[kStreamBufferSize + 1] = {kCtrlZ};  // the buffered bytes, then a Ctrl-Z
};

// Bytes in memory as a source: the in-memory runs, the tests and the fuzzers read through it.
struct MemorySource {
  std::string_view data;
  std::size_t chunk = kStreamBufferSize;  // bytes handed out per read, to exercise refills
};
int ReadFromMemory(void* source, char* data, std::size_t capacity, std::size_t* got);

}  // namespace tosim
