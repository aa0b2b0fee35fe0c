// The level found for this processor is the one the compiler's own feature
// tests would choose.
#include "recio/kernels/field_kernels.h"

#include <gtest/gtest.h>

namespace {

TEST(KernelLevelDetection, AgreesWithTheCompilersFeatureTests) {
#if defined(__x86_64__)
  __builtin_cpu_init();
  using recio::KernelLevel;
  KernelLevel expected = KernelLevel::portable;
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("avx512vbmi"))
    expected = KernelLevel::avx512;
  else if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("fma"))
    expected = KernelLevel::avx2;
  EXPECT_EQ(recio::detect_kernel_level(), expected);
#else
  GTEST_SKIP() << "one level on this processor";
#endif
}

} // namespace
