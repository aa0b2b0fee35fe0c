// What the fuzz targets share: a private working directory, console streams
// captured in files, a process end that returns to the target instead of
// ending the fuzzer, and the checks every run must pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace fuzzing {

// Thrown by the exit handler where the process would end.
struct RunEnded {
  int status;
};

// Makes a fresh directory the working directory (once per process).
void enter_work_dir();

void write_file(const char *name, const void *data, size_t size);
std::string read_file(const char *name);

// Starts a fresh in-process run: the command line is "vornet" and `args`,
// standard input is the null device (or the file `stdin_file`), standard
// output and standard error go to files read back by console_out() and
// console_err(). Every end of the run throws RunEnded.
void start_run(std::initializer_list<const char *> args, const char *stdin_file = nullptr);
std::string console_out();
std::string console_err();

// Aborts the fuzzer with a finding.
[[noreturn]] void finding(const char *what, std::string_view detail = {});

// Checks that `err` is one or more well-formed run-time error reports, each
// followed by its traceback when `with_traceback`.
void check_reports(std::string_view err, bool with_traceback);

// Whether walking `format` for `items` items stays within `limit` steps, the
// blanks of nX, the characters of nH and every record counted as steps, and
// with `fields` the width of every data field as well (an output field of
// width w is w characters, an input field stops at its line end). The counts
// and widths of a format are honoured literally, so a fuzzed format such as
// "(999999999(999999999X))" describes an unbounded amount of work; inputs
// beyond the limit are not run.
bool format_work_bounded(std::string_view format, uint64_t items, uint64_t limit,
                         bool fields = false);

} // namespace fuzzing
