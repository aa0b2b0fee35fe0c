#include "recio/field_kernels.h"

namespace recio {

KernelLevel best_kernel_level() {
  static const KernelLevel level = [] {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512vbmi"))
      return KernelLevel::avx512;
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2")) return KernelLevel::avx2;
    return KernelLevel::portable;
  }();
  return level;
}

bool kernel_level_supported(KernelLevel level) {
  return static_cast<int>(level) <= static_cast<int>(best_kernel_level());
}

const char *kernel_level_name(KernelLevel level) {
  switch (level) {
  case KernelLevel::avx512:
    return "avx512";
  case KernelLevel::avx2:
    return "avx2";
  default:
    return "portable";
  }
}

} // namespace recio
