#include "sao/destination.h"

#include "recio/run_errors.h"

#include <algorithm>

namespace sao {

void read_elements(recio::ReadStatement &read, const Destination &d, int32_t count) {
  if (count < 1) return;
  if (d.kind == Element::scratch) {
    read.items_into_one(*static_cast<float *>(d.data), static_cast<size_t>(count));
    return;
  }
  const size_t n = static_cast<size_t>(std::min(count, d.bound));
  switch (d.kind) {
  case Element::real4:
    read.items(static_cast<float *>(d.data), n);
    break;
  case Element::int4:
    read.items(static_cast<int32_t *>(d.data), n);
    break;
  case Element::real8:
    read.items(static_cast<double *>(d.data), n);
    break;
  default:
    read.texts(static_cast<char *>(d.data), 1, n);
    break;
  }
  if (read.ok() && count > d.bound) recio::raise_subscript_error();
}

} // namespace sao
