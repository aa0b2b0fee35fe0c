#include "recio/kernels/layout_plan.h"

#include <algorithm>

namespace recio::kernels {

namespace {

// Fills `mask` with `field`, the bits of one field's columns, repeated every
// `w` bits over the block (w at most 64). Bit i of a block word k is column
// (64k + i) mod w, so each word is a 64-bit window of the pattern repeated
// over 128 bits, starting at column 64k mod w.
void repeat_field(uint64_t *mask, uint64_t field, size_t w) {
  // The pattern over 128 bits (hi:lo), doubled from the one field.
  uint64_t lo = field, hi = 0;
  for (size_t span = w; span < 128; span *= 2) {
    if (span < 64) {
      hi |= hi << span | lo >> (64 - span);
      lo |= lo << span;
    } else {
      hi |= lo << (span - 64);
    }
  }
  for (size_t k = 0; k < kBlockWords; ++k) {
    const size_t phase = 64 * k % w;
    mask[k] = phase == 0 ? lo : lo >> phase | hi << (64 - phase);
  }
}

// Clears the bits from `end` on.
void clear_from(uint64_t *mask, size_t end) {
  for (size_t i = end / 64; i < kBlockWords; ++i)
    mask[i] &= i == end / 64 ? (uint64_t{1} << (end % 64)) - 1 : 0;
}

enum ColumnKind : uint8_t { prefix_column, point_column, digit_column, letter_column, sign_column };

// What column c of a field holds.
ColumnKind column_kind(const FieldLayout &l, int32_t c) {
  if (c < l.point) return prefix_column;
  if (c == l.point) return point_column;
  if (c < l.exponent) return digit_column;
  if (c == l.exponent) return letter_column;
  if (c == l.exponent + 1) return sign_column;
  return digit_column;
}

// The classes of byte a column of each kind may hold.
constexpr uint8_t kAllowed[] = {kDigitClass | kBlankClass | kSignClass, kPointClass, kDigitClass,
                                kLetterClass, kSignClass};

void build_plan(const FieldLayout &l, LayoutPlan &plan) {
  plan = LayoutPlan{};
  plan.layout = l;
  const size_t w = static_cast<size_t>(l.width);
  plan.fields = kBlockBytes / w;
  // Each field's columns are classified once; each mask is one field's
  // columns repeated over the block, the part of a field that does not fit
  // cut off. The kernels take no field wider than a word.
  static_assert(kMaxKernelWidth <= 64);
  ColumnKind kinds[64];
  uint64_t field[6] = {};
  field[5] = 1; // the start
  for (size_t c = 0; c < w; ++c) {
    kinds[c] = column_kind(l, static_cast<int32_t>(c));
    field[kinds[c]] |= uint64_t{1} << c;
  }
  uint64_t *masks[] = {plan.prefix, plan.point, plan.digit, plan.letter, plan.sign, plan.start};
  for (size_t m = 0; m < 6; ++m) {
    repeat_field(masks[m], field[m], w);
    clear_from(masks[m], plan.fields * w);
  }
  // The lanes check a group of fields against the same columns as a block.
  plan.lanes = lane_layout(l);
  for (int w = 0; w < 2; ++w)
    plan.lanes.columns[w] = {plan.start[w], plan.prefix[w], plan.point[w],
                             plan.digit[w], plan.letter[w], plan.sign[w]};
  const size_t group_bytes = std::min<size_t>(static_cast<size_t>(plan.lanes.fields) * w, 128);
  for (size_t b = 0, c = 0; b < group_bytes; ++b, c = c + 1 == w ? 0 : c + 1)
    plan.lanes.allowed[b] = kAllowed[kinds[c]];
  const int32_t columns = l.mantissa_columns();
  plan.fraction = l.fraction_digits();
  if (columns <= 8) {
    plan.hi_shift = 8 * (8 - columns);
    const int first = 8 - columns; // byte of column 0
    for (int32_t c = 0; c < l.point; ++c) plan.prefix_bytes |= uint64_t{0xFF} << (8 * (first + c));
    if (l.real) plan.point_byte = first + l.point;
  } else {
    plan.hi_shift = 8 * (16 - columns);
    const int first = 16 - columns;
    for (int32_t c = 0; c < l.point; ++c) plan.prefix_bytes |= uint64_t{0xFF} << (8 * (first + c));
    if (l.real) {
      plan.point_in_hi = l.point < columns - 8;
      plan.point_byte = plan.point_in_hi ? first + l.point : l.point - (columns - 8);
    }
  }
}

} // namespace

const LayoutPlan &plan_for(const FieldLayout &l) {
  static LayoutPlan cache[kPlanCacheSize];
  static size_t used = 0, next = 0;
  for (size_t i = 0; i < used; ++i)
    if (cache[i].layout == l) return cache[i];
  LayoutPlan &plan = cache[used < kPlanCacheSize ? used++ : next++ % kPlanCacheSize];
  build_plan(l, plan);
  return plan;
}

} // namespace recio::kernels
