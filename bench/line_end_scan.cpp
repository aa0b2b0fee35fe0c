#include "line_end_scan.h"

#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace bench {

LineScanResult scan_line_ends(const std::string &path, size_t buffer_bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  const std::unique_ptr<char[]> buffer(new char[buffer_bytes]);
  LineScanResult r;
  bool open_line = false; // the last byte read was not a line feed
  for (;;) {
    const ssize_t got = ::read(fd, buffer.get(), buffer_bytes);
    if (got < 0) {
      ::close(fd);
      throw std::runtime_error("cannot read " + path);
    }
    if (got == 0) break;
    r.bytes += static_cast<uint64_t>(got);
    const char *p = buffer.get();
    const char *end = p + got;
    while (const void *nl = std::memchr(p, '\n', static_cast<size_t>(end - p))) {
      ++r.lines;
      p = static_cast<const char *>(nl) + 1;
    }
    open_line = p < end;
  }
  ::close(fd);
  if (open_line) ++r.lines;
  return r;
}

} // namespace bench
