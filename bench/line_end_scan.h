// The benchmark's floor: read the file through a buffer and find every line
// end, the least any reader of the file must do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace bench {

struct LineScanResult {
  uint64_t bytes = 0;
  uint64_t lines = 0; // a last line without a line feed counts
};

// Throws std::runtime_error when the file cannot be read.
LineScanResult scan_line_ends(const std::string &path, size_t buffer_bytes);

} // namespace bench
