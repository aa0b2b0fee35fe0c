// The run conversions of field_kernels.h over a table of stages, for the
// face and for tests that run the emulated levels.
#pragma once

#include "recio/kernels/field_kernels.h"
#include "recio/kernels/level_stages.h"

#include <cstddef>
#include <cstdint>

namespace recio::kernels {

// The stages of a level this build has; the portable ones for any other.
const LevelStages &stages_of(KernelLevel level);

size_t convert_int_run(const LevelStages &level, const char *p, size_t count, int32_t width,
                       int32_t *out);
size_t convert_real_run(const LevelStages &level, const char *p, size_t count, int32_t width,
                        float *out, ptrdiff_t stride);
size_t convert_real_run(const LevelStages &level, const char *p, size_t count, int32_t width,
                        double *out, ptrdiff_t stride);

} // namespace recio::kernels
