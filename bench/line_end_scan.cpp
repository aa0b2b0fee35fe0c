#include "line_end_scan.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

namespace {

constexpr size_t kHugePage = 2u << 20;

// Counts the line feeds of one stretch; `open_line` says whether its last
// byte is not one.
void count_lines(const char *p, size_t n, LineScanResult &r, bool &open_line) {
  const char *end = p + n;
  r.bytes += n;
  while (const void *nl = std::memchr(p, '\n', static_cast<size_t>(end - p))) {
    ++r.lines;
    p = static_cast<const char *>(nl) + 1;
  }
  open_line = p < end;
}

int open_or_throw(const std::string &path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  return fd;
}

LineScanResult read_through(const std::string &path, char *buffer, size_t buffer_bytes) {
  const int fd = open_or_throw(path);
  LineScanResult r;
  bool open_line = false;
  for (;;) {
    const ssize_t got = ::read(fd, buffer, buffer_bytes);
    if (got < 0) {
      ::close(fd);
      throw std::runtime_error("cannot read " + path);
    }
    if (got == 0) break;
    count_lines(buffer, static_cast<size_t>(got), r, open_line);
  }
  ::close(fd);
  if (open_line) ++r.lines;
  return r;
}

// Whether the mapping that holds `p` has anonymous huge pages.
bool on_huge_page(const void *p) {
  std::ifstream smaps("/proc/self/smaps");
  const auto at = reinterpret_cast<uintptr_t>(p);
  bool inside = false;
  std::string line;
  while (std::getline(smaps, line)) {
    unsigned long long from = 0, to = 0;
    if (std::sscanf(line.c_str(), "%llx-%llx ", &from, &to) == 2) {
      inside = at >= from && at < to;
    } else if (inside && line.rfind("AnonHugePages:", 0) == 0) {
      return std::strtoull(line.c_str() + 14, nullptr, 10) > 0;
    }
  }
  return false;
}

} // namespace

LineScanResult scan_line_ends(const std::string &path, size_t buffer_bytes) {
  const std::unique_ptr<char[]> buffer(new char[buffer_bytes]);
  return read_through(path, buffer.get(), buffer_bytes);
}

LineScanResult scan_line_ends_huge_page(const std::string &path, bool *granted) {
  // Twice the size, so that an aligned huge page lies inside.
  void *raw =
      ::mmap(nullptr, 2 * kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::runtime_error("cannot map a buffer");
  const auto aligned = (reinterpret_cast<uintptr_t>(raw) + kHugePage - 1) & ~(kHugePage - 1);
  char *buffer = reinterpret_cast<char *>(aligned);
  (void)::madvise(buffer, kHugePage, MADV_HUGEPAGE); // refused quietly where there are none
  try {
    const LineScanResult r = read_through(path, buffer, kHugePage);
    if (granted) *granted = on_huge_page(buffer);
    ::munmap(raw, 2 * kHugePage);
    return r;
  } catch (...) {
    ::munmap(raw, 2 * kHugePage);
    throw;
  }
}

LineScanResult scan_line_ends_mapped(const std::string &path, size_t window_bytes) {
  const int fd = open_or_throw(path);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot stat " + path);
  }
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  LineScanResult r;
  bool open_line = false;
  for (uint64_t at = 0; at < size; at += window_bytes) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(window_bytes, size - at));
    void *p = ::mmap(nullptr, n, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(at));
    if (p == MAP_FAILED) {
      ::close(fd);
      throw std::runtime_error("cannot map " + path);
    }
    count_lines(static_cast<const char *>(p), n, r, open_line);
    ::munmap(p, n);
  }
  ::close(fd);
  if (open_line) ++r.lines;
  return r;
}

} // namespace bench
