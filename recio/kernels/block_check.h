// The check of a classified block of fields against its plan.
#pragma once

#include "recio/kernels/byte_classes.h"
#include "recio/kernels/layout_plan.h"

#include <cstddef>

namespace recio::kernels {

// How many of the first `n` fields of a block match the plan's layout.
size_t check_block(const LayoutPlan &plan, const ClassMasks &m, size_t n);

} // namespace recio::kernels
