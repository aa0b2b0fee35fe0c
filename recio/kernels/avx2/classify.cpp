// The classification at 32 bytes an instruction. Compiled with the AVX2
// flags; nothing it shares with other files has external linkage.
#include "recio/kernels/level_stages.h"
#include "recio/kernels/x86_intrinsics.h"

namespace recio::kernels::VORNET_LEVEL(avx2) {

namespace {

uint64_t bits(__m256i v) {
  return static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(v)));
}

} // namespace

void classify(const char *p, size_t n, ClassMasks &m) {
  const __m256i zero = _mm256_set1_epi8(kFirstDigit);
  const __m256i nine = _mm256_set1_epi8(kDigitCount - 1);
  const __m256i blank = _mm256_set1_epi8(kBlank);
  const __m256i plus = _mm256_set1_epi8(kPlus);
  const __m256i minus = _mm256_set1_epi8(kMinus);
  const __m256i point = _mm256_set1_epi8(kPoint);
  const __m256i letter = _mm256_set1_epi8(kLetter);
  for (size_t w = 0; w * 64 < n; ++w) {
    uint64_t d = 0, b = 0, s = 0, pt = 0, e = 0;
    for (int half = 0; half < 2; ++half) {
      const __m256i x =
          _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + w * 64 + half * 32));
      const __m256i off = _mm256_sub_epi8(x, zero);
      const int shift = half * 32;
      d |= bits(_mm256_cmpeq_epi8(_mm256_min_epu8(off, nine), off)) << shift;
      b |= bits(_mm256_cmpeq_epi8(x, blank)) << shift;
      s |= bits(_mm256_or_si256(_mm256_cmpeq_epi8(x, plus), _mm256_cmpeq_epi8(x, minus))) << shift;
      pt |= bits(_mm256_cmpeq_epi8(x, point)) << shift;
      e |= bits(_mm256_cmpeq_epi8(x, letter)) << shift;
    }
    store_word(m, w, ByteClasses{d, b, s, pt, e});
  }
  clear_tail(m, n);
}

} // namespace recio::kernels::VORNET_LEVEL(avx2)
