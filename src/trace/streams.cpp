#include "trace/streams.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace tosim {

void CannotFail(int /*errorNumber*/) {
  std::abort();
}

void OutStream::Open(ByteSink sink, void* context, bool writeThrough, FailureHandler onFailure) {
  sink_ = sink;
  context_ = context;
  writeThrough_ = writeThrough;
  onFailure_ = onFailure;
  used_ = 0;
}

void OutStream::WriteBlock(std::size_t size) {
  used_ = 0;
  if (const int error = sink_(context_, buffer_, size); error != 0) {
    Failed(error);
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

int AppendToString(void* context, const char* data, std::size_t size) {
  static_cast<std::string*>(context)->append(data, size);
  return 0;
}

int Discard(void* /*context*/, const char* /*data*/, std::size_t /*size*/) {
  return 0;
}

}  // namespace tosim
