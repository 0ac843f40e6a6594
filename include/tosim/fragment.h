// A piece of trace text, composed first and then written whole.
#pragma once

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

  Fragment& operator<<(std::string_view text);
  Fragment& operator<<(char c);
  // Plain decimal, with a minus sign when negative.
  Fragment& operator<<(std::int32_t number);

  [[nodiscard]] std::string_view View() const { return {bytes_, size_}; }

 private:
  char bytes_[kCapacity] = {};
  std::size_t size_ = 0;
};

}  // namespace tosim
