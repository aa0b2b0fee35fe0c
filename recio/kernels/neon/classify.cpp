// The classification at 16 bytes an instruction, four vectors to a word.
#include "recio/kernels/neon/classify.h"
#include "recio/kernels/level_stages.h"

namespace recio::kernels::VORNET_LEVEL(neon) {

void classify(const char *p, size_t n, ClassMasks &m) {
  for (size_t w = 0; w * 64 < n; ++w)
    store_word(m, w, classes_of(vld1q_u8_x4(reinterpret_cast<const uint8_t *>(p + w * 64))));
  clear_tail(m, n);
}

} // namespace recio::kernels::VORNET_LEVEL(neon)
