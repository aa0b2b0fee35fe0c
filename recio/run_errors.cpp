#include "recio/run_errors.h"

// The run-time errors and the units need each other, both ways: every failed
// connect, rewind or transfer of the units is raised here, while the end of a
// run here writes the stop on the console connection that the units own (with
// its pending line end), reports the name buffer they fill, and runs their
// end-of-run closing. A hook in either direction would only hide that.
#include "recio/connection.h"
#include "recio/host/host.h"
#include "recio/units.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>

namespace recio {

namespace {

TracebackFrame *g_top_frame = nullptr;
ExitHandler g_exit_handler = nullptr;
int g_error_fd = 2;
bool g_ending = false;
bool g_error_while_ending = false;

constexpr std::string_view kContextTexts[] = {
    ": (",        ": CLOSE(",          ": WRITE(",         ": ENDFILE(",
    ": INQUIRE(", ": LOCKING(",        ": OPEN(",          ": READ(",
    ": REWIND(",  ": BACKSPACE(",      ": EOF(",           ": $DEBUG\r\n- ",
    ": ALLOCATE\r\n- ", ": DEALLOCATE\r\n- ", ": BEGINTHREAD\r\n- ", ": MATH\r\n- ",
    "\r\n- ",
};

// Collects a report so that it reaches its stream in one write, in a buffer
// of its own: a report of memory running short must not ask for any. A text
// longer than the buffer (a very long name) goes in more writes.
class ReportText {
public:
  explicit ReportText(int fd = g_error_fd) : fd_(fd) {}
  ReportText(const ReportText &) = delete;
  ReportText &operator=(const ReportText &) = delete;
  ReportText &operator<<(std::string_view s) {
    while (!s.empty()) {
      if (fill_ == sizeof text_) flush();
      const size_t n = std::min(s.size(), sizeof text_ - fill_);
      std::memcpy(text_ + fill_, s.data(), n);
      fill_ += n;
      s.remove_prefix(n);
    }
    return *this;
  }
  ReportText &operator<<(int32_t n) {
    char digits[16];
    const auto r = std::to_chars(digits, digits + sizeof digits, n);
    return *this << std::string_view(digits, static_cast<size_t>(r.ptr - digits));
  }
  ~ReportText() { flush(); }
  // Writes what is held; false when the host refuses.
  bool flush() {
    const bool ok = host::write_all(fd_, text_, fill_);
    fill_ = 0;
    return ok;
  }

private:
  int fd_;
  size_t fill_ = 0;
  char text_[4096];
};

} // namespace

void push_traceback_frame(TracebackFrame &frame) {
  frame.link = g_top_frame;
  g_top_frame = &frame;
}

void set_statement(int32_t number) {
  if (g_top_frame) g_top_frame->statement = number;
}

void write_error_report(int32_t number, std::string_view message, StatementKind kind) {
  ReportText out;
  out << "\r\n";
  if (g_top_frame)
    out << g_top_frame->source << "(" << g_top_frame->statement << ") : ";
  out << "run-time error " << (kind == StatementKind::math ? "M" : "F") << number
      << kContextTexts[static_cast<size_t>(kind)];
  if (kind <= StatementKind::eof) {
    out << name_buffer() << (message.empty() ? ")\r\n" : ")\r\n- ");
  }
  out << message << "\r\n";
}

void write_traceback() {
  if (!g_top_frame) return;
  ReportText out;
  out << "\r\nExecution traceback:\r\n";
  while (g_top_frame) {
    const TracebackFrame &f = *g_top_frame;
    if (std::strcmp(f.routine, "_main") == 0) {
      out << "\t\tfrom main program";
    } else {
      std::string_view routine(f.routine);
      if (!routine.empty()) routine.remove_prefix(1);
      out << "\t\tfrom " << routine.substr(0, routine.find('@'));
    }
    out << " in " << f.source << "(" << f.statement << ")\r\n";
    g_top_frame = f.link;
  }
}

int32_t raise_run_time_error(ErrorCode code, StatementKind kind, Handling handling,
                             Connection *connection) {
  const bool below_checks = kind < StatementKind::check;
  if (below_checks && kind != StatementKind::open && connection)
    set_name_buffer(connection->name_view());
  const int32_t number = error_number(code);
  if (below_checks && connection) connection->last_error = number;
  const bool is_end = code == ErrorCode::end_of_file;
  const bool handled = kind != StatementKind::check &&
                       (handling.errors || (is_end && handling.end_of_file));
  if (handled) return is_end ? -1 : number;
  write_error_report(number, message_text(number), kind);
  write_traceback();
  end_run(1);
  return number; // only while the end-of-run closing is under way
}

void raise_allocation_failure() {
  raise_run_time_error(ErrorCode::out_of_memory, StatementKind::allocate, kNoHandling);
  // Only while the end-of-run closing is under way, which allocates nothing.
  throw std::bad_alloc();
}

void raise_subscript_error() {
  raise_run_time_error(ErrorCode::subscript_out_of_range, StatementKind::check, kNoHandling);
  std::abort(); // not reached: checks end the run
}

void raise_floating_point_error(FloatingPointCondition condition) {
  constexpr ErrorCode kCodes[] = {ErrorCode::fp_invalid, ErrorCode::fp_divide_by_zero,
                                  ErrorCode::fp_overflow};
  raise_run_time_error(kCodes[static_cast<size_t>(condition)], StatementKind::math,
                       kNoHandling);
  std::abort(); // not reached: floating-point errors are never handled
}

namespace {

// The stop's text on the console, after a pending line end.
void write_stop(std::string_view text) {
  Connection &console = console_output();
  ReportText out(console.fd);
  if (console.write_mode) out << "\r\n";
  out << (text.empty() ? std::string_view("Stop - Program terminated.") : text) << "\r\n";
  // A line end still pending stays so after the stop, and the end-of-run
  // closing, which writes nothing else to the console, ends it: written here
  // with the stop, it costs no write of its own.
  if (console.write_mode) {
    out << "\r\n";
    console.write_mode = false;
  }
  if (!out.flush())
    raise_run_time_error(ErrorCode::write_failed, StatementKind::write, kNoHandling, &console);
}

// The end-of-run closing; the status the run ends with.
int close_run(int status) {
  g_ending = true;
  close_all_units();
  // A closing that could not write out its output is a failed run.
  return g_error_while_ending ? 1 : status;
}

struct RunEnded {
  int status;
};

[[noreturn]] void return_from_run(int status) { throw RunEnded{status}; }

} // namespace

void stop_run(std::string_view text) {
  write_stop(text);
  end_run(0);
  std::abort(); // not reached
}

void end_run(int status) {
  if (g_ending) {
    g_error_while_ending = true;
    return;
  }
  status = close_run(status);
  if (g_exit_handler) g_exit_handler(status);
  std::_Exit(status);
}

int run_within_process(void (*run)()) {
  const ExitHandler outer = std::exchange(g_exit_handler, return_from_run);
  int status = 0;
  try {
    // The common end, the stop, comes back without unwinding.
    run();
    write_stop({});
    status = close_run(0);
  } catch (const RunEnded &ended) {
    status = ended.status;
  }
  g_exit_handler = outer;
  return status;
}

void end_process(int status) {
  if (g_exit_handler) g_exit_handler(status);
  std::_Exit(status);
}

void set_exit_handler(ExitHandler handler) { g_exit_handler = handler; }

void set_error_descriptor(int fd) { g_error_fd = fd; }

void write_to_standard_error(std::string_view text) {
  (void)host::write_all(g_error_fd, text.data(), text.size());
}

void reset_run_errors() {
  g_top_frame = nullptr;
  g_ending = false;
  g_error_while_ending = false;
}

} // namespace recio
