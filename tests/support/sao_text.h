// Lines of SAO input as the tests build them: the data file index and runs of
// fixed-width fields.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace testing_support {

using Dfi = std::array<int32_t, 81>; // DFI(1..80); [0] unused

// The two lines of a data file index: 40 I3 fields each.
inline std::string index_lines(const Dfi &dfi) {
  std::string s;
  char field[8];
  for (int k = 1; k <= 80; ++k) {
    std::snprintf(field, sizeof field, "%3d", dfi[static_cast<size_t>(k)]);
    s += field;
    if (k % 40 == 0) s += '\n';
  }
  return s;
}

// `count` fields, `per_line` to a line, the field for element i (from 1)
// given by `field`. The last line ends at its last field.
template <class Field> std::string field_lines(int count, int per_line, Field &&field) {
  std::string s;
  for (int i = 1; i <= count; ++i) {
    s += field(i);
    if (i % per_line == 0 || i == count) s += '\n';
  }
  return s;
}

} // namespace testing_support
