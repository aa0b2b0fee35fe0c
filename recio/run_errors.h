// Run-time errors, the traceback and the end of the run.
#pragma once

#include "recio/error_codes.h"

#include <cstdint>
#include <string_view>

namespace recio {

struct Connection;

// Selects the context text of a report.
enum class StatementKind : uint8_t {
  generic = 0,
  close = 1,
  write = 2,
  endfile = 3,
  inquire = 4,
  locking = 5,
  open = 6,
  read = 7,
  rewind = 8,
  backspace = 9,
  eof = 10,
  check = 11,
  allocate = 12,
  deallocate = 13,
  begin_thread = 14,
  math = 15,
  arguments = 16,
};

// Which conditions the calling statement takes as a status itself.
struct Handling {
  bool errors = false;
  bool end_of_file = false;
};
inline constexpr Handling kNoHandling{};
inline constexpr Handling kEndOnly{false, true};
inline constexpr Handling kErrorsAndEnd{true, true};

struct TracebackFrame {
  TracebackFrame *link = nullptr;
  const char *source = "";
  const char *routine = "";
  int32_t statement = 0;
};

void push_traceback_frame(TracebackFrame &frame);
// Stores the number of the statement the newest frame is about to run.
void set_statement(int32_t number);

// Reports `code` for a statement of `kind`, or, when the statement handles
// the condition, returns its status (-1 for an end of file, otherwise the
// error number). `connection` is the one in use for kinds below 11.
int32_t raise_run_time_error(ErrorCode code, StatementKind kind, Handling handling,
                             Connection *connection = nullptr);

// The host refused memory: the run ends with a report, as after any other
// failure. The new-handler of the process, so that no allocation anywhere
// ends it otherwise.
[[noreturn]] void raise_allocation_failure();

// A subscript found outside its declared bounds by the caller's check.
[[noreturn]] void raise_subscript_error();

enum class FloatingPointCondition : uint8_t { invalid, divide_by_zero, overflow };
[[noreturn]] void raise_floating_point_error(FloatingPointCondition condition);

// The normal end: the stop text (or the standard one), then status 0.
[[noreturn]] void stop_run(std::string_view text = {});

void write_error_report(int32_t number, std::string_view message, StatementKind kind);
void write_traceback();

// Every end of the process comes here: the end-of-run closing, then the exit
// handler. A second end raised while the closing runs returns instead.
void end_run(int status);

// Runs `run` as one of several runs in this process. When `run` returns, the
// stop follows as stop_run() would write it; that end, or a reported
// run-time error, comes back here after the end-of-run closing, as the exit
// status, instead of ending the process.
int run_within_process(void (*run)());

// Ends the process with `status` once the runs within it have ended.
[[noreturn]] void end_process(int status);

// The exit handler must not return; the default ends the process. Tests and
// fuzz targets install one that throws to their harness.
using ExitHandler = void (*)(int status);
void set_exit_handler(ExitHandler handler);

// The descriptor run-time error reports are written to (standard error).
void set_error_descriptor(int fd);
// Writes `text` there as it is, unchecked like the reports.
void write_to_standard_error(std::string_view text);

// Clears the traceback stack and the ending state, for a fresh in-process run.
void reset_run_errors();

} // namespace recio
