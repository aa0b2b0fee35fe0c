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
  c.output_fill = 0;
  c.records.base = c.records.whole_end = 0;
  c.records.last_end = 0;
}

void discard_output(Connection &c) {
  if (c.records.bits) std::memset(c.records.bits.get(), 0, bit_bytes(c.output_fill));
  c.output_fill = 0;
}

void begin_output(Connection &c, host::Offset at) {
  RecordEnds &r = c.records;
  if (!c.output) {
    // At the first write, so that a connection never written (the input)
    // costs nothing; the data is not cleared, the record marks are.
    c.output.reset(new char[kOutputBufferSize]);
    r.bits = std::make_unique<uint8_t[]>(bit_bytes(kOutputBufferSize));
  }
  r.base = r.whole_end = at;
  r.last_end = 0;
  std::memset(r.bits.get(), 0, bit_bytes(c.output_fill));
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

namespace {

// For an appended file the next write lands at the end of the file as it is
// now, which other runs may have moved; what they wrote counts as whole.
// Under the lock no other run moves it: the offsets count from where the
// run's first write landed, which a failed write finds from the file's size.
void settle_base(Connection &c) {
  if (!c.append || !c.seekable || c.locked) return;
  const host::Offset end = host::seek(c.fd, 0, host::From::end);
  if (end >= 0 && end != c.records.base) c.records.base = c.records.whole_end = end;
}

// After a failed write to a locked appended file of which `written` bytes
// reached it: its end is theirs, so the offsets are moved to where they are.
void settle_base_after(Connection &c, size_t written) {
  if (!c.append || !c.seekable || !c.locked) return;
  host::Offset size = 0;
  if (!host::size_of(c.fd, size)) return;
  const host::Offset shift = size - (c.records.base + static_cast<host::Offset>(written));
  c.records.base += shift;
  c.records.whole_end += shift;
}

// After a write of which only `written` bytes reached the file: back to the
// end of the last whole record in it. When the cut fails too there is nothing
// more to do; the failure is reported all the same.
void cut_back(Connection &c, size_t written) {
  RecordEnds &r = c.records;
  const size_t end = last_end_within(r, written);
  if (end > 0) r.whole_end = r.base + static_cast<host::Offset>(end);
  bool only_ours = c.seekable;
  if (only_ours && c.append && !c.locked) {
    // Without the lock another run may have appended after these bytes: then
    // the unfinished record stays rather than the other run's lines going.
    host::Offset size = 0;
    only_ours = host::size_of(c.fd, size) && size == r.base + static_cast<host::Offset>(written);
  }
  if (only_ours && host::cut(c.fd, r.whole_end) && !c.append)
    (void)host::seek(c.fd, r.whole_end, host::From::start);
  r.base = r.whole_end;
}

// Writes the first `n` held bytes and keeps the rest, which holds no record
// end, at the front of the buffer.
bool flush_held(Connection &c, size_t n) {
  RecordEnds &r = c.records;
  // The lock is taken when the run's first bytes must reach the file, not
  // at its first record: a run that waits for a console reply holds no lock.
  if (c.append) lock_for_appending(c);
  settle_base(c);
  size_t written = 0;
  const bool ok = write_counted(c.fd, c.output.get(), n, written);
  if (ok) {
    if (r.last_end > 0) r.whole_end = r.base + static_cast<host::Offset>(r.last_end);
    r.base += static_cast<host::Offset>(written);
  } else {
    settle_base_after(c, written);
    cut_back(c, written);
    n = c.output_fill; // the failed statement's output goes with it
  }
  std::memset(r.bits.get(), 0, bit_bytes(n));
  r.last_end = 0;
  c.output_fill -= n;
  std::memmove(c.output.get(), c.output.get() + n, c.output_fill);
  return ok;
}

} // namespace

bool flush_output(Connection &c) { return flush_held(c, c.output_fill); }

bool flush_whole_records(Connection &c) {
  const size_t whole = c.records.last_end;
  return flush_held(c, whole > 0 ? whole : c.output_fill);
}

void lock_for_appending(Connection &c) {
  // Where the file system has no locks, appending alone keeps lines whole.
  if (!c.locked) c.locked = host::lock(c.fd);
}

} // namespace recio
