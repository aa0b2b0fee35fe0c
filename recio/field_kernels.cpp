// Runs of canonical numeric fields: the vector stage classifies the bytes of
// a block of fields, one pass of bit logic finds the first field that breaks
// the run's layout, and the scalar stage converts the fields before it eight
// digits at a time (at the AVX-512 level, lanes convert eight fields at once). A block ends early at a field that is not canonical or
// whose power of ten is not exact; the caller reads that field through the
// one-field path.
#include "recio/field_kernels.h"

#include "recio/byte_classes.h"
#include "recio/column_check.h"
#include "recio/field_layout.h"
#include "recio/lane_conversion.h"

#include <array>
#include <cstring>
#include <type_traits>
#include <utility>

namespace recio {

namespace kernels {

bool layout_of(const char *p, int32_t width, bool real, FieldLayout &layout) {
  if (width < 1 || width > kMaxKernelWidth) return false;
  layout = FieldLayout{width, width, width, real};
  if (!real) return width <= 8;
  const void *dot = std::memchr(p, '.', static_cast<size_t>(width));
  if (!dot) return false;
  layout.point = static_cast<int32_t>(static_cast<const char *>(dot) - p);
  const void *e = std::memchr(p + layout.point, 'E', static_cast<size_t>(width - layout.point));
  if (e) {
    layout.exponent = static_cast<int32_t>(static_cast<const char *>(e) - p);
    const int32_t digits = width - layout.exponent - 2;
    if (digits < 1 || digits > 3) return false;
  }
  // The mantissa fits two words, and its prefix (where a sign may stand) the first.
  if (layout.exponent > kMaxMantissaColumns) return false;
  if (layout.exponent > 8 && layout.point > layout.exponent - 8) return false;
  return true;
}

namespace {

// Bit masks of a layout's columns over a block of fields, and the constants
// of its conversion. Built once per layout and kept in a small cache.
struct LayoutPlan {
  FieldLayout layout;
  size_t fields = 0; // fields in a full block
  uint64_t start[kBlockWords] = {};
  uint64_t prefix[kBlockWords] = {};
  uint64_t point[kBlockWords] = {};
  uint64_t digit[kBlockWords] = {};
  uint64_t letter[kBlockWords] = {};
  uint64_t sign[kBlockWords] = {};
  // Conversion: the mantissa ends at byte 7 of its (last) word.
  int hi_shift = 0;             // left shift of the word at the field start, in bits
  int point_byte = -1;          // byte of the point in the word holding it
  bool point_in_hi = false;     // two words: the point is in the first
  uint64_t prefix_bytes = 0;    // bytes of the prefix in the first word
  int32_t fraction = 0;
  LaneLayout lanes;             // eight fields at a time, where the layout allows
};

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

const LayoutPlan &plan_for(const FieldLayout &l) {
  static std::array<LayoutPlan, 8> cache;
  static size_t used = 0, next = 0;
  for (size_t i = 0; i < used; ++i)
    if (cache[i].layout == l) return cache[i];
  LayoutPlan &plan = cache[used < cache.size() ? used++ : next++ % cache.size()];
  build_plan(l, plan);
  return plan;
}

// How many of the first `n` fields of a block match the plan's layout.
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

constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                              1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

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

template <class T> struct Target {
  T *out;
  ptrdiff_t stride;
};

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
      if (scale < -22 || scale > 22) break;
      const auto d = static_cast<double>(m);
      // Both operands are exact, so the one operation rounds correctly.
      const double v = scale < 0 ? d / kPowers[-scale] : d * kPowers[scale];
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

// The lanes over `n` fields of a block; the target moves past what they took.
template <class T>
size_t convert_lanes(const LayoutPlan &plan, const char *block, size_t n, bool checked,
                     Target<T> &to) {
  size_t converted;
  if constexpr (std::is_same_v<T, int32_t>) {
    converted = convert_lanes_avx512(plan.lanes, block, n, checked, to.out);
  } else {
    converted = convert_lanes_avx512(plan.lanes, block, n, checked, to.out, to.stride);
  }
  to.out += static_cast<ptrdiff_t>(converted) * to.stride;
  return converted;
}

// The plan last used for fields of each width and kind: a run usually has
// the layout of the run before it, so its first field is not looked at twice.
const LayoutPlan *g_last_plan[2][kMaxKernelWidth + 1] = {};

// Walks the run block by block: classify, check, convert; at the AVX-512
// level the lanes convert, and check wide fields themselves.
template <class T>
size_t run_kernel(KernelLevel level, const char *p, size_t count, int32_t width, Target<T> to) {
  constexpr bool real = !std::is_same_v<T, int32_t>;
  if (count == 0 || width < 1 || width > kMaxKernelWidth) return 0;
  const LayoutPlan *&last = g_last_plan[real][width];
  const size_t w = static_cast<size_t>(width);
  ClassMasks masks;
  size_t done = 0;
  while (done < count) {
    const char *block = p + done * w;
    FieldLayout own;
    // The cache may have given the slot to another layout since.
    if (last && (last->layout.width != width || last->layout.real != real)) last = nullptr;
    if (!last) {
      if (!layout_of(block, width, real, own)) return done;
      last = &plan_for(own);
    }
    const size_t n = std::min(count - done, last->fields);
    const bool lanes =
        level == KernelLevel::avx512 && last->lanes.usable && (to.stride == 1 || to.stride == 0);
    if (lanes && last->lanes.checks_itself) {
      // Wide fields: the lanes check their own groups as they convert them.
      const size_t converted = convert_lanes(*last, block, n, false, to);
      if (converted == 0 && layout_of(block, width, real, own) && !(own == last->layout)) {
        last = &plan_for(own); // another layout: the next turn takes it
        continue;
      }
      done += converted;
      if (converted < n) break;
      continue;
    }
    classify(level, block, n * w, masks);
    const size_t ok = check_block(*last, masks, n);
    if (ok == 0) {
      // Another layout, or no canonical field here.
      if (!layout_of(block, width, real, own) || own == last->layout) return done;
      last = &plan_for(own); // the next turn takes it
      continue;
    }
    size_t converted = lanes ? convert_lanes(*last, block, ok, true, to) : 0;
    if (converted < ok)
      converted += converter_for<T>(last->layout)(*last, block + converted * w, ok - converted, to);
    done += converted;
    if (converted < n) break;
  }
  return done;
}

} // namespace

} // namespace kernels

size_t convert_int_run(KernelLevel level, const char *p, size_t count, int32_t width,
                       int32_t *out) {
  return kernels::run_kernel(level, p, count, width, kernels::Target<int32_t>{out, 1});
}

// Every canonical real has its point, which overrides d.
size_t convert_real_run(KernelLevel level, const char *p, size_t count, int32_t width,
                        int32_t, float *out, ptrdiff_t stride) {
  return kernels::run_kernel(level, p, count, width, kernels::Target<float>{out, stride});
}

size_t convert_real_run(KernelLevel level, const char *p, size_t count, int32_t width,
                        int32_t, double *out, ptrdiff_t stride) {
  return kernels::run_kernel(level, p, count, width, kernels::Target<double>{out, stride});
}

} // namespace recio
