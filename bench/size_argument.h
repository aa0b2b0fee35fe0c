// Command-line sizes of the bench tools: a decimal count with an optional
// K, M or G suffix (binary multiples).
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace saogen {

// Stores the size in `size`; returns what is wrong with `text`, or nullptr.
inline const char *parse_size(const char *text, uint64_t &size) {
  char *end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text, &end, 10);
  if (errno != 0 || end == text) return "not a number";
  uint64_t scale = 1;
  if (*end == 'K' || *end == 'k') scale = 1ull << 10;
  if (*end == 'M' || *end == 'm') scale = 1ull << 20;
  if (*end == 'G' || *end == 'g') scale = 1ull << 30;
  if (scale != 1) ++end;
  if (*end != '\0') return "a size takes only the suffixes K, M and G";
  size = static_cast<uint64_t>(v) * scale;
  return nullptr;
}

} // namespace saogen
