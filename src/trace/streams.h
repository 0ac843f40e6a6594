// The buffered byte stream behind the listing and standard output.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "plan/in_stream.h"
#include "trace/failure.h"

namespace tosim {

// Where an output stream's bytes go. Writes all `size` bytes and returns 0, or returns the error
// number of the failed write; a short write is a failure.
using ByteSink = int (*)(void* context, const char* data, std::size_t size);

// A text stream for writing with a 256-byte buffer. The buffer is written out whenever it is full
// and on Flush(); a write-through stream (a console) is also written out after every Write().
// A failed write ends the run through the failure handler given to Open(), with its error
// number.
class OutStream {
 public:
  OutStream() = default;
  OutStream(const OutStream&) = delete;
  OutStream& operator=(const OutStream&) = delete;

  void Open(ByteSink sink, void* context, bool writeThrough, FailureHandler onFailure = CannotFail);

  void Write(std::string_view bytes) { WriteParts(bytes, {}); }
  // `bytes` followed by CR LF, written out once at the end for a write-through stream.
  void WriteLine(std::string_view bytes) { WriteParts(bytes, "\r\n"); }
  // `bytes` and then `end`, as one write.
  void WriteParts(std::string_view bytes, std::string_view end) {
    Put(bytes);
    Put(end);
    if (writeThrough_) {
      Flush();
    }
  }
  void Flush();
  // Used only by the failure report: writes out whatever is buffered plus `bytes`, and ignores
  // any error, since the run is ending anyway.
  void WriteLastWords(std::string_view bytes) noexcept;

  [[nodiscard]] bool WritesThrough() const { return writeThrough_; }
  // The count of bytes waiting in the buffer.
  [[nodiscard]] std::size_t Pending() const { return used_; }
  // Hands `size` bytes straight to the sink, past the buffer; returns 0 or the error number.
  [[nodiscard]] int Send(const char* data, std::size_t size) const {
    return sink_(context_, data, size);
  }
  // Ends the run for a failed write of this stream's, through its failure handler.
  [[noreturn]] void Failed(int error) const { Fail(onFailure_, error); }

 private:
  // Copies `bytes` into the buffer, writing out every block it fills.
  void Put(std::string_view bytes) {
    // used_ is always below one block here (a full block is written out at once); saying so
    // spares the compiler a false alarm about bounds.
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
  FailureHandler onFailure_ = CannotFail;
  std::size_t used_ = 0;
  char buffer_[kStreamBufferSize] = {};
};

// Sinks in memory: `context` is a std::string that takes the bytes, or nothing for Discard.
int AppendToString(void* context, const char* data, std::size_t size);
int Discard(void* context, const char* data, std::size_t size);

}  // namespace tosim
