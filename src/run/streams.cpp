#include "tosim/streams.h"

#include <algorithm>
#include <cstring>

#include "tosim/trace.h"

namespace tosim {

void OutStream::Open(ByteSink sink, void* context, bool writeThrough) {
  if (twin_ != nullptr) {
    Unpair();
  }
  sink_ = sink;
  context_ = context;
  writeThrough_ = writeThrough;
  used_ = 0;
}

void OutStream::WriteBlock(std::size_t size) {
  used_ = 0;
  if (const int error = sink_(context_, buffer_, size); error != 0) {
    FailRun(error);
  }
}

void OutStream::PutFilling(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t count = std::min(bytes.size(), kStreamBufferSize - used_);
    std::memcpy(buffer_ + used_, bytes.data(), count);
    used_ += count;
    bytes.remove_prefix(count);
    if (used_ == kStreamBufferSize) {
      WriteBlock(used_);
    }
  }
}

void OutStream::Flush() {
  if (twin_ != nullptr) {
    Unpair();
  }
  if (used_ != 0) {
    WriteBlock(used_);
  }
}

void OutStream::WriteLastWords(std::string_view bytes) noexcept {
  if (twin_ != nullptr) {
    Unpair();
  }
  if (sink_ == nullptr) {
    return;
  }
  if (used_ != 0) {
    const std::size_t size = used_;
    used_ = 0;
    (void)sink_(context_, buffer_, size);
  }
  (void)sink_(context_, bytes.data(), bytes.size());
}

void OutStream::EchoUnpaired(OutStream& copy, std::string_view bytes, std::string_view end) {
  const bool pairable = twin_ == nullptr && copy.twin_ == nullptr && &copy != this &&
                        !writeThrough_ && !copy.writeThrough_ && used_ == 0 && copy.used_ == 0 &&
                        bytes.size() + end.size() <= kPairedRoom;
  if (pairable) {
    // Two empty buffers hold the same bytes, and keep doing so as long as both get the same.
    twin_ = &copy;
    copy.twin_ = this;
    copy.borrowed_ = true;
    Echo(copy, bytes, end);
    return;
  }
  WriteParts(bytes, end);
  copy.WriteParts(bytes, end);
}

void OutStream::WritePairedBlocks() {
  const std::size_t whole = used_ - used_ % kStreamBufferSize;
  // A failed block of this stream ends the run before any of this Echo() reaches the twin; the
  // bytes after the failed block were never put, as with Write().
  for (std::size_t at = 0; at < whole; at += kStreamBufferSize) {
    if (const int error = sink_(context_, buffer_ + at, kStreamBufferSize); error != 0) {
      used_ = 0;
      FailRun(error);
    }
  }
  // This stream has taken all the bytes when a block of the twin fails: it keeps the rest.
  const OutStream& copy = *twin_;
  int copyError = 0;
  for (std::size_t at = 0; at < whole && copyError == 0; at += kStreamBufferSize) {
    copyError = copy.sink_(copy.context_, buffer_ + at, kStreamBufferSize);
  }
  std::copy(buffer_ + whole, buffer_ + used_, buffer_);
  used_ -= whole;
  if (copyError != 0) {
    FailRun(copyError);
  }
}

void OutStream::Unpair() noexcept {
  OutStream& keeper = borrowed_ ? *twin_ : *this;
  OutStream& borrower = borrowed_ ? *this : *twin_;
  std::copy(keeper.buffer_, keeper.buffer_ + keeper.used_, borrower.buffer_);
  borrower.used_ = keeper.used_;
  keeper.twin_ = nullptr;
  borrower.twin_ = nullptr;
  borrower.borrowed_ = false;
}

void InStream::Open(ByteSource source, void* context) {
  source_ = source;
  context_ = context;
  ended_ = false;
  next_ = 0;
  size_ = 0;
  buffer_[0] = kCtrlZ;
}

int InStream::PeekAtCtrlZ() {
  if (next_ == size_ && Refill()) {
    return Peek();
  }
  return kEnd;
}

bool InStream::Refill() {
  if (ended_ || source_ == nullptr) {
    return false;
  }
  next_ = 0;
  size_ = 0;
  buffer_[0] = kCtrlZ;
  std::size_t got = 0;
  if (const int error = source_(context_, buffer_, kStreamBufferSize, &got); error != 0) {
    FailRun(error);
  }
  size_ = got;
  buffer_[size_] = kCtrlZ;
  ended_ = got == 0;
  return !ended_;
}

void InStream::SkipLine() {
  for (int byte = Peek(); byte != kEnd; byte = Peek()) {
    Skip();
    if (byte == '\n') {
      return;
    }
    if (byte == '\r') {
      if (Peek() == '\n') {
        Skip();
      }
      return;
    }
  }
}

int ReadFromMemory(void* source, char* data, std::size_t capacity, std::size_t* got) {
  auto& memory = *static_cast<MemorySource*>(source);
  const std::size_t count = std::min({capacity, memory.chunk, memory.data.size()});
  std::memcpy(data, memory.data.data(), count);
  memory.data.remove_prefix(count);
  *got = count;
  return 0;
}

}  // namespace tosim
