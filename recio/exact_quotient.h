// A mantissa of at most seven digits divided by 10^k (k from 1 to 7),
// correctly rounded, without a division: q0 = m * RN(10^-k) is within an ulp,
// the remainder m - q0 * 10^k is exact in one fused multiply-add, and one more
// corrects q0 to the correctly rounded quotient. The tests check every such
// m and k against the division itself, bit for bit.
#pragma once

namespace recio::kernels {

inline constexpr int kMaxQuotientDigits = 7;
inline constexpr double kTens[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7};
inline constexpr double kTenths[] = {1e0, 1e-1, 1e-2, 1e-3, 1e-4, 1e-5, 1e-6, 1e-7};

// The scalar form of the lanes' computation; needs a processor with FMA.
__attribute__((target("fma"))) inline double quotient_by_power_of_ten(double m, int k) {
  const double q0 = m * kTenths[k];
  const double remainder = __builtin_fma(-q0, kTens[k], m);
  return __builtin_fma(remainder, kTenths[k], q0);
}

} // namespace recio::kernels
