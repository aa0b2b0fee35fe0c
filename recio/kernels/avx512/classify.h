// The byte classes of 64 bytes at AVX-512, straight into bit masks; shared
// by the classification of a block and the group check of the lanes.
#pragma once

#include "recio/kernels/byte_classes.h"
#include "recio/kernels/column_check.h"
#include "recio/kernels/level_stages.h"
#include "recio/kernels/x86_intrinsics.h"

namespace recio::kernels::VORNET_LEVEL(avx512) {

// Static: see exact_quotient.h.
static inline ByteClasses classes_of(__m512i x) {
  return ByteClasses{
      _mm512_cmplt_epu8_mask(_mm512_sub_epi8(x, _mm512_set1_epi8(kFirstDigit)),
                             _mm512_set1_epi8(kDigitCount)),
      _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8(kBlank)),
      _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8(kPlus)) |
          _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8(kMinus)),
      _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8(kPoint)),
      _mm512_cmpeq_epi8_mask(x, _mm512_set1_epi8(kLetter))};
}

} // namespace recio::kernels::VORNET_LEVEL(avx512)
