// The levels this build has and the one this processor runs best, found
// once. On x86-64 that is a run-time choice among the portable, AVX2 and
// AVX-512 levels; on aarch64 NEON is always there.
#include "recio/kernels/run_loop.h"

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

} // namespace

KernelLevel detect_kernel_level() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("avx512vbmi"))
    return KernelLevel::avx512;
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") &&
      __builtin_cpu_supports("fma"))
    return KernelLevel::avx2;
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
