// The scalar stage of conversion, on every level: the fields of a checked
// block, one at a time, each field's mantissa read a 64-bit word (or two) at
// a time. Lanes of the vector levels take what they can first; this stage
// converts the rest.
#pragma once

#include "recio/kernels/layout_plan.h"

#include <cstddef>
#include <cstdint>

namespace recio::kernels {

// Where converted values go: `stride` apart; 0 stores them all in out[0].
template <class T> struct Target {
  T *out;
  ptrdiff_t stride;
};

// Converts the first `ok` fields of a checked block and moves the target past
// them; stops early at a real whose power of ten is not exact. Returns how
// many it converted.
template <class T>
size_t convert_words(const LayoutPlan &plan, const char *block, size_t ok, Target<T> &to);

} // namespace recio::kernels
