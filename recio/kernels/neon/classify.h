// The byte classes of 64 bytes at NEON, as bit masks; shared by the
// classification of a block and the lanes.
#pragma once

#include "recio/kernels/byte_classes.h"
#include "recio/kernels/column_check.h"
#include "recio/kernels/level_stages.h"
#include "recio/kernels/neon_intrinsics.h"


namespace recio::kernels::VORNET_LEVEL(neon) {

// One bit per byte of four vectors, the first byte the lowest bit.
// (Static: see exact_quotient.h.)
static inline uint64_t bits_of(uint8x16_t a, uint8x16_t b, uint8x16_t c, uint8x16_t d) {
  static constexpr uint8_t kWeights[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                           1, 2, 4, 8, 16, 32, 64, 128};
  const uint8x16_t weights = vld1q_u8(kWeights);
  const uint8x16_t ab = vpaddq_u8(vandq_u8(a, weights), vandq_u8(b, weights));
  const uint8x16_t cd = vpaddq_u8(vandq_u8(c, weights), vandq_u8(d, weights));
  const uint8x16_t all = vpaddq_u8(ab, cd);
  return vgetq_lane_u64(vreinterpretq_u64_u8(vpaddq_u8(all, all)), 0);
}

static inline ByteClasses classes_of(const uint8x16x4_t &x) {
  uint8x16_t digit[4], blank[4], sign[4], point[4], letter[4];
  for (int i = 0; i < 4; ++i) {
    digit[i] = vcltq_u8(vsubq_u8(x.val[i], vdupq_n_u8(kFirstDigit)), vdupq_n_u8(kDigitCount));
    blank[i] = vceqq_u8(x.val[i], vdupq_n_u8(kBlank));
    sign[i] = vorrq_u8(vceqq_u8(x.val[i], vdupq_n_u8(kPlus)), vceqq_u8(x.val[i], vdupq_n_u8(kMinus)));
    point[i] = vceqq_u8(x.val[i], vdupq_n_u8(kPoint));
    letter[i] = vceqq_u8(x.val[i], vdupq_n_u8(kLetter));
  }
  return ByteClasses{bits_of(digit[0], digit[1], digit[2], digit[3]),
                     bits_of(blank[0], blank[1], blank[2], blank[3]),
                     bits_of(sign[0], sign[1], sign[2], sign[3]),
                     bits_of(point[0], point[1], point[2], point[3]),
                     bits_of(letter[0], letter[1], letter[2], letter[3])};
}

} // namespace recio::kernels::VORNET_LEVEL(neon)
