// A group's destination array and the bounded transfer into it.
#pragma once

#include "recio/field_input.h"

#include <array>
#include <cstdint>

namespace sao {

enum class Element : uint8_t { real4, int4, real8, character, scratch };

struct Destination {
  Element kind;
  void *data;
  int32_t bound; // declared number of elements; unused for scratch
};

template <size_t N> Destination dest(std::array<float, N> &a) {
  return {Element::real4, a.data(), N};
}
template <size_t N> Destination dest(std::array<int32_t, N> &a) {
  return {Element::int4, a.data(), N};
}
template <size_t N> Destination dest(std::array<double, N> &a) {
  return {Element::real8, a.data(), N};
}
template <size_t N> Destination dest(std::array<char, N> &a) {
  return {Element::character, a.data(), N};
}
inline Destination scratch(float &v) { return {Element::scratch, &v, 0}; }

inline size_t element_size(Element kind) {
  return kind == Element::real8 ? 8 : kind == Element::character ? 1 : 4;
}

// The destination from element `done` + 1 on (a scratch one is all one).
inline Destination advanced(const Destination &d, size_t done) {
  if (d.kind == Element::scratch || done == 0) return d;
  return {d.kind, static_cast<char *>(d.data) + done * element_size(d.kind),
          d.bound - static_cast<int32_t>(done)};
}

// Sets elements 1 to the smaller of `count` and the bound back to zero (a
// scratch destination's one variable for any count of at least 1).
void clear_elements(const Destination &d, int32_t count);

// Reads `count` values into `d` within one read statement. Values 1 to the
// declared bound are stored in elements 1 to the bound. Values past the bound
// are read exactly as the ones before them (the same fields and conversions,
// the same statuses, the same position afterwards) and dropped, so a group
// longer than its storage is passed over and the record goes on. A failing
// value ends the statement with its status wherever it stands; no count ends
// the run. A scratch destination receives every value in its one variable.
void read_elements(recio::ReadStatement &read, const Destination &d, int32_t count);

} // namespace sao
