#include "recio/kernels/emulated/levels.h"

namespace recio::kernels {

#ifdef VORNET_KERNELS_EMULATED

namespace {

constexpr LevelStages kAvx2{
    "avx2",
    avx2_emulated::classify,
    {avx2_emulated::takes, kAvx2ChecksGroupsFrom, avx2_emulated::convert_lanes,
     avx2_emulated::convert_lanes, avx2_emulated::convert_lanes}};
constexpr LevelStages kAvx512{
    "avx512",
    avx512_emulated::classify,
    {nullptr, kAvx512ChecksGroupsFrom, avx512_emulated::convert_lanes,
     avx512_emulated::convert_lanes, avx512_emulated::convert_lanes}};

#ifdef VORNET_NEON_EMULATED
constexpr LevelStages kNeon{
    "neon",
    neon_emulated::classify,
    {nullptr, 0, neon_emulated::convert_lanes, neon_emulated::convert_lanes,
     neon_emulated::convert_lanes}};
#endif

} // namespace

const LevelStages *emulated_stages(KernelLevel level) {
  switch (level) {
  case KernelLevel::avx2:
    return &kAvx2;
  case KernelLevel::avx512:
    return &kAvx512;
#ifdef VORNET_NEON_EMULATED
  case KernelLevel::neon:
    return &kNeon;
#endif
  default:
    return nullptr;
  }
}

#else

// Built without SIMDe, or for a target other than x86-64.
const LevelStages *emulated_stages(KernelLevel) { return nullptr; }

#endif

} // namespace recio::kernels
