// The vector stage of conversion at AVX-512: eight fields of a fixed-point
// or integer layout of at most eight columns at once, one field to each
// 64-bit lane. A single byte permutation gathers each field's digit columns
// (without its point) right-aligned into its lane, and the lane arithmetic is
// the one-word conversion of the scalar stage: the same integers, the same
// one division by an exact power of ten, the same values bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace recio::kernels {

struct LaneLayout {
  uint8_t index[64];     // source byte in the eight fields of each lane byte
  uint64_t keep = 0;     // lane bytes that hold digit columns
  uint64_t prefix = 0;   // lane bytes that hold prefix columns (where a sign may stand)
  int32_t fraction = 0;  // digits after the point
  int32_t width = 0;
  bool usable = false;   // at most eight columns, no exponent
};

// Converts `n` checked fields (a multiple of 8) from `p`; T is int32_t
// (integers), float or double (fixed point).
void convert_lanes_avx512(const LaneLayout &l, const char *p, size_t n, int32_t *out);
void convert_lanes_avx512(const LaneLayout &l, const char *p, size_t n, float *out);
void convert_lanes_avx512(const LaneLayout &l, const char *p, size_t n, double *out);

} // namespace recio::kernels
