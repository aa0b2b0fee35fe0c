#include "recio/lane_conversion.h"

#include <immintrin.h>

#include <type_traits>

// GCC 12 reports the deliberately undefined pass-through operands inside the
// AVX-512 intrinsics (_mm512_undefined_*) as maybe uninitialized; a false
// positive, silenced for this file's intrinsics only.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace recio::kernels {

namespace {

constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};

// The lanes' digits as numbers, and which lanes are negative.
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vbmi,avx512vl"))) inline __m512i
lane_values(const LaneLayout &l, const __m512i index, const char *p, __mmask8 &negative) {
  const __m512i bytes = _mm512_loadu_si512(p);
  const __m512i x = _mm512_maskz_permutexvar_epi8(l.keep, index, bytes);
  const __mmask64 minus = _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8('-')) & l.prefix;
  const __m512i minus_bytes = _mm512_movm_epi8(minus);
  negative = _mm512_test_epi64_mask(minus_bytes, minus_bytes);
  // Digits have bit 4 set; blanks and signs give 0.
  const __mmask64 digit = _mm512_test_epi8_mask(x, _mm512_set1_epi8(0x10));
  const __m512i d = _mm512_maskz_and_epi32(0xFFFF, x, _mm512_set1_epi8(0x0F));
  const __m512i digits = _mm512_maskz_mov_epi8(digit, d);
  // Byte pairs, then pairs of pairs, the first the more significant.
  const __m512i pairs = _mm512_maddubs_epi16(digits, _mm512_set1_epi16(0x010A));
  const __m512i quads = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00010064));
  const __m512i high = _mm512_mul_epu32(quads, _mm512_set1_epi64(10000));
  return _mm512_add_epi64(high, _mm512_srli_epi64(quads, 32));
}

template <class T>
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vbmi,avx512vl"))) void
convert(const LaneLayout &l, const char *p, size_t n, T *out) {
  const __m512i index = _mm512_loadu_si512(l.index);
  const size_t step = static_cast<size_t>(l.width) * 8;
  for (size_t i = 0; i < n; i += 8, p += step) {
    __mmask8 negative;
    const __m512i v = lane_values(l, index, p, negative);
    if constexpr (std::is_same_v<T, int32_t>) {
      const __m512i s = _mm512_mask_sub_epi64(v, negative, _mm512_setzero_si512(), v);
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i), _mm512_cvtepi64_epi32(s));
    } else {
      // Both operands exact: one correctly rounded division, as one field.
      __m512d d = _mm512_div_pd(_mm512_cvtepu64_pd(v), _mm512_set1_pd(kPowers[l.fraction]));
      d = _mm512_mask_xor_pd(d, negative, d, _mm512_set1_pd(-0.0));
      if constexpr (std::is_same_v<T, float>) {
        _mm256_storeu_ps(out + i, _mm512_cvtpd_ps(d));
      } else {
        _mm512_storeu_pd(out + i, d);
      }
    }
  }
}

} // namespace

void convert_lanes_avx512(const LaneLayout &l, const char *p, size_t n, int32_t *out) {
  convert(l, p, n, out);
}
void convert_lanes_avx512(const LaneLayout &l, const char *p, size_t n, float *out) {
  convert(l, p, n, out);
}
void convert_lanes_avx512(const LaneLayout &l, const char *p, size_t n, double *out) {
  convert(l, p, n, out);
}

} // namespace recio::kernels

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
