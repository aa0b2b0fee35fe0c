// The kernel level of the benchmark's build of the program (vornet_at_level).
#pragma once

#include "recio/kernels/field_kernels.h"

namespace bench {

// Sets the level best_kernel_level() gives; before the program starts.
void set_kernel_level(recio::KernelLevel level);

} // namespace bench
