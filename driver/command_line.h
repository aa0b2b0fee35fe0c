#pragma once

namespace driver {

class RunReport;

// The whole command line: "--help" or "--version" alone prints the usage or
// the version; no file or one is one run; several files are one run each,
// in order, each exactly as a run of that file alone. "--report", anywhere
// before a "--" that ends the options, adds a report of what each run passed
// over on standard error. Ends the process with status 1 when any run ended
// in a run-time error, else 0.
[[noreturn]] void run_command_line(int argc, char **argv);

// The report "--report" writes, for tests that watch the ranges it settles.
RunReport &command_line_report();

} // namespace driver
