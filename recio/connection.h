// A unit's connection: its host handle, its input cursor and its output
// buffer. Internal to the record services.
#pragma once

#include "recio/host/host.h"
#include "recio/record_ends.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace recio {

class ReplayStore;

// Reads a host handle through a buffer. Lines of any length pass in constant
// memory: the buffer is refilled only once it is fully consumed. When the
// file ends after a last line without a line feed, one line feed is
// supplied, so that line is a record like any other.
//
// Every byte comes from a read of the handle, also for a large file: a
// read is never the slow way to get a file's bytes, where a view of the file
// costs four times as much on a host that keeps shadow page tables, and what
// a read gives is the file as it was at that moment, whole lines and nothing
// the file never held, also when another process cuts it meanwhile.
class InputCursor {
public:
  static constexpr int kEnd = -1;       // the file is over, at the start of a record
  static constexpr int kHostError = -2; // the host reported a read failure

  InputCursor();
  ~InputCursor();
  InputCursor(InputCursor &&) noexcept;
  InputCursor &operator=(InputCursor &&) noexcept;

  void attach(host::Handle fd, size_t capacity);
  // The file's size when it was opened: until the next reset() (a rewind that
  // reads the file again from the handle), reads stop there, and the end is
  // met without asking the host once more for what it already told. A file
  // that grows meanwhile is read as it was.
  void set_known_size(host::Offset size) { known_size_ = size; }
  // Forgets buffered data: the next byte comes from the handle, which stands
  // at byte `position` of the file.
  void reset(host::Offset position = 0);
  // The handle is being closed.
  void close() { reset(); }

  // For a handle that cannot seek: keeps what is read from now on, so that
  // start_replay() can start the input over once.
  void keep_for_replay();
  // Starts over with the first byte kept, as a rewind of a file would; false
  // when nothing was kept for it.
  bool start_replay();
  // Starts over at the first byte of a file without reading it again, when
  // the buffer still holds every byte read from the handle, from the first:
  // a small file is read once for the pre-scan and the listing. Reads after
  // the buffered bytes go on from there, and an end already met stays met.
  // False otherwise.
  bool rewind_within_buffer();

  // The next byte (0 to 255), kEnd or kHostError, without taking it.
  int peek() {
    if (pos_ < fill_) return static_cast<unsigned char>(bytes_[pos_]);
    return refill();
  }
  void advance() { ++pos_; }

  // Buffered bytes from the current position on.
  const char *data() const { return bytes_ + pos_; }
  size_t available() const { return fill_ - pos_; }
  void advance(size_t n) { pos_ += n; }

  // Skips through the next line feed. Returns 0, kEnd or kHostError.
  int skip_record();

  // Makes the current line (through its line feed) or as much of it as the
  // buffer holds available, moving unread bytes to the front of the buffer
  // first. For console reads only.
  int buffer_line();

  // Passes `n` bytes whose last is the last of `lines` line feeds.
  void advance_lines(size_t n, size_t lines) {
    pos_ += n;
    line_ends_ += lines;
    line_start_ = position();
  }

  // Byte position of the next unread byte in the file.
  host::Offset position() const { return base_ + static_cast<host::Offset>(pos_); }
  // The line feeds passed since the start of the file (or the position given
  // to reset()), so the current line is number line_ends() + 1, and the
  // position where the current line begins. Kept where line feeds are passed
  // (skip_record(), advance_lines()), so that a report can say where a read
  // stood without counting the input again.
  uint64_t line_ends() const { return line_ends_; }
  host::Offset line_start() const { return line_start_; }
  int last_errno() const { return errno_; }

private:
  void allocate();
  int refill();
  host::ByteCount read_handle(char *dest, size_t size);

  std::unique_ptr<char[]> data_;
  const char *bytes_ = nullptr; // the buffer's bytes
  size_t capacity_ = 0;
  size_t pos_ = 0;
  size_t fill_ = 0;
  host::Offset base_ = 0;
  host::Offset known_size_ = -1; // -1: not known (a pipe, a device)
  uint64_t line_ends_ = 0;
  host::Offset line_start_ = 0;
  host::Handle fd_ = host::kNoHandle;
  int errno_ = 0;
  // The first `from_start_` bytes of the buffer are the handle's first bytes
  // and all it has given: nothing read since overwrote them.
  size_t from_start_ = 0;
  bool last_was_line_feed_ = true; // nothing taken yet counts as a record start
  bool supplied_line_feed_ = false;
  // The handle reported its end: a terminal reports it once per end-of-file
  // key, so it is kept until reset() instead of being asked for again.
  bool end_seen_ = false;
  std::unique_ptr<ReplayStore> replay_; // only on a handle that cannot seek
};

struct Connection {
  int32_t unit = 0;
  host::Handle fd = host::kNoHandle;
  bool owns_fd = false;
  bool is_console = false;
  bool seekable = false;
  // Connected for appending: every write goes to the end of the file, also
  // when other processes append to it at the same time.
  bool append = false;
  // The exclusive lock on an appended file is held (taken at the first write).
  bool locked = false;
  // An appended file not yet positioned at its end for reading.
  bool unpositioned_append = false;
  std::string name; // as connected, whole
  host::FileIdentity identity;
  bool has_identity = false;
  int32_t record_length = 1024;

  InputCursor input;
  bool end_of_file = false;

  std::unique_ptr<char[]> output;
  size_t output_fill = 0;
  RecordEnds records; // where the held records end, for the cut after a failed write
  // Output is held; on the console: a record was shown whose line end is
  // still pending.
  bool write_mode = false;

  int32_t last_error = 0;

  std::string_view name_view() const { return name; }
};

// The input buffer: small enough that the bytes the host copies into it are
// still in the processor's cache when they are read (a 256 KiB buffer, with
// the group storage the reader writes meanwhile, takes a third more time on
// a core with 512 KiB of cache), large enough that reads stay few.
inline constexpr size_t kInputBufferSize = 64 * 1024;
inline constexpr size_t kOutputBufferSize = 64 * 1024;

} // namespace recio
