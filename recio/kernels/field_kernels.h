// Kernels over a run of numeric fields of one edit descriptor that lies in the
// input buffer. Each kernel checks the canonical form of its fields and
// converts them, and stops at the first field that is not canonical; the
// caller reads that field through the one-field path, which defines the
// result. A kernel gives bit for bit the values the one-field path gives.
//
// Canonical forms, for a field of width w:
//   Iw      blanks, an optional sign, digits (at least one character is a digit
//           or the field is all blanks)
//   Fw.d    blanks, an optional sign, digits, a point, digits
//   Ew.d    the same, then E, a sign and exponent digits, right-aligned
// Nothing else: no inner blanks, tabs, commas, line ends, Ctrl-Z, lowercase
// or D exponents. A kernel may load up to kKernelPadding bytes past the run;
// the input buffer keeps that many readable bytes after its data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace recio {

// The instruction sets the kernels are written for. The x86 levels exist on
// x86-64 only; on aarch64 the NEON level is the baseline.
enum class KernelLevel : uint8_t { portable, avx2, avx512, neon };

inline constexpr size_t kKernelPadding = 64;

// The best level this processor runs, from its features.
KernelLevel detect_kernel_level();
// The level the program uses: the detected one, found once (level_choice.cpp;
// the benchmark links a choice of its own in its place).
KernelLevel best_kernel_level();
// Whether this build has the level and this processor runs it.
bool kernel_level_supported(KernelLevel level);
const char *kernel_level_name(KernelLevel level);

// Each returns how many of the `count` fields at `p` it converted.
size_t convert_int_run(KernelLevel level, const char *p, size_t count, int32_t width,
                       int32_t *out);
size_t convert_real_run(KernelLevel level, const char *p, size_t count, int32_t width,
                        int32_t digits, float *out, ptrdiff_t stride);
size_t convert_real_run(KernelLevel level, const char *p, size_t count, int32_t width,
                        int32_t digits, double *out, ptrdiff_t stride);

} // namespace recio
