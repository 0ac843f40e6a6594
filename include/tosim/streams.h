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
  void Open(ByteSink sink, void* context, bool writeThrough);

  void Write(std::string_view bytes) {
    Put(bytes);
    if (writeThrough_) {
      Flush();
    }
  }
  // `bytes` followed by CR LF, written out once at the end for a write-through stream.
  void WriteLine(std::string_view bytes) {
    Put(bytes);
    Put("\r\n");
    if (writeThrough_) {
      Flush();
    }
  }
  void Flush();
  // Used only by the failure report: writes out whatever is buffered plus `bytes`, and ignores
  // any error, since the run is ending anyway.
  void WriteLastWords(std::string_view bytes) noexcept;

 private:
  // Copies `bytes` into the buffer; inline, since it runs for every fragment of the trace.
  void Put(std::string_view bytes) {
    // used_ is always below the buffer size here (a full buffer is written out at once); saying
    // so spares the compiler a false alarm about bounds.
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

  ByteSink sink_ = nullptr;
  void* context_ = nullptr;
  bool writeThrough_ = false;
  std::size_t used_ = 0;
  char buffer_[kStreamBufferSize] = {};
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
    if (next_ == size_ && !Refill()) {
      return kEnd;
    }
    const unsigned char byte = static_cast<unsigned char>(buffer_[next_]);
    return byte == kCtrlZ ? kEnd : byte;
  }
  // Consumes the byte that Peek() returned; only after a Peek() that was not kEnd.
  void Skip() { ++next_; }

  [[nodiscard]] bool AtEnd() { return Peek() == kEnd; }

  // Discards the rest of the current line with its line end: up to and including the first LF,
  // or a CR and the LF right after it (the CR alone when no LF follows), or up to the end of the
  // data.
  void SkipLine();

 private:
  bool Refill();

  ByteSource source_ = nullptr;
  void* context_ = nullptr;
  bool ended_ = false;
  std::size_t next_ = 0;
  std::size_t size_ = 0;
  char buffer_[kStreamBufferSize] = {};
};

// In-memory ends for the streams: tests and the fuzzer run the whole trace through them.
struct MemorySource {
  std::string_view data;
  std::size_t chunk = kStreamBufferSize;  // bytes handed out per read, to exercise refills
};
int ReadFromMemory(void* source, char* data, std::size_t capacity, std::size_t* got);

}  // namespace tosim
