// The powers of ten a double holds exactly. With both operands exact, one
// multiplication or division by one of them rounds correctly, which is what
// the one-field path computes; a field whose scale lies outside them is left
// to that path.
#pragma once

#include <cstdint>

namespace recio::kernels {

inline constexpr int32_t kMaxExactPower = 22;
inline constexpr double kPowersOfTen[kMaxExactPower + 1] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

} // namespace recio::kernels
