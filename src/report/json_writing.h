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

}  // namespace tosim::report::json
