// The program's texts are Windows-1252 bytes; a terminal that takes UTF-8 is given them converted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tosim {

// The most UTF-8 bytes that one Windows-1252 byte becomes.
inline constexpr std::size_t kMostUtf8PerByte = 3;

// Writes `text` in UTF-8 to `out`, which has room for kMostUtf8PerByte bytes for each byte of
// `text`, and returns the end of what it wrote. ASCII stays as it is. The five bytes that
// Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters
// U+0081, U+008D, U+008F, U+0090 and U+009D, as Windows itself converts them.
char* Cp1252ToUtf8(std::string_view text, char* out);
std::string Cp1252ToUtf8(std::string_view text);

}  // namespace tosim
