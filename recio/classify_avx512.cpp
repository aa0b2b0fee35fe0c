// The classification at 64 bytes an instruction, straight into bit masks.
// The function carries its own target attribute, so this file needs no
// special compiler flags.
#include "recio/byte_classes.h"

#include <immintrin.h>

namespace recio::kernels {

__attribute__((target("avx512f,avx512bw"))) void classify_avx512(const char *p, size_t n,
                                                                  ClassMasks &m) {
  const __m512i zero = _mm512_set1_epi8('0');
  const __m512i ten = _mm512_set1_epi8(10);
  const __m512i blank = _mm512_set1_epi8(' ');
  const __m512i plus = _mm512_set1_epi8('+');
  const __m512i minus = _mm512_set1_epi8('-');
  const __m512i point = _mm512_set1_epi8('.');
  const __m512i letter = _mm512_set1_epi8('E');
  for (size_t w = 0; w * 64 < n; ++w) {
    const __m512i x = _mm512_loadu_si512(p + w * 64);
    m.digit[w] = _mm512_cmplt_epu8_mask(_mm512_sub_epi8(x, zero), ten);
    m.blank[w] = _mm512_cmpeq_epi8_mask(x, blank);
    m.sign[w] = _mm512_cmpeq_epi8_mask(x, plus) | _mm512_cmpeq_epi8_mask(x, minus);
    m.point[w] = _mm512_cmpeq_epi8_mask(x, point);
    m.letter[w] = _mm512_cmpeq_epi8_mask(x, letter);
  }
  clear_tail(m, n);
}

} // namespace recio::kernels
