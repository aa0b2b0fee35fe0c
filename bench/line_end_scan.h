// The benchmark's floors: get the file's bytes into the process and find
// every line end, the least any reader of the file must do, in each of the
// ways a reader can get them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace bench {

struct LineScanResult {
  uint64_t bytes = 0;
  uint64_t lines = 0; // a last line without a line feed counts
};

// Each throws std::runtime_error when the file cannot be read.

// read() through a buffer of `buffer_bytes` on ordinary pages.
LineScanResult scan_line_ends(const std::string &path, size_t buffer_bytes);

// read() through a buffer of 2 MiB on one huge page where the system grants
// it (madvise), ordinary pages where it does not; `granted` tells which.
LineScanResult scan_line_ends_huge_page(const std::string &path, bool *granted = nullptr);

// Views of the file (mmap), `window_bytes` at a time, each released before
// the next is mapped.
LineScanResult scan_line_ends_mapped(const std::string &path, size_t window_bytes);

} // namespace bench
