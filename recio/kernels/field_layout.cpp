#include "recio/kernels/field_layout.h"

#include <cstring>

namespace recio::kernels {

bool layout_of(const char *p, int32_t width, bool real, FieldLayout &layout) {
  if (width < 1 || width > kMaxKernelWidth) return false;
  layout = FieldLayout{width, width, width, real};
  if (!real) return width <= 8;
  const void *dot = std::memchr(p, '.', static_cast<size_t>(width));
  if (!dot) return false;
  layout.point = static_cast<int32_t>(static_cast<const char *>(dot) - p);
  const void *e = std::memchr(p + layout.point, 'E', static_cast<size_t>(width - layout.point));
  if (e) {
    layout.exponent = static_cast<int32_t>(static_cast<const char *>(e) - p);
    const int32_t digits = width - layout.exponent - 2;
    if (digits < 1 || digits > 3) return false;
  }
  // The mantissa fits two words, and its prefix (where a sign may stand) the first.
  if (layout.exponent > kMaxMantissaColumns) return false;
  if (layout.exponent > 8 && layout.point > layout.exponent - 8) return false;
  return true;
}

} // namespace recio::kernels
