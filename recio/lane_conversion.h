// The vector stage of conversion at AVX-512: eight fields at once, one field
// to each 64-bit lane. A byte permutation gathers each field's digit columns
// (without its point) right-aligned into its lane, another its exponent's
// sign and digits, and the lane arithmetic is the one-word conversion of the
// scalar stage: the same integers, the same one operation with an exact power
// of ten, the same values bit for bit.
#pragma once

#include "recio/column_check.h"
#include "recio/field_layout.h"

#include <cstddef>
#include <cstdint>

namespace recio::kernels {

struct LaneLayout {
  uint8_t index[64] = {};          // source byte (of two vectors) of each lane byte: the last
                                   // eight mantissa digits, right-aligned
  uint8_t high_index[64] = {};     // the mantissa digits before those, right-aligned
  uint8_t exponent_index[64] = {}; // the exponent: sign in byte 0, digits right-aligned
  uint64_t keep = 0, high_keep = 0, exponent_keep = 0; // lane bytes each fills
  uint64_t prefix = 0, high_prefix = 0; // lane bytes of prefix columns (where a sign may stand)
  ColumnClasses columns[2] = {}; // the layout's columns over a group's 128 bytes
  int32_t fields = 0;   // fields a group of lanes takes: 8, or fewer for wide fields
  int32_t digits = 0;   // mantissa digits
  int32_t fraction = 0; // digits after the point
  int32_t width = 0;
  bool high = false;    // more than eight mantissa digits
  bool exponent = false;
  bool usable = false;
  // Fields wide enough that a group's own check costs less than classifying
  // the whole run first.
  bool checks_itself = false;
};

// The lane layout of `l`; not usable when its fields do not fit the lanes.
LaneLayout lane_layout(const FieldLayout &l);

// Converts the first `n` fields from `p`, a group of lanes at a time, and
// returns how many it converted: all of them, or fewer at the first field
// that breaks the layout or, for reals, at the first whose power of ten is
// not exact (the scalar stage and the one-field path go on from there). The
// lanes check each group against the layout themselves unless `checked` says
// the fields were checked already. A `stride` of 0 stores every value in
// out[0], so the last one stays. Reads no byte past the fields.
size_t convert_lanes_avx512(const LaneLayout &l, const char *p, size_t n, bool checked,
                            int32_t *out);
size_t convert_lanes_avx512(const LaneLayout &l, const char *p, size_t n, bool checked,
                            float *out, ptrdiff_t stride);
size_t convert_lanes_avx512(const LaneLayout &l, const char *p, size_t n, bool checked,
                            double *out, ptrdiff_t stride);

} // namespace recio::kernels
