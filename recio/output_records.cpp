#include "recio/output_records.h"

#include "recio/connection.h"
#include "recio/file_output.h"
#include "recio/host/host.h"
#include "recio/run_errors.h"
#include "recio/units.h"

#include <charconv>
#include <cstring>

namespace recio {

RecordSink::RecordSink(int32_t unit) {
  connection_ = find_connection(unit);
  if (!connection_) {
    kind_ = Kind::file;
    fail(static_cast<int>(ErrorCode::unit_not_connected));
    return;
  }
  if (connection_->is_console) {
    kind_ = Kind::console;
    connection_ = &console_output();
    return;
  }
  kind_ = Kind::file;
  Connection &c = *connection_;
  if (!c.write_mode) {
    if (c.append) {
      // The records go after whatever the file holds when they reach it,
      // also what other runs appended since it was connected: nothing is
      // cut. Where that is is settled when they are written out.
      begin_output(c, c.input.position());
    } else {
      // Writing after reading: the written records become the last ones.
      const host::Offset at = c.input.position();
      c.input.reset(at);
      if (c.seekable &&
          (!host::cut(c.fd, at) || host::seek(c.fd, at, host::From::start) != at)) {
        fail(static_cast<int>(ErrorCode::write_failed));
        return;
      }
      begin_output(c, at);
    }
    c.write_mode = true;
  }
}

RecordSink::RecordSink(char *variable, size_t length)
    : kind_(Kind::internal), variable_(variable), length_(length) {}

void RecordSink::fail(int code) {
  failed_ = true;
  raise_run_time_error(static_cast<ErrorCode>(code), StatementKind::write, kNoHandling,
                       kind_ == Kind::internal ? nullptr : connection_);
}

void RecordSink::stage(const char *text, size_t n) {
  while (n > 0 && !failed_) {
    if (staged_ == sizeof stage_) {
      deliver_console(stage_, staged_);
      staged_ = 0;
    }
    const size_t take = std::min(n, sizeof stage_ - staged_);
    std::memcpy(stage_ + staged_, text, take);
    staged_ += take;
    text += take;
    n -= take;
  }
}

void RecordSink::deliver_console(const char *text, size_t n) {
  if (!host::write_all(connection_->fd, text, n)) fail(static_cast<int>(ErrorCode::write_failed));
}

void RecordSink::put(const char *text, size_t n) {
  if (failed_ || n == 0) return;
  switch (kind_) {
  case Kind::internal:
    if (n > length_ - position_) {
      fail(static_cast<int>(ErrorCode::internal_write_overflow));
      return;
    }
    std::memcpy(variable_ + position_, text, n);
    break;
  case Kind::console:
    if (position_ == 0) {
      // The first character is carriage control: a new line, written now
      // when the line shown last is still open.
      if (connection_->write_mode) stage("\r\n", 2);
      ++text;
      --n;
      ++position_;
    }
    stage(text, n);
    break;
  case Kind::file: {
    Connection &c = *connection_;
    position_ += n;
    while (n > 0) {
      if (c.output_fill == kOutputBufferSize && !flush_whole_records(c)) {
        fail(static_cast<int>(ErrorCode::write_failed));
        return;
      }
      const size_t take = std::min(n, kOutputBufferSize - c.output_fill);
      std::memcpy(c.output.get() + c.output_fill, text, take);
      c.output_fill += take;
      text += take;
      n -= take;
    }
    return;
  }
  }
  position_ += n;
}

void RecordSink::put_blanks(size_t n) {
  static constexpr char kBlanks[64] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                       ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                       ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                       ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                       ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                       ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  while (n > 0 && !failed_) {
    const size_t take = std::min(n, sizeof kBlanks);
    put(kBlanks, take);
    n -= take;
  }
}

void RecordSink::end_record() {
  if (failed_) return;
  switch (kind_) {
  case Kind::internal:
    if (records_ended_) {
      fail(static_cast<int>(ErrorCode::internal_write_second_record));
      return;
    }
    records_ended_ = true;
    return;
  case Kind::console:
    if (position_ == 0 && connection_->write_mode) stage("\r\n", 2); // an empty record
    if (staged_ > 0) deliver_console(stage_, staged_);
    staged_ = 0;
    connection_->write_mode = true;
    break;
  case Kind::file:
    put("\r\n", 2);
    if (!failed_) mark_record_end(*connection_);
    break;
  }
  position_ = 0;
}

void RecordSink::close_variable() {
  if (!failed_ && kind_ == Kind::internal)
    std::memset(variable_ + position_, ' ', length_ - position_);
}

WriteStatement::WriteStatement(int32_t unit, std::string_view format)
    : format_(cached_format(format)), walker_(*format_), sink_(unit) {}

WriteStatement::WriteStatement(char *variable, size_t length, std::string_view format)
    : format_(cached_format(format)), walker_(*format_), sink_(variable, length) {}

WriteStatement::WriteStatement(char *variable, size_t length, const FormatHandle &format)
    : format_(FormatHandle::borrow(format)), walker_(*format_), sink_(variable, length) {}

void WriteStatement::flush_skip() {
  sink_.put_blanks(pending_blanks_);
  pending_blanks_ = 0;
}

// Obeys a control event; false when the statement cannot go on.
bool WriteStatement::obey_control(FormatWalker::Event event) {
  switch (event) {
  case FormatWalker::Event::skip:
    pending_blanks_ += static_cast<size_t>(walker_.control().width);
    break;
  case FormatWalker::Event::literal: {
    flush_skip();
    const std::string_view text = walker_.literal_text(walker_.control());
    sink_.put(text.data(), text.size());
    break;
  }
  case FormatWalker::Event::slash:
  case FormatWalker::Event::revert:
    pending_blanks_ = 0; // a skip at the end of a record writes nothing
    sink_.end_record();
    break;
  case FormatWalker::Event::invalid:
    raise_run_time_error(walker_.current().error, StatementKind::write, kNoHandling);
    return false;
  case FormatWalker::Event::no_data:
    raise_run_time_error(ErrorCode::format_no_data_descriptor, StatementKind::write,
                         kNoHandling);
    return false;
  default:
    break;
  }
  return !sink_.failed();
}

const Descriptor *WriteStatement::reach_data() {
  for (;;) {
    const FormatWalker::Event event = walker_.next(true);
    if (event == FormatWalker::Event::data) return &walker_.current();
    if (!obey_control(event)) return nullptr;
  }
}

void WriteStatement::item(std::string_view text) {
  if (sink_.failed()) return;
  const Descriptor *d = reach_data();
  if (!d) return;
  if (d->op != Op::text_field) {
    raise_run_time_error(ErrorCode::output_kind_mismatch, StatementKind::write, kNoHandling);
    return;
  }
  const size_t w = d->width > 0 ? static_cast<size_t>(d->width) : text.size();
  flush_skip();
  if (w > text.size()) {
    sink_.put_blanks(w - text.size());
    sink_.put(text.data(), text.size());
  } else {
    sink_.put(text.data(), w);
  }
  walker_.consume(1);
}

void WriteStatement::texts(const char *text, size_t length, size_t n) {
  while (n > 0 && !sink_.failed()) {
    const Descriptor *d = reach_data();
    if (!d) return;
    if (d->op != Op::text_field || (d->width > 0 && static_cast<size_t>(d->width) != length)) {
      item(std::string_view(text, length)); // the general rules, one item
      text += length;
      --n;
      continue;
    }
    // A run of fields as wide as their items writes the items as they stand.
    const size_t run = std::min(n, static_cast<size_t>(walker_.data_left()));
    flush_skip();
    sink_.put(text, run * length);
    walker_.consume(static_cast<int32_t>(run));
    text += run * length;
    n -= run;
  }
}

void WriteStatement::item(int32_t value) {
  if (sink_.failed()) return;
  const Descriptor *d = reach_data();
  if (!d) return;
  if (d->op != Op::int_field) {
    raise_run_time_error(d->op == Op::text_field ? ErrorCode::output_kind_mismatch
                                                 : ErrorCode::output_descriptor_unsupported,
                         StatementKind::write, kNoHandling);
    return;
  }
  char digits[16];
  const size_t n = static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr -
                                       digits);
  const size_t w = static_cast<size_t>(d->width);
  flush_skip();
  if (n > w) {
    for (size_t i = 0; i < w; i += sizeof digits) {
      char stars[sizeof digits];
      std::memset(stars, '*', sizeof stars);
      sink_.put(stars, std::min(sizeof stars, w - i));
    }
  } else {
    sink_.put_blanks(w - n);
    sink_.put(digits, n);
  }
  walker_.consume(1);
}

void WriteStatement::finish() {
  if (sink_.failed()) return;
  for (;;) {
    const FormatWalker::Event event = walker_.next(false);
    if (event == FormatWalker::Event::end) break;
    if (!obey_control(event)) return;
  }
  pending_blanks_ = 0;
  sink_.end_record();
  sink_.close_variable();
}

void write_formatted(int32_t unit, std::string_view format,
                     std::initializer_list<std::string_view> texts) {
  WriteStatement write(unit, format);
  for (std::string_view t : texts) write.item(t);
  write.finish();
}

void write_record(int32_t unit, std::string_view text) {
  RecordSink sink(unit);
  sink.put(text.data(), text.size());
  sink.end_record();
}

void write_internal_texts(char *variable, size_t size, const FormatHandle &format, const char *text,
                          size_t length, size_t n) {
  const std::vector<Descriptor> &ops = format->ops;
  if (ops.size() == 2 && format->reversion == 0 && ops[1].op == Op::end &&
      ops[0].op == Op::text_field && static_cast<size_t>(ops[0].width) == length &&
      static_cast<size_t>(ops[0].repeat) >= n && n * length <= size) {
    std::memcpy(variable, text, n * length);
    std::memset(variable + n * length, ' ', size - n * length);
    return;
  }
  WriteStatement write(variable, size, format);
  write.texts(text, length, n);
  write.finish();
}

void write_internal(char *variable, size_t length, std::string_view format,
                    std::initializer_list<std::string_view> texts) {
  WriteStatement write(variable, length, format);
  for (std::string_view t : texts) write.item(t);
  write.finish();
}

void write_list(int32_t unit, std::initializer_list<std::string_view> texts) {
  constexpr size_t kLine = 79;
  RecordSink sink(unit);
  sink.put(" ", 1);
  size_t room = kLine;
  for (std::string_view t : texts) {
    while (!t.empty()) {
      if (t.size() < room) {
        sink.put(t.data(), t.size());
        room -= t.size();
        break;
      }
      sink.put(t.data(), room);
      t.remove_prefix(room);
      sink.end_record();
      sink.put(" ", 1);
      room = kLine;
    }
  }
  sink.end_record();
}

} // namespace recio
