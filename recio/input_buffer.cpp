#include "recio/connection.h"
#include "recio/kernels/field_kernels.h"
#include "recio/replay_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace recio {

namespace {

// Windows: mapping a view and taking its pages costs more than a read of a
// few hundred KiB, and about as much at 1 MiB, so only files from
// kLargeFileBytes on take them. Such a file's first buffer is read as any
// other (a full buffer is what makes its size worth asking), and windows take
// the rest. Each hands out up to kWindowBytes, and keeps kWindowMargin more
// mapped, past which nothing is loaded; one window is mapped at a time,
// released before the next. Larger windows gained nothing measurable.
size_t g_window_bytes = kWindowBytes;
host::Offset g_large_file = kLargeFileBytes;
constexpr size_t kWindowMargin = 4096;
static_assert(kWindowMargin >= kKernelPadding);
// A window ends after the last line feed among its last bytes; a line longer
// than that may straddle two windows, and is read across them as across two
// buffers.
constexpr size_t kLineEndSearch = 64 * 1024;

size_t granularity() {
  static const size_t g = host::view_granularity();
  return g;
}

const char *last_line_feed(const char *p, size_t n) {
  const size_t from = n > kLineEndSearch ? n - kLineEndSearch : 0;
  for (size_t i = n; i > from; --i)
    if (p[i - 1] == '\n') return p + i - 1;
  return nullptr;
}

} // namespace

InputCursor::InputCursor() = default;
InputCursor::~InputCursor() = default;
InputCursor::InputCursor(InputCursor &&) noexcept = default;
InputCursor &InputCursor::operator=(InputCursor &&) noexcept = default;

void InputCursor::set_windows(size_t window_bytes, host::Offset large_file) {
  const size_t g = granularity();
  g_window_bytes = std::max(g, (window_bytes + g - 1) / g * g);
  g_large_file = large_file;
}

void InputCursor::keep_for_replay() { replay_ = std::make_unique<ReplayStore>(); }

void InputCursor::attach(host::Handle fd, size_t capacity) {
  if (capacity_ != capacity) {
    data_.reset();
    capacity_ = capacity;
  }
  fd_ = fd;
  replay_.reset();
  windows_allowed_ = size_checked_ = large_ = false;
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
  // The handle is put where it stands, after the buffered bytes, all the
  // same: a C run-time library may keep an end of file it met until the
  // handle is positioned again.
  const size_t held = from_start_;
  if (host::seek(fd_, static_cast<host::Offset>(held), host::From::start) !=
      static_cast<host::Offset>(held))
    return false;
  reset(0);
  from_start_ = fill_ = held;
  return true;
}

void InputCursor::reset(host::Offset position) {
  window_.release();
  bytes_ = data_.get();
  base_ = position;
  pos_ = fill_ = 0;
  line_ends_ = 0;
  line_start_ = position;
  from_start_ = 0;
  last_was_line_feed_ = true;
  supplied_line_feed_ = false;
  end_seen_ = false;
  handle_at_base_ = true;
  errno_ = 0;
}

void InputCursor::check_size() {
  size_checked_ = true;
  host::Offset size = 0;
  large_ = !replay_ && host::size_of(fd_, size) && size >= g_large_file;
}

// Maps the window from the next unread byte; kNoWindow when the file is too
// near its end for one (or the host refuses it), and the rest is read.
int InputCursor::next_window() {
  host::Offset size = 0;
  if (!host::size_of(fd_, size)) return kNoWindow;
  const host::Offset limit = size - static_cast<host::Offset>(kWindowMargin);
  if (limit <= base_) return kNoWindow;
  const host::Offset start = base_ - base_ % static_cast<host::Offset>(granularity());
  const host::Offset end = std::min(start + static_cast<host::Offset>(g_window_bytes), limit);
  if (!window_.map(fd_, start, static_cast<size_t>(end - start) + kWindowMargin)) {
    large_ = false; // the host maps none of this file: it is read
    return kNoWindow;
  }
  handle_at_base_ = false;
  bytes_ = window_.data() + (base_ - start);
  fill_ = static_cast<size_t>(end - base_);
  if (const char *lf = last_line_feed(bytes_, fill_)) fill_ = static_cast<size_t>(lf - bytes_) + 1;
  return static_cast<unsigned char>(bytes_[0]);
}

int InputCursor::refill() {
  if (fill_ > 0) last_was_line_feed_ = bytes_[fill_ - 1] == '\n';
  base_ += static_cast<host::Offset>(fill_);
  pos_ = fill_ = 0;
  if (supplied_line_feed_ || end_seen_) return kEnd;
  if (windows_allowed_ && !size_checked_ && g_large_file < static_cast<host::Offset>(capacity_))
    check_size();
  if (large_) {
    const int c = next_window();
    if (c != kNoWindow) return c;
  }
  window_.release();
  if (!data_) allocate();
  bytes_ = data_.get();
  if (!handle_at_base_) {
    if (host::seek(fd_, base_, host::From::start) != base_) {
      errno_ = errno;
      return kHostError;
    }
    handle_at_base_ = true;
  }
  for (;;) {
    const host::ByteCount n = read_handle(data_.get(), capacity_);
    if (n > 0) {
      fill_ = static_cast<size_t>(n);
      from_start_ = base_ == 0 ? fill_ : 0;
      if (windows_allowed_ && !size_checked_ && fill_ == capacity_) check_size();
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

// The console is never read through windows: its bytes are the buffer's.
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
