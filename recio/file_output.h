// The held output of a file connection: where its whole records end, and the
// host write that hands it to the file. After a failed write the file is cut
// back to the end of the last whole record in it, so a file that is appended
// to never keeps the first part of a record.
#pragma once

#include "recio/host/host.h"

#include <cstddef>

namespace recio {

struct Connection;

// Gives a file connection its output buffer and its record marks; once per
// connection.
void attach_output(Connection &c);

// Output starts at file offset `at`, after everything the file holds there:
// that content counts as whole.
void begin_output(Connection &c, host::Offset at);

// The record that ends with the last held byte is complete.
void mark_record_end(Connection &c);

// The host's write as the file output calls it: bytes written, or -1 with
// errno set. Replaceable so that a test can make writes fail part way.
using HostWrite = host::ByteCount (*)(host::Handle fd, const void *data, size_t size);
// Installs `write` (null for the host's own) and returns the one it replaces.
HostWrite set_host_write(HostWrite write);

// Writes held output of a file connection; false when the host refuses. A
// failed write first cuts the file back to the end of its last whole record.
bool flush_output(Connection &c);

} // namespace recio
