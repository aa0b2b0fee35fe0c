// The benchmark's baseline: a plain scalar pass over an SAO file.
//
// It reads the file through a buffer, cuts it into lines, walks each record
// by its data file index and converts every field of every group with
// strtol or strtod on a copy of the field, the way a straightforward reader
// would. It knows the layouts of format version 2 and above only, which is
// what the generator writes; it makes no checks and reports nothing.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

struct BaselineResult {
  uint64_t bytes = 0;
  uint64_t lines = 0;
  uint64_t records = 0; // records whose index passed, so the ones listed
  uint64_t fields = 0;
  double checksum = 0; // the sum of every value, so that no conversion is dead
};

// Throws std::runtime_error when the file cannot be read.
BaselineResult scan_sao_file(const std::string &path);

} // namespace bench
