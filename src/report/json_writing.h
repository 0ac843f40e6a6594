// The small pieces both JSON formatters write: numbers, keys and lists of numbers, compact, with
// no spaces.
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

// A JSON string of UTF-8 `text`. "<" is escaped too, so that the text can stand inside the
// report page's script element: no "</script" or "<!--" can appear in it.
inline void PutString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += ch;
    } else if (byte < 0x20 || byte == '<') {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += ch;
    }
  }
  out += '"';
}

}  // namespace tosim::report::json
