// A unit's connection: its host handle, its input cursor and its output
// buffer. Internal to the record services.
#pragma once

#include "recio/file_output.h"
#include "recio/replay_store.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace recio {

// Reads a host handle through a large buffer. Lines of any length pass in
// constant memory: the buffer is refilled only once it is fully consumed.
// When the file ends after a last line without a line feed, one line feed
// is supplied, so that line is a record like any other.
class InputCursor {
public:
  static constexpr int kEnd = -1;       // the file is over, at the start of a record
  static constexpr int kHostError = -2; // the host reported a read failure

  void attach(int fd, size_t capacity);
  // Forgets buffered data: the next byte comes from the handle, which stands
  // at byte `position` of the file.
  void reset(off_t position = 0);

  // For a handle that cannot seek: keeps what is read from now on, so that
  // start_replay() can start the input over once.
  void keep_for_replay() { replay_ = std::make_unique<ReplayStore>(); }
  // Starts over with the first byte kept, as a rewind of a file would; false
  // when nothing was kept for it.
  bool start_replay();

  // The next byte (0 to 255), kEnd or kHostError, without taking it.
  int peek() {
    if (pos_ < fill_) return static_cast<unsigned char>(data_[pos_]);
    return refill();
  }
  void advance() { ++pos_; }

  // Buffered bytes from the current position on.
  const char *data() const { return data_.get() + pos_; }
  size_t available() const { return fill_ - pos_; }
  void advance(size_t n) { pos_ += n; }

  // Skips through the next line feed. Returns 0, kEnd or kHostError.
  int skip_record();

  // Makes the current line (through its line feed) or as much of it as the
  // buffer holds available, moving unread bytes to the front of the buffer
  // first. For console reads only.
  int buffer_line();

  // Byte position of the next unread byte in the file.
  off_t position() const { return base_ + static_cast<off_t>(pos_); }
  int last_errno() const { return errno_; }

private:
  int refill();
  ssize_t read_handle(char *dest, size_t size);

  std::unique_ptr<char[]> data_;
  size_t capacity_ = 0;
  size_t pos_ = 0;
  size_t fill_ = 0;
  off_t base_ = 0;
  int fd_ = -1;
  int errno_ = 0;
  bool last_was_line_feed_ = true; // nothing taken yet counts as a record start
  bool supplied_line_feed_ = false;
  // The handle reported its end: a terminal reports it once per end-of-file
  // key, so it is kept until reset() instead of being asked for again.
  bool end_seen_ = false;
  std::unique_ptr<ReplayStore> replay_; // only on a handle that cannot seek
};

struct Connection {
  int32_t unit = 0;
  int fd = -1;
  bool owns_fd = false;
  bool is_console = false;
  bool seekable = false;
  // Connected for appending: every write goes to the end of the file, also
  // when other processes append to it at the same time.
  bool append = false;
  // The exclusive lock on an appended file is held (taken at the first write).
  bool locked = false;
  char name[260] = {};
  uint16_t name_length = 0;
  dev_t device = 0;
  ino_t inode = 0;
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

  std::string_view name_view() const { return {name, name_length}; }
};

inline constexpr size_t kInputBufferSize = 256 * 1024;
inline constexpr size_t kOutputBufferSize = 64 * 1024;

// Writes all of `data` to `fd`; false when the host refuses.
bool write_all(int fd, const char *data, size_t size);

} // namespace recio
