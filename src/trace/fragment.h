// A piece of trace text, composed first and then written whole.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tosim {

// The pieces a fragment is made of: texts, single characters and decimal numbers. PutPiece()
// writes one at `at` and returns the end of what it wrote; MostBytes() is the most it can take.
constexpr std::size_t MostBytes(std::string_view text) {
  return text.size();
}
// A literal: its characters without the final NUL, counted at compile time.
template <std::size_t N>
constexpr std::size_t MostBytes(const char (&)[N]) {
  return N - 1;
}
constexpr std::size_t MostBytes(char) {
  return 1;
}
constexpr std::size_t MostBytes(std::int32_t) {
  return 11;  // "-2147483648"
}

inline char* PutPiece(char* at, std::string_view text) {
  return std::copy(text.begin(), text.end(), at);
}
template <std::size_t N>
char* PutPiece(char* at, const char (&literal)[N]) {
  return std::copy(literal, literal + N - 1, at);
}
inline char* PutPiece(char* at, char c) {
  *at = c;
  return at + 1;
}
// Plain decimal, with a minus sign when negative.
char* PutNumber(char* at, std::int32_t number);
// Inline for one digit: transaction numbers are the most frequent numbers of the trace.
inline char* PutPiece(char* at, std::int32_t number) {
  if (number >= 0 && number <= 9) {
    *at = static_cast<char>('0' + number);
    return at + 1;
  }
  return PutNumber(at, number);
}

// A byte string of at most 255 characters, built from pieces. Bytes beyond the capacity are
// dropped; no text the program composes comes near it.
class Fragment {
 public:
  static constexpr std::size_t kCapacity = 255;

  Fragment() = default;
  explicit Fragment(std::string_view text) { *this << text; }

  // Inline, so that a literal is copied with its length known at compile time.
  template <typename Piece>
  Fragment& operator<<(const Piece& piece) {
    // size_ never exceeds kCapacity; saying so spares the compiler a false alarm about bounds.
    if (size_ <= kCapacity && MostBytes(piece) <= kCapacity - size_) {
      size_ = static_cast<std::size_t>(PutPiece(bytes_ + size_, piece) - bytes_);
      return *this;
    }
    return AppendCut(piece);
  }

  [[nodiscard]] std::string_view View() const { return {bytes_, size_}; }

 private:
  // The part of a piece that still fits.
  Fragment& AppendCut(std::string_view text);
  Fragment& AppendCut(char c);
  Fragment& AppendCut(std::int32_t number);

  char bytes_[kCapacity];  // only the first size_ bytes are ever read
  std::size_t size_ = 0;
};

}  // namespace tosim
