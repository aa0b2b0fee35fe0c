// Eight fields at a time, one to each 64-bit lane, two lanes to a vector: a
// table lookup over the group's 128 bytes gathers each lane's digits,
// multiply-adds of byte pairs, then of word pairs, make numbers of them, and
// each field is scaled as the scalar stage scales it.
#include "recio/kernels/level_stages.h"
#include "recio/kernels/neon/classify.h"
#include "recio/kernels/neon_intrinsics.h"
#include "recio/kernels/powers_of_ten.h"


#include <cstring>
#include <type_traits>

namespace recio::kernels::VORNET_LEVEL(neon) {

namespace {

// A lane layout's permutation for table lookups: bytes a lane does not fill
// point past the table and read 0.
struct Lookup {
  uint8x16_t index[4];
  uint8x16_t prefix[4]; // 0xFF at lane bytes of prefix columns
};

Lookup lookup_of(const uint8_t *index, uint64_t keep, uint64_t prefix) {
  uint8_t bytes[64], prefix_bytes[64];
  for (int b = 0; b < 64; ++b) {
    bytes[b] = (keep >> b & 1) ? index[b] : 0xFF;
    prefix_bytes[b] = (prefix >> b & 1) ? 0xFF : 0;
  }
  Lookup l;
  for (int q = 0; q < 4; ++q) {
    l.index[q] = vld1q_u8(bytes + 16 * q);
    l.prefix[q] = vld1q_u8(prefix_bytes + 16 * q);
  }
  return l;
}

// Lane bytes `q` (of four vectors) from the group's 128 bytes.
uint8x16_t gather(const uint8x16x4_t &lo, const uint8x16x4_t &hi, uint8x16_t index) {
  return vqtbx4q_u8(vqtbl4q_u8(lo, index), hi, vsubq_u8(index, vdupq_n_u8(64)));
}

// Digit bytes (bit 4 set) as numbers per 64-bit lane, the first the most
// significant; blanks, signs and unfilled bytes count as 0.
uint64x2_t lane_numbers(uint8x16_t x) {
  const uint8x16_t d = vandq_u8(vandq_u8(x, vdupq_n_u8(0x0F)), vtstq_u8(x, vdupq_n_u8(0x10)));
  const uint16x8_t t = vreinterpretq_u16_u8(d);
  const uint16x8_t pairs = vmlaq_n_u16(vshrq_n_u16(t, 8), vandq_u16(t, vdupq_n_u16(0xFF)), 10);
  const uint32x4_t u = vreinterpretq_u32_u16(pairs);
  const uint32x4_t quads = vmlaq_n_u32(vshrq_n_u32(u, 16), vandq_u32(u, vdupq_n_u32(0xFFFF)), 100);
  const uint64x2_t q = vreinterpretq_u64_u32(quads);
  return vmlal_n_u32(vshrq_n_u64(q, 32), vmovn_u64(q), 10000);
}

// 0 or all ones per lane: a minus sign among the lane's `prefix` bytes.
uint64x2_t minus_lanes(uint8x16_t x, uint8x16_t prefix) {
  const uint8x16_t m = vandq_u8(vceqq_u8(x, vdupq_n_u8(kMinus)), prefix);
  return vtstq_u64(vreinterpretq_u64_u8(m), vreinterpretq_u64_u8(m));
}

// How many of the `count` fields in the group's `span` bytes match the
// layout: the block check of the scalar stage, on the group's two words.
size_t check_group(const LaneLayout &l, const uint8x16x4_t *words, size_t span, size_t count) {
  uint64_t carry = 0;
  for (size_t w = 0; w < 2 && w * 64 < span; ++w) {
    const size_t left = span - w * 64;
    const uint64_t in_span = left >= 64 ? ~uint64_t{0} : (uint64_t{1} << left) - 1;
    const uint64_t bad = bad_columns(l.columns[w], classes_of(words[w]), carry) & in_span;
    if (bad) return (w * 64 + static_cast<size_t>(__builtin_ctzll(bad))) / static_cast<size_t>(l.width);
  }
  return count;
}

template <class T>
size_t convert(const LaneLayout &l, const char *p, size_t n, T *out, ptrdiff_t stride,
               bool checked) {
  const Lookup low = lookup_of(l.index, l.keep, l.prefix);
  const Lookup high = lookup_of(l.high_index, l.high_keep, l.high_prefix);
  const Lookup exponent = lookup_of(l.exponent_index, l.exponent_keep, 0x0101010101010101ull);
  const size_t group = static_cast<size_t>(l.fields);
  const size_t width = static_cast<size_t>(l.width);
  size_t i = 0;
  for (; i < n; i += group) {
    const char *f = p + i * width;
    size_t count = n - i >= group ? group : n - i;
    // The group's own bytes only, so nothing past the fields is read.
    const size_t span = count * width;
    alignas(16) uint8_t bytes[128] = {};
    std::memcpy(bytes, f, span);
    const uint8x16x4_t words[2] = {vld1q_u8_x4(bytes), vld1q_u8_x4(bytes + 64)};
    const size_t good = checked ? count : check_group(l, words, span, count);
    if (good == 0) return i;
    const bool last = good < count;
    count = good;
    uint64_t value[8], negative[8], power[8] = {}, below[8] = {};
    for (int q = 0; q < 4; ++q) {
      const uint8x16_t x = gather(words[0], words[1], low.index[q]);
      uint64x2_t v = lane_numbers(x);
      uint64x2_t minus = minus_lanes(x, low.prefix[q]);
      if (l.high) {
        const uint8x16_t h = gather(words[0], words[1], high.index[q]);
        v = vmlal_n_u32(v, vmovn_u64(lane_numbers(h)), 100000000);
        minus = vorrq_u64(minus, minus_lanes(h, high.prefix[q]));
      }
      vst1q_u64(value + 2 * q, v);
      vst1q_u64(negative + 2 * q, minus);
      if (l.exponent) {
        const uint8x16_t e = gather(words[0], words[1], exponent.index[q]);
        vst1q_u64(power + 2 * q, lane_numbers(e));
        vst1q_u64(below + 2 * q, minus_lanes(e, exponent.prefix[q]));
      }
    }
    T *to = stride == 0 ? out : out + i;
    for (size_t k = 0; k < count; ++k) {
      const uint64_t m = value[k];
      if constexpr (std::is_same_v<T, int32_t>) {
        *to = negative[k] ? -static_cast<int32_t>(m) : static_cast<int32_t>(m);
      } else {
        const auto e = static_cast<int32_t>(power[k]);
        const int32_t scale = (below[k] ? -e : e) - l.fraction;
        if (scale < -kMaxExactPower || scale > kMaxExactPower) return i + k;
        const auto d = static_cast<double>(m);
        // Both operands are exact, so the one operation rounds correctly.
        const double v = scale < 0 ? d / kPowersOfTen[-scale] : d * kPowersOfTen[scale];
        *to = static_cast<T>(negative[k] ? -v : v);
      }
      to += stride;
    }
    if (last) return i + count;
  }
  return n;
}

} // namespace

size_t convert_lanes(const LaneLayout &l, const char *p, size_t n, bool checked, int32_t *out) {
  return convert(l, p, n, out, 1, checked);
}
size_t convert_lanes(const LaneLayout &l, const char *p, size_t n, bool checked, float *out,
                     ptrdiff_t stride) {
  return convert(l, p, n, out, stride, checked);
}
size_t convert_lanes(const LaneLayout &l, const char *p, size_t n, bool checked, double *out,
                     ptrdiff_t stride) {
  return convert(l, p, n, out, stride, checked);
}

} // namespace recio::kernels::VORNET_LEVEL(neon)
