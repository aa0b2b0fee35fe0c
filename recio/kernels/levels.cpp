// The levels this build has and the one this processor runs best, found
// once. On x86-64 that is a run-time choice among the portable, AVX2 and
// AVX-512 levels; on aarch64 NEON is always there.
#include "recio/kernels/run_loop.h"

#if defined(__x86_64__)
#if defined(__GLIBC__) && __has_include(<sys/platform/x86.h>)
// The header is written for C; g++ takes its _Bool, clang's C++ does not.
#if defined(__clang__)
#define _Bool bool
#include <sys/platform/x86.h>
#undef _Bool
#else
#include <sys/platform/x86.h>
#endif
#else
#include <cpuid.h>
#endif
#endif

namespace recio {

namespace {

using kernels::LevelStages;

constexpr LevelStages kPortable{"portable", kernels::portable::classify, {}};
#if defined(__x86_64__)
constexpr LevelStages kAvx2{"avx2",
                            kernels::avx2::classify,
                            {kernels::avx2::takes, kernels::kAvx2ChecksGroupsFrom,
                             kernels::avx2::convert_lanes, kernels::avx2::convert_lanes,
                             kernels::avx2::convert_lanes}};
constexpr LevelStages kAvx512{"avx512",
                              kernels::avx512::classify,
                              {nullptr, kernels::kAvx512ChecksGroupsFrom,
                               kernels::avx512::convert_lanes, kernels::avx512::convert_lanes,
                               kernels::avx512::convert_lanes}};
#elif defined(__aarch64__)
constexpr LevelStages kNeon{"neon",
                            kernels::neon::classify,
                            {nullptr, 0, kernels::neon::convert_lanes, kernels::neon::convert_lanes,
                             kernels::neon::convert_lanes}};
#endif

#if defined(__x86_64__)

// What the kernel levels need of an x86-64 processor and its system: each
// feature usable, the system saving the vector registers it uses.
struct X86Features {
  bool avx2 = false, bmi2 = false, fma = false;
  bool avx512f = false, avx512bw = false, avx512vl = false, avx512dq = false,
       avx512vbmi = false;
};

#if defined(__GLIBC__) && __has_include(<sys/platform/x86.h>)
// The C library asked the processor at start-up. Asking again costs much on
// a virtual machine, where every CPUID instruction leaves the guest (tens of
// microseconds a run), and so would the compiler's own detection.
// The table is there whether or not a dynamic loader ran: in a dynamically
// linked program the loader fills it, in a statically linked one (the
// release archives') the C library's own start-up code fills the same table,
// from the same processor and the same GLIBC_TUNABLES masks, before any
// constructor, since the library picks its own string functions by it. So
// both programs choose the same level.
X86Features x86_features() {
  X86Features f;
  f.avx2 = CPU_FEATURE_ACTIVE(AVX2);
  f.bmi2 = CPU_FEATURE_ACTIVE(BMI2);
  f.fma = CPU_FEATURE_ACTIVE(FMA);
  f.avx512f = CPU_FEATURE_ACTIVE(AVX512F);
  f.avx512bw = CPU_FEATURE_ACTIVE(AVX512BW);
  f.avx512vl = CPU_FEATURE_ACTIVE(AVX512VL);
  f.avx512dq = CPU_FEATURE_ACTIVE(AVX512DQ);
  f.avx512vbmi = CPU_FEATURE_ACTIVE(AVX512_VBMI);
  return f;
}
#else
// Two CPUID leaves and the system's register state.
X86Features x86_features() {
  X86Features f;
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & (1u << 27))) return f; // no OSXSAVE
  const bool fma = c & (1u << 12);
  unsigned xcr0 = 0, xcr0_high = 0;
  __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0_high) : "c"(0));
  const bool ymm = (xcr0 & 0x06) == 0x06, zmm = (xcr0 & 0xe6) == 0xe6;
  if (!ymm || !__get_cpuid_count(7, 0, &a, &b, &c, &d)) return f;
  f.fma = fma;
  f.avx2 = b & (1u << 5);
  f.bmi2 = b & (1u << 8);
  if (zmm) {
    f.avx512f = b & (1u << 16);
    f.avx512dq = b & (1u << 17);
    f.avx512bw = b & (1u << 30);
    f.avx512vl = b & (1u << 31);
    f.avx512vbmi = c & (1u << 1);
  }
  return f;
}
#endif

#endif

} // namespace

KernelLevel detect_kernel_level() {
#if defined(__x86_64__)
  const X86Features f = x86_features();
  if (f.avx512f && f.avx512bw && f.avx512vl && f.avx512dq && f.avx512vbmi)
    return KernelLevel::avx512;
  if (f.avx2 && f.bmi2 && f.fma) return KernelLevel::avx2;
  return KernelLevel::portable;
#elif defined(__aarch64__)
  return KernelLevel::neon;
#else
  return KernelLevel::portable;
#endif
}

bool kernel_level_supported(KernelLevel level) {
  switch (level) {
  case KernelLevel::portable:
    return true;
#if defined(__x86_64__)
  case KernelLevel::avx2:
  case KernelLevel::avx512: {
    // The AVX-512 processors run AVX2 too.
    static const KernelLevel best = detect_kernel_level();
    return level == KernelLevel::avx2 ? best != KernelLevel::portable : best == KernelLevel::avx512;
  }
#elif defined(__aarch64__)
  case KernelLevel::neon:
    return true;
#endif
  default:
    return false;
  }
}

const char *kernel_level_name(KernelLevel level) {
  switch (level) {
  case KernelLevel::avx512:
    return "avx512";
  case KernelLevel::avx2:
    return "avx2";
  case KernelLevel::neon:
    return "neon";
  default:
    return "portable";
  }
}

namespace kernels {

const LevelStages &stages_of(KernelLevel level) {
  switch (level) {
#if defined(__x86_64__)
  case KernelLevel::avx2:
    return kAvx2;
  case KernelLevel::avx512:
    return kAvx512;
#elif defined(__aarch64__)
  case KernelLevel::neon:
    return kNeon;
#endif
  default:
    return kPortable;
  }
}

} // namespace kernels

} // namespace recio
