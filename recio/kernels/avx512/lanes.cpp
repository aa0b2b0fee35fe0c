// Eight fields at once, one to each 64-bit lane: a byte permutation across
// two vectors gathers each lane's digits, multiply-adds of byte pairs and
// word pairs make numbers of them, and the conversion of the scalar stage
// runs on eight lanes. Compiled with the AVX-512 flags.
#include "recio/kernels/byte_classes.h"
#include "recio/kernels/column_check.h"
#include "recio/kernels/exact_quotient.h"
#include "recio/kernels/level_stages.h"
#include "recio/kernels/powers_of_ten.h"
#include "recio/kernels/x86_intrinsics.h"

#include <type_traits>

// GCC 12 reports the deliberately undefined pass-through operands inside the
// AVX-512 intrinsics (_mm512_undefined_*) as maybe uninitialized; a false
// positive, silenced for this file's intrinsics only.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace recio::kernels::VORNET_LEVEL(avx512) {

namespace {

struct QuotientOps {
  static __m512d mul(__m512d a, __m512d b) { return _mm512_mul_pd(a, b); }
  static __m512d fma(__m512d a, __m512d b, __m512d c) { return _mm512_fmadd_pd(a, b, c); }
  static __m512d fnma(__m512d a, __m512d b, __m512d c) { return _mm512_fnmadd_pd(a, b, c); }
};

// Digit bytes as numbers per lane, the first the most significant; blanks,
// signs and bytes no column fills count as 0. (Only checked fields are ever
// stored, and their digit columns hold digits.)
inline __m512i lane_numbers(__m512i x) {
  const __m512i d = _mm512_subs_epu8(x, _mm512_set1_epi8(kFirstDigit));
  const __m512i pairs = _mm512_maddubs_epi16(d, _mm512_set1_epi16(0x010A));
  const __m512i quads = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00010064));
  const __m512i high = _mm512_mul_epu32(quads, _mm512_set1_epi64(10000));
  return _mm512_add_epi64(high, _mm512_srli_epi64(quads, 32));
}

// Lanes whose selected bytes hold a minus sign.
inline __mmask8 minus_lanes(__m512i x, uint64_t bytes) {
  const __m512i m = _mm512_movm_epi8(_mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8(kMinus)) & bytes);
  return _mm512_test_epi64_mask(m, m);
}

// The class bits of 64 bytes, one byte each, by two nibble lookups.
inline __m512i class_bytes(__m512i x, __m512i low, __m512i high) {
  const __m512i nibble = _mm512_and_si512(_mm512_srli_epi16(x, 4), _mm512_set1_epi8(0x0F));
  return _mm512_and_si512(_mm512_shuffle_epi8(low, x), _mm512_shuffle_epi8(high, nibble));
}

inline __m512i nibble_table(const uint8_t (&t)[16]) {
  return _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i *>(t)));
}

// How many of the `count` fields in `lo` and `hi` (`span` bytes) match the
// layout: the block check of the scalar stage, on the group's two words
// classified in registers and held against the classes each column allows.
inline size_t check_group(const LaneLayout &l, __m512i lo, __m512i hi, size_t span, size_t count) {
  const __m512i low = nibble_table(kNibbleClasses.low);
  const __m512i high = nibble_table(kNibbleClasses.high);
  uint64_t carry = 0;
  for (int w = 0; w < 2 && static_cast<size_t>(w) * 64 < span; ++w) {
    const __m512i classes = class_bytes(w == 0 ? lo : hi, low, high);
    const __m512i allowed = _mm512_loadu_si512(l.allowed + w * 64);
    const uint64_t misplaced = ~_mm512_test_epi8_mask(classes, allowed);
    const uint64_t blank = _mm512_cmpeq_epi8_mask(classes, _mm512_set1_epi8(kBlankClass));
    const uint64_t sign = _mm512_cmpeq_epi8_mask(classes, _mm512_set1_epi8(kSignClass));
    const ColumnClasses &c = l.columns[w];
    const size_t left = span - static_cast<size_t>(w) * 64;
    const uint64_t in_span = left >= 64 ? ~uint64_t{0} : (uint64_t{1} << left) - 1;
    // Blanks stand in the prefix only; signs there and in the exponent.
    const uint64_t bad =
        (misplaced | misordered_prefix(c.start, blank & c.prefix, sign & c.prefix, carry)) &
        in_span;
    if (bad) {
      const size_t column = static_cast<size_t>(w) * 64 + static_cast<size_t>(__builtin_ctzll(bad));
      return column / static_cast<size_t>(l.width);
    }
  }
  return count;
}

// A layout's constants, set up once per run.
struct Setup {
  __m512i index, high_index, exponent_index, fraction;
  __m512d power, tenth;
  bool quotient; // no exponent, at most seven digits and a fraction
};

Setup setup_of(const LaneLayout &l) {
  Setup s;
  s.index = _mm512_loadu_si512(l.index);
  s.high_index = l.high ? _mm512_loadu_si512(l.high_index) : s.index;
  s.exponent_index = l.exponent ? _mm512_loadu_si512(l.exponent_index) : s.index;
  s.fraction = _mm512_set1_epi64(l.fraction);
  s.power = _mm512_set1_pd(kPowersOfTen[l.fraction]);
  s.quotient = !l.exponent && l.digits <= kMaxQuotientDigits && l.fraction > 0;
  s.tenth = _mm512_set1_pd(s.quotient ? kTenths[l.fraction] : 1.0);
  return s;
}

// The values of the `active` lanes of a group in `lo` and `hi`, converted
// and stored at `out`. False, having stored nothing, when a lane's power of
// ten is not exact; `inexact` then holds those lanes.
template <class T, bool High, bool Exponent>
inline bool convert_group(const LaneLayout &l, const Setup &s, __m512i lo, __m512i hi,
                          __mmask8 active, T *out, ptrdiff_t stride, __mmask8 &inexact) {
  const __m512i x = _mm512_maskz_permutex2var_epi8(l.keep, lo, s.index, hi);
  __m512i v = lane_numbers(x);
  __mmask8 negative = minus_lanes(x, l.prefix);
  if constexpr (High) {
    const __m512i h = _mm512_maskz_permutex2var_epi8(l.high_keep, lo, s.high_index, hi);
    v = _mm512_add_epi64(_mm512_mullo_epi64(lane_numbers(h), _mm512_set1_epi64(100000000)), v);
    negative |= minus_lanes(h, l.high_prefix);
  }
  if constexpr (std::is_same_v<T, int32_t>) {
    const __m512i signed_v = _mm512_mask_sub_epi64(v, negative, _mm512_setzero_si512(), v);
    if (active == 0xFF) {
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), _mm512_cvtepi64_epi32(signed_v));
    } else {
      _mm512_mask_cvtepi64_storeu_epi32(out, active, signed_v);
    }
  } else {
    __m512d power = s.power;
    __mmask8 divide = l.fraction > 0 ? 0xFF : 0;
    if constexpr (Exponent) {
      const __m512i e = _mm512_maskz_permutex2var_epi8(l.exponent_keep, lo, s.exponent_index, hi);
      const __m512i magnitude = lane_numbers(e);
      const __mmask8 below = minus_lanes(e, 0x0101010101010101ull);
      const __m512i signed_e =
          _mm512_mask_sub_epi64(magnitude, below, _mm512_setzero_si512(), magnitude);
      const __m512i scale = _mm512_sub_epi64(signed_e, s.fraction);
      const __m512i size = _mm512_abs_epi64(scale);
      // Only exact powers of ten.
      inexact = _mm512_mask_cmpgt_epi64_mask(active, size, _mm512_set1_epi64(kMaxExactPower));
      if (inexact) return false;
      power = _mm512_mask_i64gather_pd(_mm512_set1_pd(1.0), active, size, kPowersOfTen, 8);
      divide = _mm512_cmplt_epi64_mask(scale, _mm512_setzero_si512());
    }
    const __m512d m = _mm512_cvtepu64_pd(v);
    __m512d d;
    if (!Exponent && s.quotient) {
      // At most seven digits over a fixed power of ten: the quotient of
      // two fused multiply-adds, equal to the division's.
      d = quotient_by_power_of_ten<QuotientOps>(m, power, s.tenth);
    } else {
      // Both operands exact: one correctly rounded operation, as one field.
      d = _mm512_mask_div_pd(_mm512_mul_pd(m, power), divide, m, power);
    }
    d = _mm512_mask_xor_pd(d, negative, d, _mm512_set1_pd(-0.0));
    if (stride == 0) {
      // Every value to the one variable: the last one stays.
      alignas(64) double all[8];
      _mm512_store_pd(all, d);
      *out = static_cast<T>(all[31 - __builtin_clz(static_cast<unsigned>(active))]);
    } else if constexpr (std::is_same_v<T, float>) {
      // A masked store only for a partial group: it costs more than a plain one.
      if (active == 0xFF)
        _mm256_storeu_ps(out, _mm512_cvtpd_ps(d));
      else
        _mm256_mask_storeu_ps(out, active, _mm512_cvtpd_ps(d));
    } else {
      if (active == 0xFF)
        _mm512_storeu_pd(out, d);
      else
        _mm512_mask_storeu_pd(out, active, d);
    }
  }
  return true;
}

// The group's bytes: only the fields' own are loaded, as masked-off bytes
// are not read.
struct GroupBytes {
  __mmask64 lo, hi;
};

GroupBytes group_bytes(size_t span) {
  // A group of sixteen-column fields fills both vectors: no shift by 64.
  return {span >= 64 ? ~__mmask64{0} : (__mmask64{1} << span) - 1,
          span <= 64    ? 0
          : span >= 128 ? ~__mmask64{0}
                        : (__mmask64{1} << (span - 64)) - 1};
}

// The loop over the groups, compiled once for each kind of layout.
template <class T, bool High, bool Exponent>
size_t convert_as(const LaneLayout &l, const char *p, size_t n, T *out, ptrdiff_t stride,
                  bool checked) {
  const Setup s = setup_of(l);
  const size_t group = static_cast<size_t>(l.fields);
  const size_t width = static_cast<size_t>(l.width);
  const size_t step = width * group;
  size_t i = 0;
  // Whole groups that pass their check, straight through; the loop below
  // takes the rest and any group that needs a closer look.
  {
    const GroupBytes bytes = group_bytes(step);
    const auto all = static_cast<__mmask8>((1u << group) - 1);
    for (; i + group <= n; i += group, p += step) {
      const __m512i lo = _mm512_maskz_loadu_epi8(bytes.lo, p);
      const __m512i hi = step > 64 ? _mm512_maskz_loadu_epi8(bytes.hi, p + 64) : lo;
      if (!checked && check_group(l, lo, hi, step, group) < group) break;
      __mmask8 inexact = 0;
      T *to = stride == 0 ? out : out + i;
      if (!convert_group<T, High, Exponent>(l, s, lo, hi, all, to, stride, inexact)) break;
    }
  }
  for (; i < n; i += group, p += step) {
    size_t count = n - i >= group ? group : n - i;
    const size_t span = count * width;
    const GroupBytes bytes = group_bytes(span);
    const __m512i lo = _mm512_maskz_loadu_epi8(bytes.lo, p);
    const __m512i hi = span > 64 ? _mm512_maskz_loadu_epi8(bytes.hi, p + 64) : lo;
    // The group's fields up to the first that breaks the layout.
    const size_t good = checked ? count : check_group(l, lo, hi, span, count);
    if (good == 0) return i;
    bool last = good < count;
    count = good;
    auto active = static_cast<__mmask8>((1u << count) - 1);
    __mmask8 inexact = 0;
    T *to = stride == 0 ? out : out + i;
    if (!convert_group<T, High, Exponent>(l, s, lo, hi, active, to, stride, inexact)) {
      // Only exact powers of ten: the group stops at the first other one.
      count = static_cast<size_t>(__builtin_ctz(inexact));
      if (count == 0) return i;
      active = static_cast<__mmask8>((1u << count) - 1);
      last = true;
      convert_group<T, High, Exponent>(l, s, lo, hi, active, to, stride, inexact);
    }
    if (last) return i + count;
  }
  return n;
}

template <class T>
size_t convert(const LaneLayout &l, const char *p, size_t n, T *out, ptrdiff_t stride,
               bool checked) {
  if constexpr (std::is_same_v<T, int32_t>) {
    if (l.high) return convert_as<T, true, false>(l, p, n, out, stride, checked);
    return convert_as<T, false, false>(l, p, n, out, stride, checked);
  } else {
    if (l.exponent) {
      if (l.high) return convert_as<T, true, true>(l, p, n, out, stride, checked);
      return convert_as<T, false, true>(l, p, n, out, stride, checked);
    }
    if (l.high) return convert_as<T, true, false>(l, p, n, out, stride, checked);
    return convert_as<T, false, false>(l, p, n, out, stride, checked);
  }
}

} // namespace

size_t convert_lanes(const LaneLayout &l, const char *p, size_t n, bool checked, int32_t *out) {
  return convert(l, p, n, out, 1, checked);
}
size_t convert_lanes(const LaneLayout &l, const char *p, size_t n, bool checked, float *out,
                     ptrdiff_t stride) {
  return convert(l, p, n, out, stride, checked);
}
size_t convert_lanes(const LaneLayout &l, const char *p, size_t n, bool checked, double *out,
                     ptrdiff_t stride) {
  return convert(l, p, n, out, stride, checked);
}

} // namespace recio::kernels::VORNET_LEVEL(avx512)

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
