// Where the lanes of the vector stage of conversion find their bytes: one
// field to each 64-bit lane, eight lanes to a group. A byte permutation (or
// shuffle) gathers each field's digit columns (without its point)
// right-aligned into its lane, another its exponent's sign and digits, and
// the lane arithmetic is the one-word conversion of the scalar stage: the
// same integers, the same one operation with an exact power of ten, the same
// values bit for bit.
#pragma once

#include "recio/kernels/column_check.h"
#include "recio/kernels/field_layout.h"

#include <cstddef>
#include <cstdint>

namespace recio::kernels {

// A part of a field (its last eight mantissa digits, the digits before
// them, or its exponent) as an eight-byte window of the field, for lanes
// that load each field's bytes apart: the window's first column, and the
// byte of the window each lane byte takes (0x80: none, the byte reads 0).
struct LaneWindow {
  int32_t base = 0;
  uint8_t shuffle[8] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
  uint64_t sign_bytes = 0; // 0xFF at each lane byte where a minus makes the part negative
  // The same shuffle for four lanes of 32 bytes that hold their fields'
  // windows eight bytes apart or, for fields of eight columns or fewer
  // loaded two to 16 bytes from the first one's window, one width apart.
  uint8_t shuffle4[32] = {};
};

struct LaneLayout {
  uint8_t index[64] = {};          // source byte (of two vectors) of each lane byte: the last
                                   // eight mantissa digits, right-aligned
  uint8_t high_index[64] = {};     // the mantissa digits before those, right-aligned
  uint8_t exponent_index[64] = {}; // the exponent: sign in byte 0, digits right-aligned
  uint64_t keep = 0, high_keep = 0, exponent_keep = 0; // lane bytes each fills
  uint64_t prefix = 0, high_prefix = 0; // lane bytes of prefix columns (where a sign may stand)
  ColumnClasses columns[2] = {}; // the layout's columns over a group's 128 bytes
  // The same columns as the classes (byte_classes.h) each may hold, one
  // byte per column: lanes that classify a group in registers check it
  // with these. 0 past the group's fields.
  uint8_t allowed[128] = {};
  int32_t fields = 0;   // fields a group of lanes takes: 8, or fewer for wide fields
  int32_t digits = 0;   // mantissa digits
  int32_t fraction = 0; // digits after the point
  int32_t width = 0;
  bool high = false;    // more than eight mantissa digits
  bool exponent = false;
  // No field's power of ten is past the exact ones: no exponent, or too few
  // exponent digits to reach them.
  bool powers_exact = false;
  bool usable = false;
  // The parts as windows, where each fits one (eight columns or fewer).
  LaneWindow low_window, high_window, exponent_window;
  bool windowed = false;
};

// The lane layout of `l`; not usable when its fields do not fit the lanes.
LaneLayout lane_layout(const FieldLayout &l);

} // namespace recio::kernels
