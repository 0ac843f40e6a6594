// The small pieces every JSON writer of the report writes (the formatters, the answers' marks, the
// page's data): numbers, keys, lists of numbers and strings, compact, with no spaces.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tosim::report::json {

inline void PutNumber(std::string& out, std::int64_t number) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  out.append(digits, end);
}

// `"key":`, preceded by a comma unless it is the object's first key.
inline void PutKey(std::string& out, std::string_view key) {
  if (out.back() != '{') {
    out += ',';
  }
  out += '"';
  out += key;
  out += "\":";
}

inline void PutNumbers(std::string& out, const std::vector<std::int32_t>& numbers) {
  out += '[';
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    if (i != 0) {
      out += ',';
    }
    PutNumber(out, numbers[i]);
  }
  out += ']';
}

// `byte` as the escape \u00XX.
inline void PutEscape(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u00";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

// A JSON string of `text`: `"` and `\` after a backslash, and as \u00XX every byte for which
// `escaped(byte)` is true (the control bytes must be among them).
template <typename Escaped>
void PutEscapedString(std::string& out, std::string_view text, Escaped&& escaped) {
  out += '"';
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += ch;
    } else if (escaped(byte)) {
      PutEscape(out, byte);
    } else {
      out += ch;
    }
  }
  out += '"';
}

// A JSON string of UTF-8 `text`. "<" is escaped too, so that the text can stand inside the
// report page's script element: no "</script" or "<!--" can appear in it.
inline void PutString(std::string& out, std::string_view text) {
  PutEscapedString(out, text, [](unsigned char byte) { return byte < 0x20 || byte == '<'; });
}

}  // namespace tosim::report::json
