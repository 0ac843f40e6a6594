#include "trace/fragment.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tosim {

Fragment& Fragment::AppendCut(std::string_view text) {
  const std::size_t count = std::min(text.size(), kCapacity - size_);
  std::memcpy(bytes_ + size_, text.data(), count);
  size_ += count;
  return *this;
}

Fragment& Fragment::AppendCut(char c) {
  return AppendCut(std::string_view(&c, 1));
}

Fragment& Fragment::AppendCut(std::int32_t number) {
  char digits[MostBytes(std::int32_t{})];
  const char* const end = PutNumber(digits, number);
  return AppendCut(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

namespace {

// The number of decimal digits of `magnitude`: from its length in bits (1233 / 4096 is just below
// log10 2), one less when it lies below that power of ten.
std::size_t DigitCount(std::uint32_t magnitude) {
  static constexpr std::uint32_t kPowersOfTen[] = {
      1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000,
  };
  const std::uint32_t value = magnitude | 1u;  // 0 has one digit, like 1
  const auto power = static_cast<std::size_t>((std::bit_width(value) * 1233) >> 12);
  return power + (value >= kPowersOfTen[power] ? 1 : 0);
}

// Writes the decimal digits of `magnitude` so that they end just before `end`. Two digits per
// division, since timestamps soon have several.
void PutDigits(char* end, std::uint32_t magnitude) {
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
    std::memcpy(end - 2, &kDigitPairs[2 * magnitude], 2);
  } else {
    end[-1] = static_cast<char>('0' + magnitude);
  }
}

}  // namespace

char* PutNumber(char* at, std::int32_t number) {
  // The magnitude is taken in unsigned arithmetic, so that the most negative number has one.
  std::uint32_t magnitude = static_cast<std::uint32_t>(number);
  if (number < 0) {
    magnitude = 0u - magnitude;
    *at++ = '-';
  }
  char* const end = at + DigitCount(magnitude);
  PutDigits(end, magnitude);
  return end;
}

}  // namespace tosim
