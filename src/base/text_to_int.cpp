#include "base/text_to_int.h"

#include <cstdint>

#include "base/error.h"

namespace tavrik {

bool tryTextToInt(const std::string& text, int& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    magnitude = magnitude * base + digit;
    if (magnitude > 0xFFFFFFFFll) return false;
  }
  if (base == 10) {
    const std::int64_t v = negative ? -magnitude : magnitude;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int>(v);
  } else {
    // Hexadecimal text names the 32-bit pattern.
    const auto bits = static_cast<std::uint32_t>(magnitude);
    const std::int64_t v = negative ? -static_cast<std::int64_t>(static_cast<std::int32_t>(bits))
                                    : static_cast<std::int32_t>(bits);
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int>(v);
  }
  return true;
}

int textToInt(const std::string& text) {
  int value = 0;
  if (!tryTextToInt(text, value)) throw Error(format(kNotAnInteger, text.c_str()));
  return value;
}

}  // namespace tavrik
