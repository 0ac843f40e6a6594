#include "tosim/fragment.h"

#include <algorithm>
#include <cstring>

namespace tosim {

Fragment& Fragment::operator<<(std::string_view text) {
  const std::size_t count = std::min(text.size(), kCapacity - size_);
  std::memcpy(bytes_ + size_, text.data(), count);
  size_ += count;
  return *this;
}

Fragment& Fragment::operator<<(char c) {
  return *this << std::string_view(&c, 1);
}

Fragment& Fragment::operator<<(std::int32_t number) {
  // The magnitude is taken in unsigned arithmetic, so that the most negative number has one.
  std::uint32_t magnitude = static_cast<std::uint32_t>(number);
  if (number < 0) {
    magnitude = 0u - magnitude;
  }
  char digits[11];
  std::size_t first = sizeof digits;
  do {
    digits[--first] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (number < 0) {
    digits[--first] = '-';
  }
  return *this << std::string_view(digits + first, sizeof digits - first);
}

}  // namespace tosim
