// The canonical layout of a run of numeric fields, taken from its first
// field: where the point, the exponent letter and the exponent digits stand.
// Every field of the run must match it column for column; a field that does
// not ends the run for the kernels.
#pragma once

#include <cstddef>
#include <cstdint>

namespace recio::kernels {

// Column classes of a layout, counted from the field's first column:
//   [0, point)              prefix: blanks, then an optional sign, then digits
//   point                   "." (reals only)
//   (point, exponent)       fraction digits
//   exponent                "E" (E fields only)
//   exponent + 1            "+" or "-"
//   (exponent + 1, width)   exponent digits
// Integers have no point: point == exponent == width.
struct FieldLayout {
  int32_t width = 0;
  int32_t point = 0;
  int32_t exponent = 0;
  bool real = false;

  int32_t fraction_digits() const { return real ? exponent - point - 1 : 0; }
  int32_t exponent_digits() const { return exponent < width ? width - exponent - 2 : 0; }
  // Columns that carry mantissa digits (the point takes one of them).
  int32_t mantissa_columns() const { return exponent; }

  bool operator==(const FieldLayout &) const = default;
};

// The widest field and the most mantissa columns the kernels take.
inline constexpr int32_t kMaxKernelWidth = 24;
inline constexpr int32_t kMaxMantissaColumns = 16;

// The layout the field at `p` has, when it can be canonical; false otherwise.
// For reals the first "." is the point and, after it, the first "E" the
// exponent letter; the columns themselves are checked by check_run().
bool layout_of(const char *p, int32_t width, bool real, FieldLayout &layout);

} // namespace recio::kernels
