#include "driver/command_line.h"

#include "driver/program_flow.h"
#include "recio/run_errors.h"
#include "recio/units.h"
#include "sao/reader_state.h"

#include <cstdio>
#include <string_view>

namespace driver {

namespace {

constexpr std::string_view kUsage =
    "Usage: vornet [file ...]\n"
    "Lists the records of SAO files (scaled ionogram data) by date and time:\n"
    "one line per record, appended to preflist.s in the working directory.\n"
    "Files are listed one after the other, each as if it were named alone;\n"
    "without a file it asks for one on the console.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Exit status: 0 when every file was listed to its end, 1 when a run-time\n"
    "error (reported on standard error) ended the listing of any file.\n";

constexpr std::string_view kVersion = "vornet " VORNET_VERSION "\n";

[[noreturn]] void print_and_end(std::string_view text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
  recio::end_process(std::fflush(stdout) == 0 && written ? 0 : 1);
}

// Each file's run starts as a process of its own would, with the file as its
// one argument.
[[noreturn]] void run_files(int argc, char **argv) {
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    char *words[] = {argv[0], argv[i], nullptr};
    recio::begin_run(2, words);
    sao::reset_reader();
    if (recio::run_within_process(list_input) != 0) status = 1;
  }
  recio::end_process(status);
}

} // namespace

void run_command_line(int argc, char **argv) {
  if (argc == 2) {
    const std::string_view only(argv[1]);
    if (only == "--help") print_and_end(kUsage);
    if (only == "--version") print_and_end(kVersion);
  }
  if (argc <= 2) run_program();
  run_files(argc, argv);
}

} // namespace driver
