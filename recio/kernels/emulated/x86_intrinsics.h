// Portable definitions of the x86 intrinsics the level sources use, for the
// emulated builds of those sources in the tests and fuzz targets: SIMDe's,
// under the intrinsics' own names, and the few this SIMDe lacks, written
// here lane by lane from the instructions' definitions.
#pragma once

#define SIMDE_ENABLE_NATIVE_ALIASES
#include <simde/x86/avx512.h>

#include <cmath>
#include <cstdint>
#include <cstring>

typedef simde__mmask8 __mmask8;
typedef simde__mmask16 __mmask16;
typedef simde__mmask32 __mmask32;
typedef simde__mmask64 __mmask64;

// This SIMDe's fused multiply-adds round twice where no FMA instruction is
// at hand; the lanes need the single rounding, so they are defined below.
#undef _mm512_fmadd_pd
#undef _mm512_fnmadd_pd
#undef _mm256_fmadd_pd
#undef _mm256_fnmadd_pd

// This SIMDe's alias of _mm512_madd_epi16 takes the masked form's operands.
#undef _mm512_madd_epi16
#define _mm512_madd_epi16 simde_mm512_madd_epi16

namespace recio::kernels::emulated {

inline simde__m512i maskz_loadu_epi8(uint64_t k, const void *p) {
  alignas(64) uint8_t b[64] = {};
  for (int i = 0; i < 64; ++i)
    if (k >> i & 1) b[i] = static_cast<const uint8_t *>(p)[i];
  return simde_mm512_load_si512(b);
}

inline simde__m512d mask_i64gather_pd(simde__m512d src, uint8_t k, simde__m512i index,
                                      const void *base, int scale) {
  alignas(64) double v[8];
  alignas(64) int64_t i64[8];
  simde_mm512_store_pd(v, src);
  simde_mm512_store_si512(i64, index);
  for (int i = 0; i < 8; ++i)
    if (k >> i & 1) std::memcpy(&v[i], static_cast<const char *>(base) + i64[i] * scale, 8);
  return simde_mm512_load_pd(v);
}

inline simde__m512d cvtepu64_pd(simde__m512i a) {
  alignas(64) uint64_t u[8];
  alignas(64) double v[8];
  simde_mm512_store_si512(u, a);
  for (int i = 0; i < 8; ++i) v[i] = static_cast<double>(u[i]);
  return simde_mm512_load_pd(v);
}

inline simde__m256 cvtpd_ps(simde__m512d a) {
  alignas(64) double v[8];
  alignas(32) float f[8];
  simde_mm512_store_pd(v, a);
  for (int i = 0; i < 8; ++i) f[i] = static_cast<float>(v[i]);
  return simde_mm256_load_ps(f);
}

inline void mask_cvtepi64_storeu_epi32(void *p, uint8_t k, simde__m512i a) {
  alignas(64) int64_t v[8];
  simde_mm512_store_si512(v, a);
  for (int i = 0; i < 8; ++i) {
    if (!(k >> i & 1)) continue;
    const auto low = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v[i])));
    std::memcpy(static_cast<char *>(p) + 4 * i, &low, 4);
  }
}

inline void mask_storeu_ps(void *p, uint8_t k, simde__m256 a) {
  alignas(32) float v[8];
  simde_mm256_store_ps(v, a);
  for (int i = 0; i < 8; ++i)
    if (k >> i & 1) std::memcpy(static_cast<char *>(p) + 4 * i, &v[i], 4);
}

inline void mask_storeu_pd(void *p, uint8_t k, simde__m512d a) {
  alignas(64) double v[8];
  simde_mm512_store_pd(v, a);
  for (int i = 0; i < 8; ++i)
    if (k >> i & 1) std::memcpy(static_cast<char *>(p) + 8 * i, &v[i], 8);
}

// The fused multiply-add lane by lane. The vectors are copied with memcpy,
// not SIMDe's store and load: those are forced inline, which a call through
// a pointer defeats below -O2.
template <class V> inline V fused(V a, V b, V c, double sign) {
  constexpr int n = sizeof(V) / sizeof(double);
  double x[n], y[n], z[n];
  std::memcpy(x, &a, sizeof a);
  std::memcpy(y, &b, sizeof b);
  std::memcpy(z, &c, sizeof c);
  for (int i = 0; i < n; ++i) x[i] = std::fma(sign * x[i], y[i], z[i]);
  std::memcpy(&a, x, sizeof a);
  return a;
}

inline simde__m512d fmadd_pd(simde__m512d a, simde__m512d b, simde__m512d c) {
  return fused(a, b, c, 1.0);
}
inline simde__m512d fnmadd_pd(simde__m512d a, simde__m512d b, simde__m512d c) {
  return fused(a, b, c, -1.0);
}
inline simde__m256d fmadd_pd(simde__m256d a, simde__m256d b, simde__m256d c) {
  return fused(a, b, c, 1.0);
}
inline simde__m256d fnmadd_pd(simde__m256d a, simde__m256d b, simde__m256d c) {
  return fused(a, b, c, -1.0);
}

} // namespace recio::kernels::emulated

#define _mm512_maskz_loadu_epi8 recio::kernels::emulated::maskz_loadu_epi8
#define _mm512_mask_i64gather_pd recio::kernels::emulated::mask_i64gather_pd
#define _mm512_cvtepu64_pd recio::kernels::emulated::cvtepu64_pd
#define _mm512_cvtpd_ps recio::kernels::emulated::cvtpd_ps
#define _mm512_mask_cvtepi64_storeu_epi32 recio::kernels::emulated::mask_cvtepi64_storeu_epi32
#define _mm256_mask_storeu_ps recio::kernels::emulated::mask_storeu_ps
#define _mm512_mask_storeu_pd recio::kernels::emulated::mask_storeu_pd
#define _mm512_fmadd_pd recio::kernels::emulated::fmadd_pd
#define _mm512_fnmadd_pd recio::kernels::emulated::fnmadd_pd
#define _mm256_fmadd_pd recio::kernels::emulated::fmadd_pd
#define _mm256_fnmadd_pd recio::kernels::emulated::fnmadd_pd
#define _mm512_cmplt_epi64_mask(a, b) simde_mm512_cmpgt_epi64_mask(b, a)
