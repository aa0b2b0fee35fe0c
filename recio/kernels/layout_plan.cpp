#include "recio/kernels/layout_plan.h"

#include <algorithm>

namespace recio::kernels {

namespace {

void set_bit(uint64_t *mask, size_t bit) { mask[bit / 64] |= uint64_t{1} << (bit % 64); }

// mask |= mask << shift, over the block's words.
void or_shifted(uint64_t *mask, size_t shift) {
  const size_t words = shift / 64, bits = shift % 64;
  // From the top down, so that every word is read before it is changed.
  for (size_t i = kBlockWords; i-- > words;) {
    uint64_t v = mask[i - words] << bits;
    if (bits != 0 && i > words) v |= mask[i - words - 1] >> (64 - bits);
    mask[i] |= v;
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
  // Each field's columns are classified once, then repeated over the block.
  // (A field wider than a block has no field in it; only its first columns
  // are ever looked at.)
  ColumnKind kinds[kBlockBytes];
  for (size_t c = 0; c < std::min(w, kBlockBytes); ++c)
    kinds[c] = column_kind(l, static_cast<int32_t>(c));
  uint64_t *masks[] = {plan.prefix, plan.point, plan.digit, plan.letter, plan.sign, plan.start};
  if (plan.fields > 0) {
    // The first field's columns, then the fields doubled until the block is
    // full; the part of a field that does not fit is cut off.
    set_bit(plan.start, 0);
    for (size_t c = 0; c < w; ++c) set_bit(masks[kinds[c]], c);
    const size_t used = plan.fields * w;
    for (size_t span = w; span < used; span *= 2)
      for (uint64_t *mask : masks) or_shifted(mask, span);
    for (uint64_t *mask : masks) clear_from(mask, used);
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
