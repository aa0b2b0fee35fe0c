// The classification eight bytes at a time in a 64-bit word: each class is a
// comparison of all eight bytes at once whose result is the high bit of each
// byte, and one multiplication gathers those eight bits into a byte of the
// mask.
#include "recio/kernels/level_stages.h"

#include <bit>
#include <cstring>

namespace recio::kernels::portable {

namespace {

// Byte k of a word loaded from memory is its k-th lowest byte.
static_assert(std::endian::native == std::endian::little);

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHigh = 0x8080808080808080ull;
constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;

// The high bit of each byte that is zero; exact, no carry crosses a byte.
uint64_t zero_bytes(uint64_t x) {
  return ~(((x & kLow7) + kLow7) | x) & kHigh;
}

uint64_t equal_bytes(uint64_t x, char c) {
  return zero_bytes(x ^ (kOnes * static_cast<unsigned char>(c)));
}

// The high bit of each byte below `n` (n at most 0x80).
uint64_t below_bytes(uint64_t x, unsigned n) {
  return ~(((x & kLow7) + kOnes * (0x80 - n)) | x) & kHigh;
}

// The eight high bits as the low byte: bit k from byte k.
uint64_t gather_high_bits(uint64_t bits) {
  return (bits >> 7) * 0x0102040810204080ull >> 56;
}

} // namespace

void classify(const char *p, size_t n, ClassMasks &m) {
  for (size_t w = 0; w * 64 < n; ++w) {
    uint64_t d = 0, b = 0, s = 0, pt = 0, e = 0;
    for (size_t k = 0; k < 8; ++k) {
      uint64_t x;
      std::memcpy(&x, p + w * 64 + k * 8, 8); // the padding past the run is readable
      const unsigned shift = static_cast<unsigned>(k * 8);
      d |= gather_high_bits(
               below_bytes(x ^ (kOnes * static_cast<unsigned char>(kFirstDigit)), kDigitCount))
           << shift;
      b |= gather_high_bits(equal_bytes(x, kBlank)) << shift;
      s |= gather_high_bits(equal_bytes(x, kPlus) | equal_bytes(x, kMinus)) << shift;
      pt |= gather_high_bits(equal_bytes(x, kPoint)) << shift;
      e |= gather_high_bits(equal_bytes(x, kLetter)) << shift;
    }
    store_word(m, w, ByteClasses{d, b, s, pt, e});
  }
  clear_tail(m, n);
}

} // namespace recio::kernels::portable
