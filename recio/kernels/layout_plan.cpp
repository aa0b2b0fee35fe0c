#include "recio/kernels/layout_plan.h"

namespace recio::kernels {

namespace {

void set_bit(uint64_t *mask, size_t bit) { mask[bit / 64] |= uint64_t{1} << (bit % 64); }

void build_plan(const FieldLayout &l, LayoutPlan &plan) {
  plan = LayoutPlan{};
  plan.layout = l;
  const size_t w = static_cast<size_t>(l.width);
  plan.fields = kBlockBytes / w;
  for (size_t f = 0; f < plan.fields; ++f) {
    const size_t s = f * w;
    set_bit(plan.start, s);
    for (int32_t c = 0; c < l.width; ++c) {
      const size_t bit = s + static_cast<size_t>(c);
      if (c < l.point) set_bit(plan.prefix, bit);
      else if (c == l.point) set_bit(plan.point, bit);
      else if (c < l.exponent) set_bit(plan.digit, bit);
      else if (c == l.exponent) set_bit(plan.letter, bit);
      else if (c == l.exponent + 1) set_bit(plan.sign, bit);
      else set_bit(plan.digit, bit);
    }
  }
  // The lanes check a group of fields against the same columns as a block.
  plan.lanes = lane_layout(l);
  for (int w = 0; w < 2; ++w)
    plan.lanes.columns[w] = {plan.start[w], plan.prefix[w], plan.point[w],
                             plan.digit[w], plan.letter[w], plan.sign[w]};
  const size_t group_bytes = static_cast<size_t>(plan.lanes.fields) * w;
  for (size_t b = 0; b < group_bytes && b < 128; ++b) {
    const auto in = [&](const uint64_t *mask) { return (mask[b / 64] >> (b % 64) & 1) != 0; };
    plan.lanes.allowed[b] = in(plan.prefix)   ? kDigitClass | kBlankClass | kSignClass
                            : in(plan.point)  ? kPointClass
                            : in(plan.digit)  ? kDigitClass
                            : in(plan.letter) ? kLetterClass
                            : in(plan.sign)   ? kSignClass
                                              : 0;
  }
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
