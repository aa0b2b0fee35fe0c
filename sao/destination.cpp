#include "sao/destination.h"

#include <algorithm>
#include <cstring>

namespace sao {

namespace {

// Reads `n` values of `kind` through the statement's next fields and drops
// them: each goes to one scratch variable of the element's own kind, so the
// fields, the conversions and the statuses are those of a stored read.
void drop_elements(recio::ReadStatement &read, Element kind, size_t n) {
  switch (kind) {
  case Element::real4: {
    float value;
    read.items_into_one(value, n);
    break;
  }
  case Element::real8: {
    double value;
    read.items_into_one(value, n);
    break;
  }
  case Element::int4: {
    int32_t value;
    for (size_t i = 0; i < n && read.ok(); ++i) read.item(value);
    break;
  }
  default: {
    char value;
    for (size_t i = 0; i < n && read.ok(); ++i) read.item(&value, 1);
    break;
  }
  }
}

} // namespace

void clear_elements(const Destination &d, int32_t count) {
  if (count < 1) return;
  const int32_t n = d.kind == Element::scratch ? 1 : std::min(count, d.bound);
  std::memset(d.data, 0, static_cast<size_t>(n) * element_size(d.kind));
}

void read_elements(recio::ReadStatement &read, const Destination &d, int32_t count) {
  if (count < 1) return;
  if (d.kind == Element::scratch) {
    read.items_into_one(*static_cast<float *>(d.data), static_cast<size_t>(count));
    return;
  }
  const int32_t stored = std::min(count, d.bound);
  const size_t n = static_cast<size_t>(stored);
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
  if (count > stored && read.ok()) drop_elements(read, d.kind, static_cast<size_t>(count - stored));
}

} // namespace sao
