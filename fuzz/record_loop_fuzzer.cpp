// The whole run over a fuzzed SAO file, in process: connections, pre-scan,
// header, the record loop and the end of the run. Every run must end through
// the stop (status 0, nothing on standard error) or a run-time error report
// (status 1), and leave a list file of whole records: an optional pre-scan
// message, the header, an empty record and 25-character listing lines.
//
// Every file is run a second time with every value and text line read
// through read statements (whole lines off): the two runs must end alike,
// with the same console output, report and list file. A file whose carriage
// returns all stand before line feeds is run once more with the other line
// ends (CR LF for LF, or LF for CR LF), with the same outcome.
#include "harness.h"

#include "driver/program_flow.h"
#include "recio/line_runs.h"
#include "sao/reader_state.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

using fuzzing::finding;

constexpr std::string_view kHeader = "  Date (Day of year) Time\r\n\r\n";

bool is_prescan_message(std::string_view line) {
  for (std::string_view text : {std::string_view(" -----> Blank line in sao file @ line "),
                                std::string_view(" -----> Nul character in sao file @ line "),
                                std::string_view(" -----> \"*\" in sao file @ line ")}) {
    if (line.size() == text.size() + 8 + 7 && line.substr(0, text.size()) == text &&
        line.substr(text.size() + 8) == " <-----")
      return true;
  }
  return false;
}

// YYYY.MM.DD (DDD) HH:MM:SS with whatever characters stand in the fields.
bool is_listing_line(std::string_view line) {
  if (line.size() != 25) return false;
  if (line.find_first_of("\r\n") != std::string_view::npos) return false;
  return line[4] == '.' && line[7] == '.' && line.substr(10, 2) == " (" &&
         line.substr(15, 2) == ") " && line[19] == ':' && line[22] == ':';
}

void check_list(std::string_view list, bool stopped) {
  const std::string_view all = list;
  const size_t first_end = list.find("\r\n");
  if (first_end != std::string_view::npos && is_prescan_message(list.substr(0, first_end)))
    list.remove_prefix(first_end + 2);
  if (list.empty()) {
    if (stopped) finding("the stop without a list header", all);
    return;
  }
  if (list.substr(0, kHeader.size()) != kHeader) finding("list file without its header", all);
  list.remove_prefix(kHeader.size());
  while (!list.empty()) {
    if (list.size() < 27 || list.substr(25, 2) != "\r\n" || !is_listing_line(list.substr(0, 25)))
      finding("malformed listing line", all);
    list.remove_prefix(27);
  }
}

struct Run {
  int status = -1;
  std::string out, err, list;
};

Run run_once(const char *data, size_t size) {
  ::unlink("preflist.s");
  fuzzing::write_file("in.sao", data, size);
  fuzzing::start_run({"in.sao"});
  sao::reset_reader();
  Run r;
  try {
    driver::run_program();
  } catch (const fuzzing::RunEnded &e) {
    r.status = e.status;
  }
  r.err = fuzzing::console_err();
  r.out = fuzzing::console_out();
  r.list = fuzzing::read_file("preflist.s");
  if (r.status == 0) {
    if (!r.err.empty()) finding("status 0 with a report", r.err);
    if (r.out.find("Stop - Program terminated.\r\n") == std::string::npos)
      finding("status 0 without the stop message", r.out);
  } else if (r.status == 1) {
    fuzzing::check_reports(r.err, true);
  } else {
    finding("exit status other than 0 and 1", std::to_string(r.status));
  }
  check_list(r.list, r.status == 0);
  return r;
}

// The same text with the other line ends: a carriage return before a line
// feed is part of the line end. Empty when the text has a carriage return
// anywhere else.
std::string other_line_ends(std::string_view text) {
  std::string other;
  const bool crlf = text.find("\r\n") != std::string_view::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      if (i + 1 >= text.size() || text[i + 1] != '\n') return {};
      continue; // dropped; the line feed follows
    }
    if (c == '\n' && !crlf) other += '\r';
    other += c;
  }
  return other;
}

bool same_run(const Run &a, const Run &b) {
  return a.status == b.status && a.err == b.err && a.out == b.out && a.list == b.list;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzzing::enter_work_dir();
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  const Run first = run_once(text.data(), text.size());
  recio::set_whole_lines(false);
  const Run statements = run_once(text.data(), text.size());
  recio::set_whole_lines(true);
  if (!same_run(first, statements))
    finding("the run depends on reading whole lines straight from the buffer",
            first.err + first.list + "|" + statements.err + statements.list);
  const std::string other = other_line_ends(text);
  if (!other.empty()) {
    const Run second = run_once(other.data(), other.size());
    if (!same_run(first, second))
      finding("the run depends on the style of line end",
              first.err + first.list + "|" + second.err + second.list);
  }
  return 0;
}
