// A mantissa of at most seven digits divided by 10^k (k from 1 to 7),
// correctly rounded, without a division: q0 = m * RN(10^-k) is within an ulp,
// the remainder m - q0 * 10^k is exact in one fused multiply-add, and one more
// corrects q0 to the correctly rounded quotient. The vector lanes run this
// same template on their registers; the tests check it for every such m and k
// against the division itself, bit for bit.
#pragma once

#include "recio/kernels/powers_of_ten.h"

#include <cmath>

namespace recio::kernels {

inline constexpr int kMaxQuotientDigits = 7;
inline constexpr double kTenths[kMaxQuotientDigits + 1] = {1e0,  1e-1, 1e-2, 1e-3,
                                                           1e-4, 1e-5, 1e-6, 1e-7};

// `Ops` gives, on scalars or vectors of doubles, each rounded once:
// mul(a, b) = a * b, fma(a, b, c) = a * b + c, fnma(a, b, c) = c - a * b.
// Static, as every function the level folders share: those are compiled
// with their own instruction sets, and one copy must never stand in for
// another at link time.
template <class Ops, class V> static inline V quotient_by_power_of_ten(V m, V ten, V tenth) {
  const V q0 = Ops::mul(m, tenth);
  const V remainder = Ops::fnma(q0, ten, m);
  return Ops::fma(remainder, tenth, q0);
}

struct ScalarQuotientOps {
  static double mul(double a, double b) { return a * b; }
  static double fma(double a, double b, double c) { return std::fma(a, b, c); }
  static double fnma(double a, double b, double c) { return std::fma(-a, b, c); }
};

// The scalar form, for the tests.
static inline double quotient_by_power_of_ten(double m, int k) {
  return quotient_by_power_of_ten<ScalarQuotientOps>(m, kPowersOfTen[k], kTenths[k]);
}

} // namespace recio::kernels
