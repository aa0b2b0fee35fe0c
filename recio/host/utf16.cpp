#include "recio/host/utf16.h"

#include <cstdint>

namespace recio::host {

namespace {

enum class Reading : uint8_t { whole, ill_formed, cut_short };

struct Step {
  char32_t value = 0;
  size_t length = 0; // of the sequence, or of its well-formed beginning
  Reading reading = Reading::whole;
};

// The sequence at the start of `s` (not empty), by the table of well-formed
// UTF-8: the second byte's range depends on the first, which rules out
// overlong forms, surrogates and values past U+10FFFF.
Step decode(std::string_view s) {
  const auto first = static_cast<uint8_t>(s[0]);
  if (first < 0x80) return {first, 1, Reading::whole};
  size_t more = 0;
  char32_t value = 0;
  uint8_t low = 0x80, high = 0xBF;
  if (first >= 0xC2 && first <= 0xDF) {
    more = 1;
    value = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    more = 2;
    value = first & 0x0F;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    more = 3;
    value = first & 0x07;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    return {0, 1, Reading::ill_formed};
  }
  for (size_t i = 1; i <= more; ++i) {
    if (i == s.size()) return {0, i, Reading::cut_short};
    const auto next = static_cast<uint8_t>(s[i]);
    if (next < low || next > high) return {0, i, Reading::ill_formed};
    low = 0x80;
    high = 0xBF;
    value = (value << 6) | (next & 0x3F);
  }
  return {value, more + 1, Reading::whole};
}

void append_utf16(char32_t value, std::u16string &out) {
  if (value < 0x10000) {
    out.push_back(static_cast<char16_t>(value));
    return;
  }
  value -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
}

bool is_high_surrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low_surrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

bool utf8_to_utf16(std::string_view utf8, std::u16string &out) {
  const size_t kept = out.size();
  while (!utf8.empty()) {
    const Step step = decode(utf8);
    if (step.reading != Reading::whole) {
      out.resize(kept);
      return false;
    }
    append_utf16(step.value, out);
    utf8.remove_prefix(step.length);
  }
  return true;
}

bool utf16_to_utf8(std::u16string_view utf16, std::string &out) {
  bool well_formed = true;
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t value = utf16[i];
    if (is_high_surrogate(value) && i + 1 < utf16.size() && is_low_surrogate(utf16[i + 1])) {
      value = 0x10000 + ((value - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    } else if (is_high_surrogate(value) || is_low_surrogate(value)) {
      well_formed = false;
    }
    if (value < 0x80) {
      out.push_back(static_cast<char>(value));
    } else if (value < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (value >> 6)));
      out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else if (value < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (value >> 12)));
      out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (value >> 18)));
      out.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    }
  }
  return well_formed;
}

size_t utf8_to_utf16_for_display(std::string_view utf8, std::u16string &out) {
  while (!utf8.empty()) {
    const Step step = decode(utf8);
    if (step.reading == Reading::cut_short) return utf8.size();
    append_utf16(step.reading == Reading::whole ? step.value : U'\uFFFD', out);
    utf8.remove_prefix(step.length);
  }
  return 0;
}

} // namespace recio::host
