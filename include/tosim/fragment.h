// A piece of trace text, composed first and then written whole.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tosim {

// A byte string of at most 255 characters, built from literals, decimal numbers and single
// characters. Bytes beyond the capacity are dropped; no text the program composes comes near it.
class Fragment {
 public:
  static constexpr std::size_t kCapacity = 255;

  Fragment() = default;
  explicit Fragment(std::string_view text) { *this << text; }

  // Inline, so that a literal is copied with its length known at compile time.
  Fragment& operator<<(std::string_view text) {
    // size_ never exceeds kCapacity; saying so spares the compiler a false alarm about bounds.
    if (size_ <= kCapacity && text.size() <= kCapacity - size_) {
      std::copy(text.begin(), text.end(), bytes_ + size_);
      size_ += text.size();
      return *this;
    }
    return AppendCut(text);
  }
  Fragment& operator<<(char c) {
    if (size_ < kCapacity) {
      bytes_[size_++] = c;
    }
    return *this;
  }
  // Plain decimal, with a minus sign when negative. Inline for one digit: transaction numbers
  // are the most frequent numbers of the trace.
  Fragment& operator<<(std::int32_t number) {
    if (number >= 0 && number <= 9 && size_ < kCapacity) {
      bytes_[size_++] = static_cast<char>('0' + number);
      return *this;
    }
    return AppendNumber(number);
  }

  [[nodiscard]] std::string_view View() const { return {bytes_, size_}; }

 private:
  // The part of `text` that still fits.
  Fragment& AppendCut(std::string_view text);
  Fragment& AppendNumber(std::int32_t number);

  char bytes_[kCapacity];  // only the first size_ bytes are ever read
  std::size_t size_ = 0;
};

}  // namespace tosim
