// The classification a byte at a time, through a table of class bits.
#include "recio/kernels/level_stages.h"

#include <array>

namespace recio::kernels::portable {

namespace {

constexpr std::array<uint8_t, 256> make_table() {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 256; ++c) t[static_cast<size_t>(c)] = class_of(static_cast<unsigned char>(c));
  return t;
}
constexpr std::array<uint8_t, 256> kTable = make_table();

} // namespace

void classify(const char *p, size_t n, ClassMasks &m) {
  for (size_t w = 0; w * 64 < n; ++w) m.digit[w] = m.blank[w] = m.sign[w] = m.point[w] = m.letter[w] = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = kTable[static_cast<unsigned char>(p[i])];
    const uint64_t bit = uint64_t{1} << (i % 64);
    const size_t w = i / 64;
    if (c & kDigitClass) m.digit[w] |= bit;
    if (c & kBlankClass) m.blank[w] |= bit;
    if (c & kSignClass) m.sign[w] |= bit;
    if (c & kPointClass) m.point[w] |= bit;
    if (c & kLetterClass) m.letter[w] |= bit;
  }
}

} // namespace recio::kernels::portable
