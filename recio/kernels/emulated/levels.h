// The vector levels of another machine, built a second time against
// portable definitions of their intrinsics (SIMDe): on x86-64 the AVX2,
// AVX-512 and NEON levels, so that tests and fuzz targets run their
// algorithms on any machine, bit for bit against the one-field path. Never
// in the program.
#pragma once

#include "recio/kernels/field_kernels.h"
#include "recio/kernels/level_stages.h"

namespace recio::kernels {

// The emulated stages of `level`, or null where this build has none.
const LevelStages *emulated_stages(KernelLevel level);

} // namespace recio::kernels
