// Formatted and list-directed output: records to a unit, to the console, or
// into a text variable (an internal write).
//
//   WriteStatement write(20, "(a,i8,a)");
//   write.item(message);
//   write.item(line_number);
//   write.item(" <-----");
//   write.finish();
//
// Writes ask for no handling: a failure is a run-time error.
#pragma once

#include "recio/format.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>

namespace recio {

struct Connection;

// Where composed records go and how each is delivered.
class RecordSink {
public:
  explicit RecordSink(int32_t unit);            // a file unit or kConsoleOutput
  RecordSink(char *variable, size_t length);    // an internal write

  void put(const char *text, size_t n);
  void put_blanks(size_t n);
  void end_record();
  // Blank-fills the rest of an internal variable.
  void close_variable();
  bool failed() const { return failed_; }

private:
  enum class Kind : uint8_t { file, console, internal };
  void fail(int code);
  void deliver_console(const char *text, size_t n);
  void stage(const char *text, size_t n);

  Kind kind_;
  Connection *connection_ = nullptr;
  char *variable_ = nullptr;
  size_t length_ = 0;
  size_t position_ = 0;       // characters of the current record so far
  bool records_ended_ = false; // an internal write has delivered its record
  bool failed_ = false;
  size_t staged_ = 0;
  char stage_[512];
};

class WriteStatement {
public:
  WriteStatement(int32_t unit, std::string_view format);
  WriteStatement(char *variable, size_t length, std::string_view format);
  // With a format bound by the caller, which holds it for the statement.
  WriteStatement(char *variable, size_t length, const FormatHandle &format);
  WriteStatement(const WriteStatement &) = delete;
  WriteStatement &operator=(const WriteStatement &) = delete;

  void item(std::string_view text);
  void item(int32_t value);
  // n texts of `length` characters each, stored one after the other; the
  // same records as n item() calls.
  void texts(const char *text, size_t length, size_t n);
  void finish();

private:
  const Descriptor *reach_data();
  bool obey_control(FormatWalker::Event event);
  void flush_skip();

  FormatHandle format_;
  FormatWalker walker_;
  RecordSink sink_;
  size_t pending_blanks_ = 0;
};

// One formatted write of text values.
void write_formatted(int32_t unit, std::string_view format,
                     std::initializer_list<std::string_view> texts);
// One record of `text` alone, as write_formatted(unit, "(a)", {text}) writes
// it, without walking a format.
void write_record(int32_t unit, std::string_view text);
// An internal write of text values into `variable`.
void write_internal(char *variable, size_t length, std::string_view format,
                    std::initializer_list<std::string_view> texts);
// An internal write of `n` texts of `length` characters each into `variable`
// (of `size` characters) through `format`, as a WriteStatement's texts() and
// finish() make it. Where the format is one text descriptor as wide as the
// texts, repeated at least `n` times, such as "(120A1)", and the texts fit,
// that is the texts and blanks after them, written as such.
void write_internal_texts(char *variable, size_t size, const FormatHandle &format, const char *text,
                          size_t length, size_t n);
// List-directed output of text values: a leading blank, 79 characters a line.
void write_list(int32_t unit, std::initializer_list<std::string_view> texts);

} // namespace recio
