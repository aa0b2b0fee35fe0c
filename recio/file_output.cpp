#include "recio/file_output.h"

#include "recio/connection.h"

#include <cerrno>
#include <cstring>

namespace recio {

namespace {

HostWrite g_host_write = host::write;

// Writes `size` bytes; `written` receives how many reached the file, also
// when the host refuses the rest.
bool write_counted(host::Handle fd, const char *data, size_t size, size_t &written) {
  written = 0;
  while (written < size) {
    const host::ByteCount n = g_host_write(fd, data + written, size - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      return false;
    }
  }
  return true;
}

constexpr size_t bit_bytes(size_t held) { return (held + 7) / 8; }

// Held bytes through the last record end within the first `n`; 0 for none.
size_t last_end_within(const RecordEnds &r, size_t n) {
  if (n >= r.last_end) return r.last_end;
  for (size_t i = n; i-- > 0;) {
    const uint8_t byte = r.bits[i / 8];
    if (byte == 0) {
      i -= i % 8; // the rest of this byte holds no mark either
      continue;
    }
    if (byte & (1u << (i % 8))) return i + 1;
  }
  return 0;
}

} // namespace

void attach_output(Connection &c) {
  c.output = std::make_unique<char[]>(kOutputBufferSize);
  c.output_fill = 0;
  c.records.bits = std::make_unique<uint8_t[]>(bit_bytes(kOutputBufferSize));
  begin_output(c, 0);
}

void begin_output(Connection &c, host::Offset at) {
  RecordEnds &r = c.records;
  r.base = r.whole_end = at;
  r.last_end = 0;
  if (r.bits) std::memset(r.bits.get(), 0, bit_bytes(c.output_fill));
}

void mark_record_end(Connection &c) {
  RecordEnds &r = c.records;
  const size_t end = c.output_fill; // at least the line end just put
  r.bits[(end - 1) / 8] |= static_cast<uint8_t>(1u << ((end - 1) % 8));
  r.last_end = end;
}

HostWrite set_host_write(HostWrite write) {
  const HostWrite old = g_host_write;
  g_host_write = write ? write : host::write;
  return old;
}

bool flush_output(Connection &c) {
  RecordEnds &r = c.records;
  size_t written = 0;
  const bool ok = write_counted(c.fd, c.output.get(), c.output_fill, written);
  if (ok) {
    if (r.last_end > 0) r.whole_end = r.base + static_cast<host::Offset>(r.last_end);
    r.base += static_cast<host::Offset>(written);
  } else {
    // Back to the end of the last whole record written. When the cut fails
    // too there is nothing more to do; the failure is reported all the same.
    const size_t end = last_end_within(r, written);
    if (end > 0) r.whole_end = r.base + static_cast<host::Offset>(end);
    if (c.seekable && host::cut(c.fd, r.whole_end))
      (void)host::seek(c.fd, r.whole_end, host::From::start);
    r.base = r.whole_end;
  }
  std::memset(r.bits.get(), 0, bit_bytes(c.output_fill));
  r.last_end = 0;
  c.output_fill = 0;
  return ok;
}

} // namespace recio
