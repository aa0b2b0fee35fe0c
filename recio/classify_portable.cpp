#include "recio/byte_classes.h"

#include <array>

namespace recio::kernels {

namespace {

enum : uint8_t { kDigit = 1, kBlank = 2, kSign = 4, kPoint = 8, kLetter = 16 };

constexpr std::array<uint8_t, 256> make_table() {
  std::array<uint8_t, 256> t{};
  for (int c = '0'; c <= '9'; ++c) t[c] = kDigit;
  t[' '] = kBlank;
  t['+'] = t['-'] = kSign;
  t['.'] = kPoint;
  t['E'] = kLetter;
  return t;
}
constexpr std::array<uint8_t, 256> kTable = make_table();

} // namespace

void classify_portable(const char *p, size_t n, ClassMasks &m) {
  for (size_t w = 0; w * 64 < n; ++w) m.digit[w] = m.blank[w] = m.sign[w] = m.point[w] = m.letter[w] = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = kTable[static_cast<unsigned char>(p[i])];
    const uint64_t bit = uint64_t{1} << (i % 64);
    const size_t w = i / 64;
    if (c & kDigit) m.digit[w] |= bit;
    if (c & kBlank) m.blank[w] |= bit;
    if (c & kSign) m.sign[w] |= bit;
    if (c & kPoint) m.point[w] |= bit;
    if (c & kLetter) m.letter[w] |= bit;
  }
}

} // namespace recio::kernels
