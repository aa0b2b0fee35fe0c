// The check of one 64-column word of a run against its layout: the bits of
// the columns that break it. Shared by the block check of the kernels and the
// group checks of the lanes, so both take exactly the same fields.
#pragma once

#include <cstdint>

namespace recio::kernels {

// Where each class of byte must or may stand, one bit per column.
struct ColumnClasses {
  uint64_t start;  // first column of each field
  uint64_t prefix; // blanks, then an optional sign, then digits
  uint64_t point;
  uint64_t digit;
  uint64_t letter; // the exponent's E
  uint64_t sign;   // the exponent's sign
};

// What the bytes are, one bit per column.
struct ByteClasses {
  uint64_t digit, blank, sign, point, letter;
};

// The prefix columns whose blank or sign is out of order: in the prefix a
// blank or a sign stands only at the field start or right after a blank
// (blanks lead, a sign comes first after them). `carry` is the blank bit of
// the previous word's last prefix column; it is updated for the next word.
// (Static: see exact_quotient.h.)
static inline uint64_t misordered_prefix(uint64_t start, uint64_t prefix_blank,
                                         uint64_t prefix_sign, uint64_t &carry) {
  const uint64_t after_blank = (prefix_blank << 1) | carry;
  carry = prefix_blank >> 63;
  return (prefix_blank | prefix_sign) & ~start & ~after_blank;
}

// `carry` as for misordered_prefix().
static inline uint64_t bad_columns(const ColumnClasses &c, const ByteClasses &b, uint64_t &carry) {
  const uint64_t bad = (c.digit & ~b.digit) | (c.point & ~b.point) | (c.letter & ~b.letter) |
                       (c.sign & ~b.sign) | (c.prefix & ~(b.blank | b.sign | b.digit));
  return bad | misordered_prefix(c.start, b.blank & c.prefix, b.sign & c.prefix, carry);
}

} // namespace recio::kernels
