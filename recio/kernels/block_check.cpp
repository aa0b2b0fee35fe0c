#include "recio/kernels/block_check.h"

#include "recio/kernels/column_check.h"

namespace recio::kernels {

size_t check_block(const LayoutPlan &plan, const ClassMasks &m, size_t n) {
  const size_t bits = n * static_cast<size_t>(plan.layout.width);
  uint64_t carry = 0;
  for (size_t w = 0; w * 64 < bits; ++w) {
    const uint64_t span = bits - w * 64 >= 64 ? ~uint64_t{0} : (uint64_t{1} << (bits - w * 64)) - 1;
    const ColumnClasses columns{plan.start[w], plan.prefix[w], plan.point[w],
                                plan.digit[w], plan.letter[w], plan.sign[w]};
    const ByteClasses bytes{m.digit[w], m.blank[w], m.sign[w], m.point[w], m.letter[w]};
    const uint64_t bad = bad_columns(columns, bytes, carry) & span;
    if (bad) return (w * 64 + static_cast<size_t>(__builtin_ctzll(bad))) /
                    static_cast<size_t>(plan.layout.width);
  }
  return n;
}

} // namespace recio::kernels
