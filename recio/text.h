// Small text helpers shared by the connection code.
#pragma once

#include <string_view>

namespace recio {

inline char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// Equal without regard to the case of ASCII letters.
inline bool equal_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
  return true;
}

} // namespace recio
