// The benchmark's own choice of kernel level, linked into vornet_at_level in
// place of the program's (recio/kernels/level_choice.cpp): the level named
// on its command line, so that each level is timed through the whole
// program. The program itself has no such switch.
#include "level_switch.h"

namespace bench {

namespace {

recio::KernelLevel g_level = recio::detect_kernel_level();

} // namespace

void set_kernel_level(recio::KernelLevel level) { g_level = level; }

} // namespace bench

namespace recio {

KernelLevel best_kernel_level() { return bench::g_level; }

} // namespace recio
