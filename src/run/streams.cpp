#include "tosim/streams.h"

#include <algorithm>
#include <cstring>

#include "tosim/trace.h"

namespace tosim {

void OutStream::Open(ByteSink sink, void* context, bool writeThrough) {
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
  if (used_ != 0) {
    WriteBlock(used_);
  }
}

void OutStream::WriteLastWords(std::string_view bytes) noexcept {
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

void InStream::Open(ByteSource source, void* context) {
  source_ = source;
  context_ = context;
  ended_ = false;
  next_ = 0;
  size_ = 0;
}

bool InStream::Refill() {
  if (ended_ || source_ == nullptr) {
    return false;
  }
  next_ = 0;
  size_ = 0;
  std::size_t got = 0;
  if (const int error = source_(context_, buffer_, kStreamBufferSize, &got); error != 0) {
    FailRun(error);
  }
  size_ = got;
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
