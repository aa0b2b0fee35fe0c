// The level the program runs its kernels at. Alone in its file so that the
// benchmark can link its own choice in its place, and time each level
// through the whole program, without the program having a switch for it.
#include "recio/kernels/field_kernels.h"

namespace recio {

KernelLevel best_kernel_level() {
  static const KernelLevel level = detect_kernel_level();
  return level;
}

} // namespace recio
