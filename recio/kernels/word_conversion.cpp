#include "recio/kernels/word_conversion.h"

#include "recio/kernels/powers_of_ten.h"

#include <array>
#include <cstring>
#include <type_traits>
#include <utility>

namespace recio::kernels {

namespace {

uint64_t load_word(const char *p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// The digit values of a word's bytes; every other canonical byte (blank,
// sign, point, E) has bit 4 clear and gives 0.
uint64_t digit_values(uint64_t v) {
  const uint64_t is_digit = ((v >> 4) & 0x0101010101010101ull) * 0xFF;
  return v & 0x0F0F0F0F0F0F0F0Full & is_digit;
}

// Eight digit values, the first byte the most significant, as a number.
uint64_t eight_digits(uint64_t v) {
  v = v * 10 + (v >> 8);
  return (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
          (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
         32;
}

// Removes the byte `b` (a point, value 0) and moves the bytes before it up
// one place, so the digits stay right-aligned.
uint64_t drop_byte(uint64_t v, int b) {
  const uint64_t below = b == 0 ? 0 : v & (~uint64_t{0} >> (64 - 8 * b));
  const uint64_t above = b == 7 ? 0 : v & (~uint64_t{0} << (8 * (b + 1)));
  return above | (below << 8);
}

bool has_minus(uint64_t raw, uint64_t prefix_bytes) {
  const uint64_t t = raw ^ 0x2D2D2D2D2D2D2D2Dull;
  return ((t - 0x0101010101010101ull) & ~t & 0x8080808080808080ull & prefix_bytes) != 0;
}

// The mantissa digits of a checked field as an integer, and its sign.
uint64_t mantissa(const LayoutPlan &plan, const char *f, bool &negative) {
  const int32_t columns = plan.layout.mantissa_columns();
  if (columns <= 8) {
    const uint64_t raw = load_word(f) << plan.hi_shift;
    negative = has_minus(raw, plan.prefix_bytes);
    uint64_t v = digit_values(raw);
    if (plan.point_byte >= 0) v = drop_byte(v, plan.point_byte);
    return eight_digits(v);
  }
  const uint64_t raw_hi = load_word(f) << plan.hi_shift;
  negative = has_minus(raw_hi, plan.prefix_bytes);
  uint64_t hi = digit_values(raw_hi);
  uint64_t lo = digit_values(load_word(f + columns - 8));
  uint64_t scale = 100000000;
  if (plan.point_byte >= 0) {
    if (plan.point_in_hi) {
      hi = drop_byte(hi, plan.point_byte);
    } else {
      lo = drop_byte(lo, plan.point_byte);
      scale = 10000000;
    }
  }
  return eight_digits(hi) * scale + eight_digits(lo);
}

// The power of ten a checked real field scales its mantissa by.
int32_t scale_of(const LayoutPlan &plan, const char *f) {
  const FieldLayout &l = plan.layout;
  if (l.exponent == l.width) return -plan.fraction;
  int32_t exponent = 0;
  for (int32_t c = l.exponent + 2; c < l.width; ++c) exponent = exponent * 10 + (f[c] - '0');
  return (f[l.exponent + 1] == '-' ? -exponent : exponent) - plan.fraction;
}

// The mantissa of a field of `C` mantissa columns with its point in column
// `P` (P == C: no point), the layouts of one word, known at compile time.
template <int C, int P> uint64_t mantissa_of_word(const char *f, bool &negative) {
  constexpr int first = 8 - C;
  constexpr uint64_t prefix_bytes = [] {
    uint64_t m = 0;
    for (int c = 0; c < P; ++c) m |= uint64_t{0xFF} << (8 * (first + c));
    return m;
  }();
  const uint64_t raw = load_word(f) << (8 * first);
  negative = has_minus(raw, prefix_bytes);
  uint64_t v = digit_values(raw);
  if constexpr (P < C) v = drop_byte(v, first + P);
  return eight_digits(v);
}

// Converts the first `ok` fields of a checked block; stops at a real whose
// power of ten is not exact.
template <class T, class Mantissa, class Scale>
size_t convert_block(const LayoutPlan &plan, const char *block, size_t ok, Target<T> &to,
                     Mantissa mantissa, Scale scale_of_field) {
  const size_t w = static_cast<size_t>(plan.layout.width);
  T *out = to.out;
  const ptrdiff_t stride = to.stride;
  size_t i = 0;
  for (; i < ok; ++i) {
    const char *f = block + i * w;
    bool negative;
    const uint64_t m = mantissa(f, negative);
    if constexpr (std::is_same_v<T, int32_t>) {
      *out = negative ? -static_cast<int32_t>(m) : static_cast<int32_t>(m);
    } else {
      const int32_t scale = scale_of_field(f);
      if (scale < -kMaxExactPower || scale > kMaxExactPower) break;
      const auto d = static_cast<double>(m);
      // Both operands are exact, so the one operation rounds correctly.
      const double v = scale < 0 ? d / kPowersOfTen[-scale] : d * kPowersOfTen[scale];
      *out = static_cast<T>(negative ? -v : v);
    }
    out += stride;
  }
  to.out = out;
  return i;
}

template <class T> using BlockConverter = size_t (*)(const LayoutPlan &, const char *, size_t,
                                                     Target<T> &);

// A one-word layout of `C` mantissa columns with the point in column `P`
// (P == C: none) and, with `E`, an exponent after them.
template <class T, bool E, int C, int P>
size_t convert_word_block(const LayoutPlan &plan, const char *block, size_t ok, Target<T> &to) {
  if constexpr (std::is_same_v<T, int32_t> && C == 1) {
    // I1: a digit, or a blank or lone sign, which read as 0.
    for (size_t i = 0; i < ok; ++i) {
      const auto b = static_cast<unsigned char>(block[i]);
      to.out[i] = (b & 0x10) ? b & 0x0F : 0;
    }
    to.out += ok;
    return ok;
  }
  if constexpr (E) {
    return convert_block(plan, block, ok, to, mantissa_of_word<C, P>,
                         [&](const char *f) { return scale_of(plan, f); });
  }
  constexpr int32_t kScale = P < C ? -(C - P - 1) : 0;
  return convert_block(plan, block, ok, to, mantissa_of_word<C, P>,
                       [](const char *) { return kScale; });
}

template <class T>
size_t convert_any_block(const LayoutPlan &plan, const char *block, size_t ok, Target<T> &to) {
  return convert_block(
      plan, block, ok, to, [&](const char *f, bool &negative) { return mantissa(plan, f, negative); },
      [&](const char *f) { return scale_of(plan, f); });
}

// The converter for a layout: compiled for each one-word layout, the general
// one for the rest.
template <class T> BlockConverter<T> converter_for(const FieldLayout &l) {
  // Index E * 81 + C * 9 + P for C in 1..8, P in 0..C.
  static constexpr auto table = []<int... I>(std::integer_sequence<int, I...>) {
    return std::array<BlockConverter<T>, 162>{
        (I % 81 / 9 >= 1 &&
                 (std::is_same_v<T, int32_t> ? I < 81 && I % 9 == I % 81 / 9 : I % 9 < I % 81 / 9)
             ? &convert_word_block<T, (I >= 81), (I % 81 / 9 >= 1 ? I % 81 / 9 : 1),
                                   (I % 9 <= I % 81 / 9 ? I % 9 : 0)>
             : nullptr)...};
  }(std::make_integer_sequence<int, 162>{});
  const int32_t columns = l.mantissa_columns();
  if (columns > 8) return convert_any_block<T>;
  const size_t index = (l.exponent < l.width ? 81 : 0) + static_cast<size_t>(columns) * 9 +
                       static_cast<size_t>(l.real ? l.point : columns);
  const BlockConverter<T> c = table[index];
  return c ? c : convert_any_block<T>;
}

} // namespace

template <class T>
size_t convert_words(const LayoutPlan &plan, const char *block, size_t ok, Target<T> &to) {
  return converter_for<T>(plan.layout)(plan, block, ok, to);
}

template size_t convert_words(const LayoutPlan &, const char *, size_t, Target<int32_t> &);
template size_t convert_words(const LayoutPlan &, const char *, size_t, Target<float> &);
template size_t convert_words(const LayoutPlan &, const char *, size_t, Target<double> &);

} // namespace recio::kernels
