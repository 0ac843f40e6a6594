#include "tosim/fragment.h"

#include <algorithm>
#include <cstring>

namespace tosim {

Fragment& Fragment::AppendCut(std::string_view text) {
  const std::size_t count = std::min(text.size(), kCapacity - size_);
  std::memcpy(bytes_ + size_, text.data(), count);
  size_ += count;
  return *this;
}

namespace {

// Writes the decimal digits of `magnitude` so that they end just before `end`; returns where
// they begin. Two digits per division, since timestamps soon have several.
char* PutDigits(char* end, std::uint32_t magnitude) {
  static constexpr char kDigitPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  while (magnitude >= 100) {
    end -= 2;
    std::memcpy(end, &kDigitPairs[2 * (magnitude % 100)], 2);
    magnitude /= 100;
  }
  if (magnitude >= 10) {
    end -= 2;
    std::memcpy(end, &kDigitPairs[2 * magnitude], 2);
  } else {
    *--end = static_cast<char>('0' + magnitude);
  }
  return end;
}

}  // namespace

Fragment& Fragment::AppendNumber(std::int32_t number) {
  // The magnitude is taken in unsigned arithmetic, so that the most negative number has one.
  std::uint32_t magnitude = static_cast<std::uint32_t>(number);
  if (number < 0) {
    magnitude = 0u - magnitude;
  }
  char digits[11];
  char* const end = digits + sizeof digits;
  char* first = PutDigits(end, magnitude);
  if (number < 0) {
    *--first = '-';
  }
  return AppendCut(std::string_view(first, static_cast<std::size_t>(end - first)));
}

}  // namespace tosim
