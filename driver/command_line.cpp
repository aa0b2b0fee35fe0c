#include "driver/command_line.h"

#include "driver/program_flow.h"
#include "driver/run_report.h"
#include "recio/run_errors.h"
#include "recio/units.h"
#include "sao/reader_state.h"

#include <cstdio>
#include <string_view>

namespace driver {

namespace {

constexpr std::string_view kUsage =
    "Usage: vornet [--report] [--] [file ...]\n"
    "Lists the records of SAO files (scaled ionogram data) by date and time:\n"
    "one line per record, appended to preflist.s in the working directory.\n"
    "Files are listed one after the other, each as if it were named alone;\n"
    "without a file it asks for one on the console.\n"
    "\n"
    "  --report   also name on standard error, as FILE:LINE: WHAT: WHY, every\n"
    "             span of lines the listing passed over (a record not listed,\n"
    "             the rest of a listed record, lines between records), and\n"
    "             after each file: FILE: N records listed, M not listed,\n"
    "             K lines passed over\n"
    "  --         ends the options: every later argument names a file\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Example: find the damaged records of a station's archive\n"
    "  vornet --report TR169_2020*.sao 2>&1 >/dev/null |\n"
    "      grep -v ' 0 not listed, 0 lines'\n"
    "\n"
    "Exit status: 0 when every file was listed to its end, 1 when a run-time\n"
    "error (reported on standard error) ended the listing of any file.\n";

constexpr std::string_view kVersion = "vornet " VORNET_VERSION "\n";

[[noreturn]] void print_and_end(std::string_view text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
  recio::end_process(std::fflush(stdout) == 0 && written ? 0 : 1);
}

// Each file's run starts as a process of its own would, with the file as its
// one argument (none: the run asks for a name). With a report, each file's
// spans and summary follow its run.
[[noreturn]] void run_files(char *program, char **files, int count, RunReport *report) {
  set_run_report(report);
  int status = 0;
  for (int i = 0; i < count || (i == 0 && count == 0); ++i) {
    char *words[] = {program, count > 0 ? files[i] : nullptr, nullptr};
    recio::begin_run(count > 0 ? 2 : 1, words);
    sao::reset_reader();
    if (report) report->begin_file(count > 0 ? files[i] : "");
    const int run_status = recio::run_within_process(list_input);
    if (report) report->end_file(run_status, sao::pass_facts());
    if (run_status != 0) status = 1;
  }
  recio::end_process(status);
}

} // namespace

RunReport &command_line_report() {
  static RunReport report;
  return report;
}

void run_command_line(int argc, char **argv) {
  if (argc == 2) {
    const std::string_view only(argv[1]);
    if (only == "--help") print_and_end(kUsage);
    if (only == "--version") print_and_end(kVersion);
  }
  // "--report" may stand anywhere before "--", which ends the options; every
  // other word names a file. The names keep their order, gathered in argv.
  bool report = false, options = true;
  int files = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view word(argv[i]);
    if (options && word == "--") {
      options = false;
    } else if (options && word == "--report") {
      report = true;
    } else {
      argv[1 + files++] = argv[i];
    }
  }
  if (report) run_files(argv[0], argv + 1, files, &command_line_report());
  if (files != argc - 1) {
    // Options taken out: the runs see the names alone.
    if (files > 1) run_files(argv[0], argv + 1, files, nullptr);
    argv[files + 1] = nullptr;
    recio::begin_run(files + 1, argv);
    sao::reset_reader();
    run_program();
  }
  if (argc <= 2) run_program();
  run_files(argv[0], argv + 1, files, nullptr);
}

} // namespace driver
