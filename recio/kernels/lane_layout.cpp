#include "recio/kernels/lane_layout.h"

#include "recio/kernels/powers_of_ten.h"

#include <initializer_list>

namespace recio::kernels {

namespace {

// Puts `count` source columns, right-aligned, into each lane of `index`.
void place(uint8_t *index, uint64_t &keep, uint64_t &prefix, int lane, int32_t field,
           const int32_t *columns, int32_t count, int32_t point) {
  for (int b = 0; b < 8; ++b) {
    const int byte = lane * 8 + b;
    const int k = b - (8 - count);
    if (k < 0) continue;
    index[byte] = static_cast<uint8_t>(field + columns[k]);
    keep |= uint64_t{1} << byte;
    if (columns[k] < point) prefix |= uint64_t{1} << byte;
  }
}

// The window of the bytes `keep` of lane 0 of `index`; false when they span
// more than eight columns.
bool window_of(const uint8_t *index, uint64_t keep, uint64_t signs, LaneWindow &w) {
  for (int b = 0; b < 8; ++b)
    if (signs >> b & 1) w.sign_bytes |= uint64_t{0xFF} << (8 * b);
  int lo = 255, hi = -1;
  for (int b = 0; b < 8; ++b) {
    if (!(keep >> b & 1)) continue;
    lo = index[b] < lo ? index[b] : lo;
    hi = index[b] > hi ? index[b] : hi;
  }
  if (hi < 0) return true; // an empty part
  if (hi - lo >= 8) return false;
  w.base = lo;
  for (int b = 0; b < 8; ++b)
    if (keep >> b & 1) w.shuffle[b] = static_cast<uint8_t>(index[b] - lo);
  return true;
}

// The window's shuffle for four lanes: the second lane of each 16 bytes
// finds its window eight bytes on or, two fields to a load, a width on.
void four_lanes(LaneWindow &w, int32_t width) {
  const int second = width <= 8 ? width : 8;
  for (int lane = 0; lane < 4; ++lane)
    for (int b = 0; b < 8; ++b) {
      const uint8_t from = w.shuffle[b];
      w.shuffle4[lane * 8 + b] =
          from & 0x80 ? from : static_cast<uint8_t>(from + (lane % 2 ? second : 0));
    }
}

} // namespace

LaneLayout lane_layout(const FieldLayout &l) {
  LaneLayout lanes{};
  // Every group of fields must lie in two vectors.
  lanes.fields = l.width * 8 <= 128 ? 8 : 128 / l.width;
  // One-column integers are quicker digit by digit than eight to a vector.
  if (lanes.fields < 4 || l.mantissa_columns() > 16 || (!l.real && l.width == 1)) return lanes;
  int32_t columns[16];
  int32_t n = 0;
  for (int32_t c = 0; c < l.mantissa_columns(); ++c)
    if (!l.real || c != l.point) columns[n++] = c;
  const int32_t low = n < 8 ? n : 8; // the last eight digits; the rest go high
  const int32_t exponent_digits = l.exponent_digits();
  for (int lane = 0; lane < lanes.fields; ++lane) {
    const int32_t field = lane * l.width;
    place(lanes.index, lanes.keep, lanes.prefix, lane, field, columns + (n - low), low, l.point);
    place(lanes.high_index, lanes.high_keep, lanes.high_prefix, lane, field, columns, n - low,
          l.point);
    if (exponent_digits > 0) {
      // The exponent: its sign in byte 0, its digits in the last bytes.
      int32_t exponent_columns[8] = {l.exponent + 1};
      for (int32_t e = 0; e < exponent_digits; ++e) exponent_columns[e + 1] = l.exponent + 2 + e;
      uint64_t unused = 0;
      place(lanes.exponent_index, lanes.exponent_keep, unused, lane, field, exponent_columns + 1,
            exponent_digits, 0);
      lanes.exponent_index[lane * 8] = static_cast<uint8_t>(field + exponent_columns[0]);
      lanes.exponent_keep |= uint64_t{1} << (lane * 8);
    }
  }
  lanes.high = n > 8;
  lanes.digits = n;
  lanes.fraction = l.fraction_digits();
  lanes.width = l.width;
  lanes.exponent = exponent_digits > 0;
  int32_t largest_exponent = 0;
  for (int32_t e = 0; e < exponent_digits && largest_exponent <= kMaxExactPower; ++e)
    largest_exponent = largest_exponent * 10 + 9;
  lanes.powers_exact = largest_exponent + lanes.fraction <= kMaxExactPower;
  lanes.usable = true;
  lanes.windowed =
      window_of(lanes.index, lanes.keep, lanes.prefix, lanes.low_window) &&
      window_of(lanes.high_index, lanes.high_keep, lanes.high_prefix, lanes.high_window) &&
      window_of(lanes.exponent_index, lanes.exponent_keep, 1, lanes.exponent_window);
  for (LaneWindow *w : {&lanes.low_window, &lanes.high_window, &lanes.exponent_window})
    four_lanes(*w, l.width);
  return lanes;
}

} // namespace recio::kernels
