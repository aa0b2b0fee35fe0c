// Formatted input: one read statement, used item by item.
//
//   ReadStatement read(1, "(40I3)", kErrorsAndEnd);
//   read.items(index, 80);
//   int32_t status = read.finish();
//
// After a transfer whose status is not 0 the statement is over: later
// transfers do nothing and finish() returns that status.
#pragma once

#include "recio/kernels/field_kernels.h"
#include "recio/format.h"
#include "recio/run_errors.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace recio {

struct Connection;
class InputCursor;

class ReadStatement {
public:
  ReadStatement(int32_t unit, std::string_view format, Handling handling);
  // With a format bound by the caller, which holds it for the statement.
  ReadStatement(int32_t unit, const FormatHandle &format, Handling handling);
  ReadStatement(const ReadStatement &) = delete;
  ReadStatement &operator=(const ReadStatement &) = delete;

  int32_t status() const { return status_; }
  bool ok() const { return status_ == 0; }

  void item(int32_t &value) { items(&value, 1); }
  void item(float &value) { items(&value, 1); }
  void item(double &value) { items(&value, 1); }
  void item(char *text, size_t length) { texts(text, length, 1); }

  // n items into consecutive elements; the same result as n item() calls.
  void items(int32_t *values, size_t n);
  void items(float *values, size_t n);
  void items(double *values, size_t n);
  // n texts of `length` characters each, stored one after the other.
  void texts(char *text, size_t length, size_t n);
  // n reals, each stored into the same variable.
  void items_into_one(float &value, size_t n);
  void items_into_one(double &value, size_t n);

  // Obeys the rest of the format and moves past the current record.
  int32_t finish();

  // After a status other than 0: the items stored before the failing one,
  // and the byte position in the file of the field that failed (where the
  // statement stopped, for a failure that is not a field's).
  size_t items_read() const { return items_read_; }
  int64_t failed_at() const { return failed_at_; }

private:
  void begin(int32_t unit);
  template <class T> void reals(T *values, size_t n, size_t stride);
  bool reach_data();
  bool next_record();
  bool begin_console_record();
  void fail(ErrorCode code);
  void fail_input(int cursor_result);
  // A field that began at `start` failed; `stored` items of the run were stored.
  void fail_field(ErrorCode code, int64_t start, int32_t stored);

  FormatHandle format_;
  FormatWalker walker_;
  Connection *connection_ = nullptr;
  InputCursor *in_ = nullptr;
  Handling handling_;
  int32_t status_ = 0;
  size_t items_read_ = 0;
  int64_t failed_at_ = -1;
  bool console_ = false;
  KernelLevel kernel_level_ = best_kernel_level();
};

} // namespace recio
