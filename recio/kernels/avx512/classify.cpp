// The classification at 64 bytes an instruction. This file and the other
// x86 level sources are compiled with their instruction set's flags; nothing
// they share with other files has external linkage.
#include "recio/kernels/avx512/classify.h"
#include "recio/kernels/level_stages.h"

namespace recio::kernels::VORNET_LEVEL(avx512) {

void classify(const char *p, size_t n, ClassMasks &m) {
  for (size_t w = 0; w * 64 < n; ++w) store_word(m, w, classes_of(_mm512_loadu_si512(p + w * 64)));
  clear_tail(m, n);
}

} // namespace recio::kernels::VORNET_LEVEL(avx512)
