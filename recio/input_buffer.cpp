#include "recio/connection.h"
#include "recio/kernels/field_kernels.h"
#include "recio/replay_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace recio {

InputCursor::InputCursor() = default;
InputCursor::~InputCursor() = default;
InputCursor::InputCursor(InputCursor &&) noexcept = default;
InputCursor &InputCursor::operator=(InputCursor &&) noexcept = default;

void InputCursor::keep_for_replay() { replay_ = std::make_unique<ReplayStore>(); }

void InputCursor::attach(host::Handle fd, size_t capacity) {
  if (capacity_ != capacity) {
    data_.reset();
    capacity_ = capacity;
  }
  fd_ = fd;
  replay_.reset();
  reset();
}

// At the first read, so that a connection never read (the console, most
// runs) costs nothing. Not cleared: only the pages a read fills become
// resident. The padding after the buffer is zero, since the field kernels
// load whole vectors.
void InputCursor::allocate() {
  data_.reset(new char[capacity_ + kKernelPadding]);
  std::memset(data_.get() + capacity_, 0, kKernelPadding);
}

bool InputCursor::start_replay() {
  if (!replay_ || !replay_->start_replay()) return false;
  reset(0);
  return true;
}

host::ByteCount InputCursor::read_handle(char *dest, size_t size) {
  return replay_ ? replay_->read(fd_, dest, size) : host::read(fd_, dest, size);
}

bool InputCursor::rewind_within_buffer() {
  if (from_start_ == 0 || replay_) return false;
  // The handle stands after the buffered bytes, where the next read goes on;
  // an end the reads already met is not asked for again: the file is read
  // again as it was read the first time.
  const size_t held = from_start_;
  const host::Offset size = known_size_;
  const bool ended = end_seen_;
  reset(0);
  from_start_ = fill_ = held;
  known_size_ = size;
  end_seen_ = ended;
  return true;
}

void InputCursor::reset(host::Offset position) {
  // Read again from the handle, a file is read to its end as it then is.
  known_size_ = -1;
  bytes_ = data_.get();
  base_ = position;
  pos_ = fill_ = 0;
  line_ends_ = 0;
  line_start_ = position;
  from_start_ = 0;
  last_was_line_feed_ = true;
  supplied_line_feed_ = false;
  end_seen_ = false;
  errno_ = 0;
}

int InputCursor::refill() {
  if (fill_ > 0) last_was_line_feed_ = bytes_[fill_ - 1] == '\n';
  base_ += static_cast<host::Offset>(fill_);
  pos_ = fill_ = 0;
  if (supplied_line_feed_ || end_seen_) return kEnd;
  if (!data_) allocate();
  bytes_ = data_.get();
  // A file's reads stop at the size it had when it was opened.
  size_t want = capacity_;
  if (known_size_ >= 0)
    want = static_cast<size_t>(std::clamp<host::Offset>(known_size_ - base_, 0,
                                                        static_cast<host::Offset>(capacity_)));
  for (;;) {
    const host::ByteCount n = want == 0 ? 0 : read_handle(data_.get(), want);
    if (n > 0) {
      fill_ = static_cast<size_t>(n);
      from_start_ = base_ == 0 ? fill_ : 0;
      return static_cast<unsigned char>(data_[0]);
    }
    if (n == 0) break;
    if (errno != EINTR) {
      errno_ = errno;
      return kHostError;
    }
  }
  if (last_was_line_feed_) {
    end_seen_ = true;
    return kEnd;
  }
  // A last line without a line feed: end it here.
  from_start_ = 0;
  supplied_line_feed_ = true;
  data_[0] = '\n';
  fill_ = 1;
  base_ -= 1; // the supplied byte is not in the file
  return '\n';
}

int InputCursor::skip_record() {
  for (;;) {
    if (pos_ == fill_) {
      const int c = refill();
      if (c < 0) return c;
    }
    const void *lf = std::memchr(bytes_ + pos_, '\n', fill_ - pos_);
    if (lf) {
      pos_ = static_cast<size_t>(static_cast<const char *>(lf) - bytes_) + 1;
      ++line_ends_;
      line_start_ = position();
      return 0;
    }
    pos_ = fill_;
  }
}

int InputCursor::buffer_line() {
  if (!data_) allocate();
  bytes_ = data_.get();
  from_start_ = 0;
  for (;;) {
    if (std::memchr(data_.get() + pos_, '\n', fill_ - pos_)) return 0;
    if (pos_ == fill_) {
      const int c = refill();
      if (c < 0) return c;
      continue;
    }
    if (fill_ == capacity_) {
      if (pos_ == 0) return 0; // a line longer than the buffer: take what is there
      std::memmove(data_.get(), data_.get() + pos_, fill_ - pos_);
      base_ += static_cast<host::Offset>(pos_);
      fill_ -= pos_;
      pos_ = 0;
    }
    const host::ByteCount n = read_handle(data_.get() + fill_, capacity_ - fill_);
    if (n > 0) {
      fill_ += static_cast<size_t>(n);
    } else if (n == 0) {
      return 0; // the last line has no line feed; refill() ends it later
    } else if (errno != EINTR) {
      errno_ = errno;
      return kHostError;
    }
  }
}

} // namespace recio
