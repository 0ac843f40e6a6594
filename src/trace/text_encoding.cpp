#include "trace/text_encoding.h"

#include <cstdint>

namespace tosim {

namespace {

// The characters of bytes 0x80 to 0x9F; from 0xA0 on, Windows-1252 is Latin-1.
constexpr std::uint16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

}  // namespace

char* Cp1252ToUtf8(std::string_view text, char* out) {
  for (const char byte : text) {
    const auto code = static_cast<unsigned char>(byte);
    if (code < 0x80) {
      *out++ = byte;
      continue;
    }
    const std::uint16_t character = code < 0xA0 ? kHighControls[code - 0x80] : code;
    if (character < 0x800) {
      *out++ = static_cast<char>(0xC0 | (character >> 6));
    } else {
      *out++ = static_cast<char>(0xE0 | (character >> 12));
      *out++ = static_cast<char>(0x80 | ((character >> 6) & 0x3F));
    }
    *out++ = static_cast<char>(0x80 | (character & 0x3F));
  }
  return out;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string utf8(text.size() * kMostUtf8PerByte, '\0');
  utf8.resize(static_cast<std::size_t>(Cp1252ToUtf8(text, utf8.data()) - utf8.data()));
  return utf8;
}

}  // namespace tosim
