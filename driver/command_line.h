#pragma once

namespace driver {

// The whole command line: "--help" or "--version" alone prints the usage or
// the version; no file or one is one run; several files are one run each,
// in order, each exactly as a run of that file alone. Ends the process with
// status 1 when any run ended in a run-time error, else 0.
[[noreturn]] void run_command_line(int argc, char **argv);

} // namespace driver
