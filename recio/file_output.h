// The held output of a file connection: where its whole records end, and the
// host write that hands it to the file. After a failed write the file is cut
// back to the end of the last whole record in it, so a file that is appended
// to never keeps the first part of a record. A file connected for appending
// is locked from the first write to the file to the end of the run.
#pragma once

#include "recio/host/host.h"

#include <cstddef>

namespace recio {

struct Connection;

// Readies a file connection for output, with nothing held; once per
// connection.
void attach_output(Connection &c);

// Drops held output without writing it, keeping the buffer for the next
// connection: for a connection released without its closing.
void discard_output(Connection &c);

// Output starts at file offset `at`, after everything the file holds there:
// that content counts as whole. Gives the connection its output buffer and
// record marks at its first output.
void begin_output(Connection &c, host::Offset at);

// The record that ends with the last held byte is complete.
void mark_record_end(Connection &c);

// Writes the held records that are whole and keeps an unfinished one, so
// that a file appended to by several runs at once never has a line of one run
// broken by another's; for a full buffer.
bool flush_whole_records(Connection &c);

// Takes an exclusive lock on a file connected for appending, held until the
// file is closed at the end of the run, so that the lines of one run stay
// together; waits while another run holds it. Taken when held output first
// goes to the file. Where the file system has no
// locks the run goes on without one.
void lock_for_appending(Connection &c);

// The host's write as the file output calls it: bytes written, or -1 with
// errno set. Replaceable so that a test can make writes fail part way.
using HostWrite = host::ByteCount (*)(host::Handle fd, const void *data, size_t size);
// Installs `write` (null for the host's own) and returns the one it replaces.
HostWrite set_host_write(HostWrite write);

// Writes held output of a file connection; false when the host refuses. A
// failed write first cuts the file back to the end of its last whole record.
bool flush_output(Connection &c);

} // namespace recio
