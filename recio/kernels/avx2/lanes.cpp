// Eight fields at a time, four to a vector, one to each 64-bit lane. Each
// lane loads an eight-byte window of its field, and one byte shuffle, the
// same for every lane, right-aligns the digits the window holds (the point
// left out); multiply-adds of byte pairs and word pairs then make numbers of
// them, and the conversion of the scalar stage runs on four lanes at once.
// Compiled with the AVX2 flags.
#include "recio/kernels/byte_classes.h"
#include "recio/kernels/column_check.h"
#include "recio/kernels/exact_quotient.h"
#include "recio/kernels/level_stages.h"
#include "recio/kernels/powers_of_ten.h"
#include "recio/kernels/x86_intrinsics.h"

#include <cstring>
#include <type_traits>

namespace recio::kernels::VORNET_LEVEL(avx2) {

namespace {

// Small helpers are inlined whatever the compiler's estimate: a call would
// pass vectors through memory.
#define VORNET_INLINE [[gnu::always_inline]] inline

// A part's window as lanes use it: its first column, its shuffle of four
// lanes and the lane bytes where a minus counts.
struct Window {
  int32_t base;
  __m256i shuffle;
  __m256i sign_bytes;
};

VORNET_INLINE Window window_of(const LaneWindow &w) {
  return {w.base, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(w.shuffle4)),
          _mm256_set1_epi64x(static_cast<long long>(w.sign_bytes))};
}

struct Windows {
  Window low, high, exponent;
};

uint64_t load_word(const char *p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// The part `w` of the first `lanes` (at most four) of the fields `width`
// apart from `f`, right-aligned per lane. Lanes past `lanes` hold what the
// bytes after the fields make of them, or 0 for the widest fields; they
// are never stored. No load reaches kKernelPadding bytes past the fields.
template <bool Narrow>
VORNET_INLINE __m256i gather(const Window &w, const char *f, size_t width, size_t lanes) {
  const char *p = f + w.base;
  if constexpr (Narrow) {
    // Two fields to each 16-byte load; the bytes past the last field's
    // window are the run's or its padding's.
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 2 * width));
    return _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1),
                               w.shuffle);
  } else {
    uint64_t word[4] = {};
    if (lanes >= 4 || width <= 16) {
      for (size_t k = 0; k < 4; ++k)
        word[k] = load_word(p + k * width);
    } else {
      for (size_t k = 0; k < lanes; ++k)
        word[k] = load_word(p + k * width);
    }
    const __m256i words =
        _mm256_set_epi64x(static_cast<long long>(word[3]), static_cast<long long>(word[2]),
                          static_cast<long long>(word[1]), static_cast<long long>(word[0]));
    return _mm256_shuffle_epi8(words, w.shuffle);
  }
}

// Digit bytes as numbers per lane, the first the most significant; blanks,
// signs and bytes no column fills count as 0. (Only checked fields are ever
// stored, and their digit columns hold digits.)
VORNET_INLINE __m256i lane_numbers(__m256i x) {
  const __m256i d = _mm256_subs_epu8(x, _mm256_set1_epi8(kFirstDigit));
  const __m256i pairs = _mm256_maddubs_epi16(d, _mm256_set1_epi16(0x010A));
  const __m256i quads = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00010064));
  const __m256i high = _mm256_mul_epu32(quads, _mm256_set1_epi64x(10000));
  return _mm256_add_epi64(high, _mm256_srli_epi64(quads, 32));
}

// All ones in the lanes without a minus sign among the bytes `sign_bytes`
// marks.
VORNET_INLINE __m256i plus_lanes(__m256i x, __m256i sign_bytes) {
  const __m256i m = _mm256_and_si256(_mm256_cmpeq_epi8(x, _mm256_set1_epi8(kMinus)), sign_bytes);
  return _mm256_cmpeq_epi64(m, _mm256_setzero_si256());
}

// Four lanes of a group: mantissas, their signs and, for E fields, the
// signed exponents.
struct Lanes {
  __m256i value, positive, exponent;
};

template <bool Narrow, bool High, bool Exponent>
VORNET_INLINE Lanes lanes_of(const Windows &w, const char *f, size_t width, size_t lanes) {
  Lanes r;
  const __m256i x = gather<Narrow>(w.low, f, width, lanes);
  r.value = lane_numbers(x);
  r.positive = plus_lanes(x, w.low.sign_bytes);
  if constexpr (High) {
    const __m256i h = gather<Narrow>(w.high, f, width, lanes);
    r.value = _mm256_add_epi64(_mm256_mul_epu32(lane_numbers(h), _mm256_set1_epi64x(100000000)),
                               r.value);
    r.positive = _mm256_and_si256(r.positive, plus_lanes(h, w.high.sign_bytes));
  }
  if constexpr (Exponent) {
    const __m256i e = gather<Narrow>(w.exponent, f, width, lanes);
    const __m256i magnitude = lane_numbers(e);
    const __m256i positive = plus_lanes(e, w.exponent.sign_bytes);
    // The exponent takes its sign: 0 - m where a minus stands.
    r.exponent = _mm256_blendv_epi8(_mm256_sub_epi64(_mm256_setzero_si256(), magnitude), magnitude,
                                    positive);
  } else {
    r.exponent = _mm256_setzero_si256();
  }
  return r;
}

VORNET_INLINE __m256i nibble_table(const uint8_t (&t)[16]) {
  const __m128i half = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t));
  return _mm256_broadcastsi128_si256(half);
}

// The 32-bit masks of the columns of 32 bytes at `p` whose class the layout
// does not allow there, and of the blanks and signs among the allowed.
struct ChunkBits {
  uint64_t misplaced, blank, sign;
};

VORNET_INLINE ChunkBits chunk_bits(const char *p, const uint8_t *allowed, __m256i low,
                                   __m256i high) {
  const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
  const __m256i nibble = _mm256_and_si256(_mm256_srli_epi16(x, 4), _mm256_set1_epi8(0x0F));
  const __m256i classes =
      _mm256_and_si256(_mm256_shuffle_epi8(low, x), _mm256_shuffle_epi8(high, nibble));
  const __m256i ok =
      _mm256_and_si256(classes, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(allowed)));
  const auto bits = [](__m256i v) {
    return static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(v)));
  };
  return {bits(_mm256_cmpeq_epi8(ok, _mm256_setzero_si256())),
          bits(_mm256_cmpeq_epi8(ok, _mm256_set1_epi8(kBlankClass))),
          bits(_mm256_cmpeq_epi8(ok, _mm256_set1_epi8(kSignClass)))};
}

// How many of the `count` fields from `p` match the layout: the block check
// of the scalar stage, on the group's bytes classified in registers. Loads
// whole 32-byte chunks, fewer than 32 bytes past the fields.
VORNET_INLINE size_t check_group(const LaneLayout &l, const char *p, size_t count) {
  const size_t span = count * static_cast<size_t>(l.width);
  const __m256i low = nibble_table(kNibbleClasses.low);
  const __m256i high = nibble_table(kNibbleClasses.high);
  uint64_t carry = 0;
  for (size_t w = 0; w < 2 && w * 64 < span; ++w) {
    const size_t at = w * 64;
    ChunkBits b = chunk_bits(p + at, l.allowed + at, low, high);
    if (at + 32 < span) {
      const ChunkBits h = chunk_bits(p + at + 32, l.allowed + at + 32, low, high);
      b.misplaced |= h.misplaced << 32;
      b.blank |= h.blank << 32;
      b.sign |= h.sign << 32;
    }
    const size_t left = span - at;
    const uint64_t in_span = left >= 64 ? ~uint64_t{0} : (uint64_t{1} << left) - 1;
    const ColumnClasses &c = l.columns[w];
    // Blanks are allowed in the prefix only; signs there and in the exponent.
    const uint64_t bad =
        (b.misplaced | misordered_prefix(c.start, b.blank, b.sign & c.prefix, carry)) & in_span;
    if (bad)
      return (at + static_cast<size_t>(__builtin_ctzll(bad))) / static_cast<size_t>(l.width);
  }
  return count;
}

struct QuotientOps {
  static __m256d mul(__m256d a, __m256d b) { return _mm256_mul_pd(a, b); }
  static __m256d fma(__m256d a, __m256d b, __m256d c) { return _mm256_fmadd_pd(a, b, c); }
  static __m256d fnma(__m256d a, __m256d b, __m256d c) { return _mm256_fnmadd_pd(a, b, c); }
};

// Four values below 2^52, exactly, as doubles.
VORNET_INLINE __m256d to_double(__m256i v) {
  const __m256i magic = _mm256_set1_epi64x(0x4330000000000000);
  return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(v, magic)), _mm256_castsi256_pd(magic));
}

// How a layout without an exponent scales its mantissas: by its fixed
// power of ten, set up once per run.
struct FixedScale {
  __m256d power, tenth;
  bool divide;   // a fraction at all
  bool quotient; // at most seven digits: two fused multiply-adds stand for the division
};

FixedScale fixed_scale(const LaneLayout &l) {
  const bool quotient = l.digits <= kMaxQuotientDigits;
  return {_mm256_set1_pd(kPowersOfTen[l.fraction]),
          _mm256_set1_pd(quotient ? kTenths[l.fraction] : 1.0), l.fraction != 0, quotient};
}

// The reals of four lanes; `inexact` gets one bit for each lane whose power
// of ten is past the exact ones.
template <bool Exponent>
VORNET_INLINE __m256d reals(const LaneLayout &l, const FixedScale &fixed, const Lanes &r,
                            int &inexact) {
  const __m256d m = to_double(r.value);
  __m256d d;
  if constexpr (!Exponent) {
    inexact = 0;
    if (!fixed.divide) {
      d = m;
    } else if (fixed.quotient) {
      // At most seven digits over a fixed power of ten: the quotient of two
      // fused multiply-adds, equal to the division's.
      d = quotient_by_power_of_ten<QuotientOps>(m, fixed.power, fixed.tenth);
    } else {
      d = _mm256_div_pd(m, fixed.power);
    }
  } else {
    const __m256i scale = _mm256_sub_epi64(r.exponent, _mm256_set1_epi64x(l.fraction));
    const __m256i below = _mm256_cmpgt_epi64(_mm256_setzero_si256(), scale);
    const __m256i size = _mm256_sub_epi64(_mm256_xor_si256(scale, below), below);
    inexact = _mm256_movemask_pd(
        _mm256_castsi256_pd(_mm256_cmpgt_epi64(size, _mm256_set1_epi64x(kMaxExactPower))));
    const __m256i index = _mm256_andnot_si256(
        _mm256_cmpgt_epi64(size, _mm256_set1_epi64x(kMaxExactPower)), size);
    const __m256d power = _mm256_i64gather_pd(kPowersOfTen, index, 8);
    // Lanes that divide by 10^1 to 10^7: with at most seven digits, the
    // quotient of two fused multiply-adds is the division's.
    const __m256i short_division =
        _mm256_and_si256(below, _mm256_cmpgt_epi64(_mm256_set1_epi64x(kMaxQuotientDigits + 1), size));
    const bool quotients =
        l.digits <= kMaxQuotientDigits &&
        _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_or_si256(
            short_division, _mm256_xor_si256(below, _mm256_set1_epi64x(-1))))) == 0xF;
    if (quotients) {
      const __m256d tenth =
          _mm256_i64gather_pd(kTenths, _mm256_and_si256(short_division, size), 8);
      d = _mm256_blendv_pd(_mm256_mul_pd(m, power),
                           quotient_by_power_of_ten<QuotientOps>(m, power, tenth),
                           _mm256_castsi256_pd(below));
    } else {
      // Both operands exact: one correctly rounded operation, as one field.
      d = _mm256_blendv_pd(_mm256_mul_pd(m, power), _mm256_div_pd(m, power),
                           _mm256_castsi256_pd(below));
    }
  }
  return _mm256_xor_pd(d, _mm256_andnot_pd(_mm256_castsi256_pd(r.positive), _mm256_set1_pd(-0.0)));
}

// The low 32 bits of each lane of `a` and then of `b`, as eight integers.
VORNET_INLINE __m256i narrow(__m256i a, __m256i b) {
  const __m256i order = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
  const __m256i x = _mm256_permutevar8x32_epi32(a, order);
  const __m256i y = _mm256_permutevar8x32_epi32(b, order);
  return _mm256_permute2x128_si256(x, y, 0x20);
}

// All ones in the first `count` 32-bit lanes, and in the first `count`
// (at most four) 64-bit lanes: the masks of the stores of a partial group.
VORNET_INLINE __m256i first_lanes_32(size_t count) {
  return _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(count)),
                            _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}
VORNET_INLINE __m256i first_lanes_64(size_t count) {
  return _mm256_cmpgt_epi64(_mm256_set1_epi64x(static_cast<long long>(count)),
                            _mm256_setr_epi64x(0, 1, 2, 3));
}

// The loop over the groups, compiled once for each kind of layout: fields
// of at most eight columns (two to a 16-byte load), more than eight
// mantissa digits, an exponent.
template <class T, bool Narrow, bool High, bool Exponent, bool Wide = false>
size_t convert_as(const LaneLayout &l, const char *p, size_t n, T *out, ptrdiff_t stride,
                  bool checked) {
  const Windows w{window_of(l.low_window), window_of(l.high_window),
                  window_of(l.exponent_window)};
  const FixedScale fixed = fixed_scale(l);
  const size_t group = static_cast<size_t>(l.fields);
  const size_t width = static_cast<size_t>(l.width);
  size_t i = 0;
  // Whole groups that pass their check, straight through; the loop below
  // takes the rest and any group that needs a closer look. A group has
  // eight fields, or fewer of more than 16 columns.
  {
    const size_t whole = Wide ? group : 8;
    const size_t second = whole - 4; // lanes of the second four
    const __m256i store32 = first_lanes_32(whole);
    const __m256i store64 = first_lanes_64(second);
    bool made = false; // the values of the whole groups are made below
    if constexpr (!std::is_same_v<T, int32_t>) {
      if (stride == 0 && l.powers_exact) {
        // Every value goes to the one variable, where only the last one
        // stays, and no power of ten stops a group: the groups are only
        // checked, and the last value of the last one alone is made.
        size_t last = n;
        for (; i + whole <= n; i += whole) {
          if (!checked && check_group(l, p + i * width, whole) < whole) break;
          last = i;
        }
        if (last < n) {
          const Lanes b =
              lanes_of<Narrow, High, Exponent>(w, p + (last + 4) * width, width, second);
          int inexact = 0;
          alignas(32) double values[4];
          _mm256_store_pd(values, reals<Exponent>(l, fixed, b, inexact));
          *out = static_cast<T>(values[second - 1]);
        }
        made = true;
      }
    }
    for (; !made && i + whole <= n; i += whole) {
      const char *f = p + i * width;
      if (!checked && check_group(l, f, whole) < whole) break;
      const Lanes a = lanes_of<Narrow, High, Exponent>(w, f, width, 4);
      const Lanes b = lanes_of<Narrow, High, Exponent>(w, f + 4 * width, width, second);
      if constexpr (std::is_same_v<T, int32_t>) {
        const auto sign = [](const Lanes &r) {
          return _mm256_blendv_epi8(_mm256_sub_epi64(_mm256_setzero_si256(), r.value), r.value,
                                    r.positive);
        };
        const __m256i values = narrow(sign(a), sign(b));
        if constexpr (Wide)
          _mm256_maskstore_epi32(reinterpret_cast<int *>(out + i), store32, values);
        else
          _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i), values);
      } else {
        int inexact_a = 0, inexact_b = 0;
        const __m256d da = reals<Exponent>(l, fixed, a, inexact_a);
        const __m256d db = reals<Exponent>(l, fixed, b, inexact_b);
        if (Exponent && (inexact_a | (inexact_b & ((1 << second) - 1)))) break;
        if (stride == 0) {
          // Every value to the one variable: the last one stays.
          alignas(32) double last[4];
          _mm256_store_pd(last, db);
          *out = static_cast<T>(last[second - 1]);
        } else if constexpr (std::is_same_v<T, float>) {
          const __m256 values = _mm256_set_m128(_mm256_cvtpd_ps(db), _mm256_cvtpd_ps(da));
          if constexpr (Wide)
            _mm256_maskstore_ps(out + i, store32, values);
          else
            _mm256_storeu_ps(out + i, values);
        } else {
          _mm256_storeu_pd(out + i, da);
          if constexpr (Wide)
            _mm256_maskstore_pd(out + i + 4, store64, db);
          else
            _mm256_storeu_pd(out + i + 4, db);
        }
      }
    }
  }
  for (; i < n; i += group) {
    const char *f = p + i * width;
    size_t count = n - i >= group ? group : n - i;
    const size_t good = checked ? count : check_group(l, f, count);
    if (good == 0) return i;
    bool last = good < count;
    count = good;
    // The second four lanes only where a field is there for them.
    const Lanes a = lanes_of<Narrow, High, Exponent>(w, f, width, count);
    const Lanes b =
        count > 4 ? lanes_of<Narrow, High, Exponent>(w, f + 4 * width, width, count - 4) : a;
    if constexpr (std::is_same_v<T, int32_t>) {
      const auto sign = [](const Lanes &r) {
        return _mm256_blendv_epi8(_mm256_sub_epi64(_mm256_setzero_si256(), r.value), r.value,
                                  r.positive);
      };
      const __m256i values = narrow(sign(a), sign(b));
      if (count == 8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i), values);
      } else {
        _mm256_maskstore_epi32(reinterpret_cast<int *>(out + i), first_lanes_32(count), values);
      }
    } else {
      int inexact_a = 0, inexact_b = 0;
      const __m256d da = reals<Exponent>(l, fixed, a, inexact_a);
      const __m256d db = count > 4 ? reals<Exponent>(l, fixed, b, inexact_b) : da;
      if constexpr (Exponent) {
        const int inexact = (inexact_a | inexact_b << 4) & ((1 << count) - 1);
        if (inexact) {
          count = static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(inexact)));
          if (count == 0) return i;
          last = true;
        }
      }
      if (stride == 0) {
        // Every value to the one variable: the last one stays.
        alignas(32) double all[8];
        _mm256_store_pd(all, da);
        _mm256_store_pd(all + 4, db);
        *out = static_cast<T>(all[count - 1]);
      } else if constexpr (std::is_same_v<T, float>) {
        const __m256 values = _mm256_set_m128(_mm256_cvtpd_ps(db), _mm256_cvtpd_ps(da));
        if (count == 8) _mm256_storeu_ps(out + i, values);
        else _mm256_maskstore_ps(out + i, first_lanes_32(count), values);
      } else if (count == 8) {
        _mm256_storeu_pd(out + i, da);
        _mm256_storeu_pd(out + i + 4, db);
      } else {
        // A masked store only for a partial group: it costs more than a plain one.
        const __m256i lanes = first_lanes_64(count);
        _mm256_maskstore_pd(out + i, lanes, da);
        if (count > 4) _mm256_maskstore_pd(out + i + 4, first_lanes_64(count - 4), db);
      }
    }
    if (last) return i + count;
  }
  return n;
}

// The wider kinds: more than eight columns, with or without more than eight
// mantissa digits and an exponent, in groups of eight or (more than 16
// columns) fewer.
template <class T, bool High, bool Exponent>
size_t convert_wider(const LaneLayout &l, const char *p, size_t n, T *out, ptrdiff_t stride,
                     bool checked) {
  if (l.width > 16)
    return convert_as<T, false, High, Exponent, true>(l, p, n, out, stride, checked);
  return convert_as<T, false, High, Exponent>(l, p, n, out, stride, checked);
}

template <class T>
size_t convert(const LaneLayout &l, const char *p, size_t n, T *out, ptrdiff_t stride,
               bool checked) {
  if (!l.windowed) return 0;
  if constexpr (std::is_same_v<T, int32_t>) {
    // Integers have no exponent, and no more than 16 columns.
    if (l.width <= 8) return convert_as<T, true, false, false>(l, p, n, out, stride, checked);
    if (l.high) return convert_as<T, false, true, false>(l, p, n, out, stride, checked);
    return convert_as<T, false, false, false>(l, p, n, out, stride, checked);
  }
  if (l.width <= 8) {
    if (l.exponent) return convert_as<T, true, false, true>(l, p, n, out, stride, checked);
    return convert_as<T, true, false, false>(l, p, n, out, stride, checked);
  }
  if (l.exponent) {
    if (l.high) return convert_wider<T, true, true>(l, p, n, out, stride, checked);
    return convert_wider<T, false, true>(l, p, n, out, stride, checked);
  }
  if (l.high) return convert_wider<T, true, false>(l, p, n, out, stride, checked);
  return convert_wider<T, false, false>(l, p, n, out, stride, checked);
}

#undef VORNET_INLINE

} // namespace

bool takes(const LaneLayout &l) { return l.windowed; }

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

} // namespace recio::kernels::VORNET_LEVEL(avx2)
