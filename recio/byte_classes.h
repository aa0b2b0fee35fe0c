// The vector stage of the field kernels: one bit per input byte for each
// byte class the canonical layouts use. Every kernel level computes the same
// bits; only the instructions differ.
#pragma once

#include "recio/field_kernels.h"

#include <cstddef>
#include <cstdint>

namespace recio::kernels {

// Bytes classified in one block: a whole number of 64-bit words.
inline constexpr size_t kBlockBytes = 512;
inline constexpr size_t kBlockWords = kBlockBytes / 64;

struct ClassMasks {
  uint64_t digit[kBlockWords]; // "0" to "9"
  uint64_t blank[kBlockWords]; // " " only (a tab is not canonical)
  uint64_t sign[kBlockWords];  // "+" or "-"
  uint64_t point[kBlockWords]; // "."
  uint64_t letter[kBlockWords]; // "E"
};

// Classifies `n` bytes (at most kBlockBytes) at `p` into the first
// ceil(n / 64) words of each mask; bits past `n` are 0.
// May load up to kKernelPadding bytes past `p + n`.
void classify_portable(const char *p, size_t n, ClassMasks &m);
void classify_avx2(const char *p, size_t n, ClassMasks &m);
void classify_avx512(const char *p, size_t n, ClassMasks &m);

inline void classify(KernelLevel level, const char *p, size_t n, ClassMasks &m) {
  switch (level) {
  case KernelLevel::avx512:
    return classify_avx512(p, n, m);
  case KernelLevel::avx2:
    return classify_avx2(p, n, m);
  default:
    return classify_portable(p, n, m);
  }
}

// Clears the bits from `n` on in the last word that holds any of the first
// `n` bytes; words past it are never read.
inline void clear_tail(ClassMasks &m, size_t n) {
  if (n % 64 == 0) return;
  const size_t w = n / 64;
  const uint64_t keep = (uint64_t{1} << (n % 64)) - 1;
  m.digit[w] &= keep;
  m.blank[w] &= keep;
  m.sign[w] &= keep;
  m.point[w] &= keep;
  m.letter[w] &= keep;
}

} // namespace recio::kernels
