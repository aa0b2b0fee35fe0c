// The column masks of a layout's plan against a bit-by-bit construction, for
// every width the kernels take and each kind of field.
#include "recio/kernels/layout_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using recio::kernels::FieldLayout;
using recio::kernels::kBlockBytes;
using recio::kernels::kBlockWords;

bool bit(const uint64_t *mask, size_t b) { return (mask[b / 64] >> (b % 64) & 1) != 0; }

// Every layout a field can have: the layouts of fields with a point in each
// column and an exponent letter in each column after it, as the kernels
// find them.
std::vector<FieldLayout> layouts() {
  std::vector<FieldLayout> all;
  for (int32_t w = 1; w <= recio::kernels::kMaxKernelWidth; ++w) {
    FieldLayout l;
    std::string integer(static_cast<size_t>(w), '1');
    if (recio::kernels::layout_of(integer.data(), w, false, l)) all.push_back(l);
    for (int32_t point = 0; point < w; ++point)
      for (int32_t e = point + 1; e <= w; ++e) {
        std::string field(static_cast<size_t>(w), '1');
        field[static_cast<size_t>(point)] = '.';
        if (e < w) field[static_cast<size_t>(e)] = 'E';
        if (recio::kernels::layout_of(field.data(), w, true, l)) all.push_back(l);
      }
  }
  return all;
}

TEST(LayoutPlan, ColumnMasksRepeatEachFieldOverTheBlock) {
  for (const FieldLayout &l : layouts()) {
    const auto &plan = recio::kernels::plan_for(l);
    const size_t w = static_cast<size_t>(l.width), used = kBlockBytes / w * w;
    ASSERT_EQ(plan.fields, kBlockBytes / w);
    for (size_t b = 0; b < kBlockWords * 64; ++b) {
      const auto c = static_cast<int32_t>(b % w);
      const bool in = b < used;
      SCOPED_TRACE("width " + std::to_string(l.width) + ", point " + std::to_string(l.point) +
                   ", exponent " + std::to_string(l.exponent) + ", byte " + std::to_string(b));
      ASSERT_EQ(bit(plan.start, b), in && c == 0);
      ASSERT_EQ(bit(plan.prefix, b), in && c < l.point);
      ASSERT_EQ(bit(plan.point, b), in && c == l.point && l.point < l.width);
      ASSERT_EQ(bit(plan.digit, b),
                in && ((c > l.point && c < l.exponent) || (c > l.exponent + 1 && c < l.width)));
      ASSERT_EQ(bit(plan.letter, b), in && c == l.exponent && l.exponent < l.width);
      ASSERT_EQ(bit(plan.sign, b), in && c == l.exponent + 1 && l.exponent + 1 < l.width);
    }
  }
}

} // namespace
