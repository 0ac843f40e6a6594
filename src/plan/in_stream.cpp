#include "plan/in_stream.h"

#include <algorithm>
#include <cstring>

namespace tosim {

void InStream::Open(ByteSource source, void* context) {
  source_ = source;
  context_ = context;
  ended_ = false;
  error_ = 0;
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
    error_ = error;
    got = 0;
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
