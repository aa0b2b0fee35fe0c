#include "recio/field_input.h"

#include "recio/connection.h"
#include "recio/file_output.h"
#include "recio/host/host.h"
#include "recio/kernels/field_kernels.h"
#include "recio/real_conversion.h"
#include "recio/units.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace recio {

namespace {

constexpr char kCtrlZ = 26;

// How a numeric field treats each byte.
enum ByteClass : uint8_t { kept, blank, line_end, comma, ctrl_z };

constexpr std::array<uint8_t, 256> make_classes() {
  std::array<uint8_t, 256> t{};
  t[' '] = t['\t'] = blank;
  t['\r'] = t['\n'] = line_end;
  t[','] = comma;
  t[kCtrlZ] = ctrl_z;
  return t;
}
constexpr std::array<uint8_t, 256> kClasses = make_classes();

enum class Field : uint8_t { ok, end_of_file, host_error };

// Takes up to `w` characters of a numeric field into `acc`.
template <class Acc> Field collect_numeric(InputCursor &in, int32_t w, Acc &acc) {
  const size_t width = static_cast<size_t>(w);
  if (in.available() >= width) {
    const char *p = in.data();
    for (size_t i = 0; i < width; ++i) {
      const char c = p[i];
      switch (kClasses[static_cast<unsigned char>(c)]) {
      case kept:
        acc.add(c);
        break;
      case blank:
        break;
      case line_end:
        in.advance(i);
        return Field::ok;
      case comma:
        in.advance(i + 1);
        return Field::ok;
      default:
        return Field::end_of_file;
      }
    }
    in.advance(width);
    return Field::ok;
  }
  for (size_t i = 0; i < width; ++i) {
    const int c = in.peek();
    if (c == InputCursor::kEnd) return Field::end_of_file;
    if (c == InputCursor::kHostError) return Field::host_error;
    switch (kClasses[static_cast<unsigned char>(c)]) {
    case kept:
      acc.add(static_cast<char>(c));
      break;
    case blank:
      break;
    case line_end:
      return Field::ok;
    case comma:
      in.advance();
      return Field::ok;
    default:
      return Field::end_of_file;
    }
    in.advance();
  }
  return Field::ok;
}

// Where the first carriage return or line feed stands among the `n` bytes
// at `p`; `n` when there is none. Two library scans rather than one loop
// testing each byte for both: a text field is usually a whole line.
size_t line_end_within(const char *p, size_t n) {
  const void *lf = std::memchr(p, '\n', n);
  if (lf) n = static_cast<size_t>(static_cast<const char *>(lf) - p);
  const void *cr = std::memchr(p, '\r', n);
  return cr ? static_cast<size_t>(static_cast<const char *>(cr) - p) : n;
}

// Aw into a text of `length` characters.
Field collect_text(InputCursor &in, size_t w, char *dest, size_t length) {
  size_t skip = w > length ? w - length : 0;
  size_t store = w > length ? length : w;
  size_t stored = 0;
  if (in.available() >= skip + store) {
    const char *p = in.data();
    const size_t i = line_end_within(p, skip + store);
    if (i > skip) {
      stored = i - skip;
      std::memcpy(dest, p + skip, stored);
    }
    in.advance(i);
  } else {
    for (; skip + store > 0;) {
      const int c = in.peek();
      if (c == InputCursor::kEnd) return Field::end_of_file;
      if (c == InputCursor::kHostError) return Field::host_error;
      if (c == '\n' || c == '\r') break;
      in.advance();
      if (skip > 0) {
        --skip;
      } else {
        dest[stored++] = static_cast<char>(c);
        --store;
      }
    }
  }
  std::memset(dest + stored, ' ', length - stored);
  return Field::ok;
}

// A field at the very end of the file is an end of file for any descriptor.
bool at_file_end(InputCursor &in, Field &result) {
  const int c = in.peek();
  if (c >= 0) return false;
  result = c == InputCursor::kEnd ? Field::end_of_file : Field::host_error;
  return true;
}

} // namespace

ReadStatement::ReadStatement(int32_t unit, std::string_view format, Handling handling)
    : format_(cached_format(format)), walker_(*format_), handling_(handling) {
  begin(unit);
}

ReadStatement::ReadStatement(int32_t unit, const FormatHandle &format, Handling handling)
    : format_(FormatHandle::borrow(format)), walker_(*format_), handling_(handling) {
  begin(unit);
}

void ReadStatement::begin(int32_t unit) {
  connection_ = find_connection(unit);
  if (!connection_) {
    fail(ErrorCode::unit_not_connected);
    return;
  }
  Connection &c = *connection_;
  in_ = &c.input;
  console_ = c.is_console;
  if (console_) {
    // A console read closes the line shown last.
    Connection &out = console_output();
    if (out.write_mode && !host::write_all(out.fd, "\r\n", 2)) {
      raise_run_time_error(ErrorCode::write_failed, StatementKind::write, kNoHandling, &out);
    }
    out.write_mode = false;
    connection_ = &console_input();
    in_ = &connection_->input;
  } else if (c.write_mode) {
    if (!flush_output(c)) {
      raise_run_time_error(ErrorCode::write_failed, StatementKind::write, kNoHandling, &c);
    }
    c.write_mode = false;
    c.unpositioned_append = false;
    c.input.reset(host::seek(c.fd, 0, host::From::current));
  } else if (c.unpositioned_append) {
    c.unpositioned_append = false;
    c.input.reset(std::max<int64_t>(0, host::seek(c.fd, 0, host::From::end)));
  }
  if (connection_->end_of_file) {
    fail(ErrorCode::end_of_file);
    return;
  }
  if (console_) begin_console_record();
}

void ReadStatement::fail(ErrorCode code) {
  if (failed_at_ < 0 && in_) failed_at_ = in_->position();
  if (code == ErrorCode::end_of_file && connection_) connection_->end_of_file = true;
  status_ = raise_run_time_error(code, StatementKind::read, handling_, connection_);
  if (status_ == 0) status_ = error_number(code); // raised while the run is ending
}

void ReadStatement::fail_field(ErrorCode code, int64_t start, int32_t stored) {
  failed_at_ = start;
  items_read_ += static_cast<size_t>(stored);
  fail(code);
}

void ReadStatement::fail_input(int cursor_result) {
  fail(cursor_result == InputCursor::kEnd ? ErrorCode::end_of_file : ErrorCode::read_failed);
}

// The console's own rules for a typed line: a line ending in Ctrl-Z is the end
// of file, and an interactive console takes at most 130 characters.
bool ReadStatement::begin_console_record() {
  const int r = in_->buffer_line();
  if (r < 0) return true; // met by the first field
  const char *p = in_->data();
  const size_t n = in_->available();
  const void *lf = std::memchr(p, '\n', n);
  if (!lf) return true;
  size_t len = static_cast<size_t>(static_cast<const char *>(lf) - p);
  if (len > 0 && p[len - 1] == '\r') --len;
  if (len > 0 && p[len - 1] == kCtrlZ) {
    fail(ErrorCode::end_of_file);
    return false;
  }
  if (console_is_interactive() && len > 130) {
    fail(ErrorCode::console_line_too_long);
    return false;
  }
  return true;
}

bool ReadStatement::next_record() {
  const int r = in_->skip_record();
  if (r < 0) {
    fail_input(r);
    return false;
  }
  return !console_ || begin_console_record();
}

// Walks the format to its next data descriptor, obeying control descriptors.
bool ReadStatement::reach_data() {
  for (;;) {
    switch (walker_.next(true)) {
    case FormatWalker::Event::data:
      return true;
    case FormatWalker::Event::skip:
      for (int32_t n = walker_.control().width; n > 0; --n) {
        const int c = in_->peek();
        if (c < 0 || c == '\n' || c == '\r') break;
        in_->advance();
      }
      break;
    case FormatWalker::Event::literal:
      fail(ErrorCode::format_literal_on_input);
      return false;
    case FormatWalker::Event::slash:
    case FormatWalker::Event::revert:
      if (!next_record()) return false;
      break;
    case FormatWalker::Event::invalid:
      fail(walker_.current().error);
      return false;
    case FormatWalker::Event::no_data:
    case FormatWalker::Event::end:
      fail(ErrorCode::format_no_data_descriptor);
      return false;
    }
  }
}

void ReadStatement::items(int32_t *values, size_t n) {
  while (n > 0 && status_ == 0) {
    if (!reach_data()) return;
    const Descriptor &d = walker_.current();
    if (d.op != Op::int_field) return fail(ErrorCode::input_kind_mismatch);
    const int32_t run = static_cast<int32_t>(std::min<size_t>(n, walker_.data_left()));
    const size_t width = static_cast<size_t>(d.width);
    for (int32_t i = 0; i < run; ++i) {
      // Canonical fields wholly in the buffer go through the kernel; the
      // first one it does not take is read by the one-field path below.
      const size_t fit = std::min(static_cast<size_t>(run - i), in_->available() / width);
      const size_t taken = convert_int_run(kernel_level_, in_->data(), fit, d.width, values + i);
      in_->advance(taken * width);
      i += static_cast<int32_t>(taken);
      if (i == run) break;
      IntegerAccumulator acc;
      const int64_t start = in_->position();
      const Field f = collect_numeric(*in_, d.width, acc);
      if (f != Field::ok) {
        return fail_field(f == Field::end_of_file ? ErrorCode::end_of_file : ErrorCode::read_failed,
                          start, i);
      }
      ErrorCode error;
      if (!acc.finish(values[i], error)) return fail_field(error, start, i);
    }
    walker_.consume(run);
    items_read_ += static_cast<size_t>(run);
    values += run;
    n -= static_cast<size_t>(run);
  }
}

template <class T> void ReadStatement::reals(T *values, size_t n, size_t stride) {
  while (n > 0 && status_ == 0) {
    if (!reach_data()) return;
    const Descriptor &d = walker_.current();
    const bool real = d.op == Op::fixed_field || d.op == Op::exp_field;
    const int32_t run = static_cast<int32_t>(std::min<size_t>(n, walker_.data_left()));
    const int32_t width = d.width > 0 ? d.width : static_cast<int32_t>(sizeof(T));
    for (int32_t i = 0; i < run; ++i) {
      if (real) {
        // Canonical fields wholly in the buffer go through the kernel.
        const size_t w = static_cast<size_t>(width);
        const size_t fit = std::min(static_cast<size_t>(run - i), in_->available() / w);
        const size_t taken =
            convert_real_run(kernel_level_, in_->data(), fit, width, d.digits, values,
                             static_cast<ptrdiff_t>(stride));
        in_->advance(taken * w);
        values += static_cast<ptrdiff_t>(taken * stride);
        i += static_cast<int32_t>(taken);
        if (i == run) break;
      }
      RealAccumulator acc(real ? d.digits : 0);
      const int64_t start = in_->position();
      const Field f = collect_numeric(*in_, width, acc);
      if (f != Field::ok) {
        return fail_field(f == Field::end_of_file ? ErrorCode::end_of_file : ErrorCode::read_failed,
                          start, i);
      }
      // A real through any other descriptor fails once its field is taken.
      if (!real) return fail_field(ErrorCode::input_kind_mismatch, start, i);
      ErrorCode error;
      bool converted;
      if constexpr (sizeof(T) == sizeof(float)) {
        converted = acc.finish_float(*values, error);
      } else {
        converted = acc.finish_double(*values, error);
      }
      if (!converted) return fail_field(error, start, i);
      values += stride;
    }
    walker_.consume(run);
    items_read_ += static_cast<size_t>(run);
    n -= static_cast<size_t>(run);
  }
}

void ReadStatement::items(float *values, size_t n) { reals(values, n, 1); }
void ReadStatement::items(double *values, size_t n) { reals(values, n, 1); }
void ReadStatement::items_into_one(float &value, size_t n) { reals(&value, n, 0); }
void ReadStatement::items_into_one(double &value, size_t n) { reals(&value, n, 0); }

void ReadStatement::texts(char *text, size_t length, size_t n) {
  while (n > 0 && status_ == 0) {
    if (!reach_data()) return;
    const Descriptor &d = walker_.current();
    if (d.op != Op::text_field) return fail(ErrorCode::input_kind_mismatch);
    const int32_t run = static_cast<int32_t>(std::min<size_t>(n, walker_.data_left()));
    const size_t w = d.width > 0 ? static_cast<size_t>(d.width) : length;
    if (w == length && in_->available() >= w * static_cast<size_t>(run) && in_->available() > 0) {
      // Fields as wide as their items: the run is the line up to its end, then blanks.
      const size_t span = w * static_cast<size_t>(run);
      const char *p = in_->data();
      // The line ends at the first line feed or carriage return.
      size_t taken = span;
      if (const void *lf = std::memchr(p, '\n', span))
        taken = static_cast<size_t>(static_cast<const char *>(lf) - p);
      if (const void *cr = std::memchr(p, '\r', taken))
        taken = static_cast<size_t>(static_cast<const char *>(cr) - p);
      std::memcpy(text, p, taken);
      std::memset(text + taken, ' ', span - taken);
      in_->advance(taken);
      walker_.consume(run);
      items_read_ += static_cast<size_t>(run);
      text += span;
      n -= static_cast<size_t>(run);
      continue;
    }
    for (int32_t i = 0; i < run; ++i) {
      Field f;
      const int64_t start = in_->position();
      if (at_file_end(*in_, f) || (f = collect_text(*in_, w, text, length)) != Field::ok) {
        return fail_field(f == Field::end_of_file ? ErrorCode::end_of_file : ErrorCode::read_failed,
                          start, i);
      }
      text += length;
    }
    walker_.consume(run);
    items_read_ += static_cast<size_t>(run);
    n -= static_cast<size_t>(run);
  }
}

int32_t ReadStatement::finish() {
  if (status_ != 0) return status_;
  for (bool walking = true; walking;) {
    switch (walker_.next(false)) {
    case FormatWalker::Event::end:
      walking = false;
      break;
    case FormatWalker::Event::skip:
      break; // the rest of the record is skipped anyway
    case FormatWalker::Event::literal:
      fail(ErrorCode::format_literal_on_input);
      return status_;
    case FormatWalker::Event::slash:
      if (!next_record()) return status_;
      break;
    case FormatWalker::Event::invalid:
      fail(walker_.current().error);
      return status_;
    default:
      walking = false;
      break;
    }
  }
  const int r = in_->skip_record();
  if (r < 0) fail_input(r);
  return status_;
}

} // namespace recio
