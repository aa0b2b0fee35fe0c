#include "driver/program_flow.h"

#include "driver/prescan.h"
#include "driver/run_report.h"
#include "recio/field_input.h"
#include "recio/output_records.h"
#include "recio/run_errors.h"
#include "recio/units.h"
#include "sao/group_reading.h"
#include "sao/index_and_formats.h"
#include "sao/reader_state.h"
#include "sao/time_stamp.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace driver {

namespace {

recio::TracebackFrame g_frame{nullptr, "vornet", "_main", 0};
RunReport *g_report = nullptr;

// One pass of the record loop; false when the input has ended.
bool read_one_record() {
  switch (sao::read_index()) {
  case sao::Outcome::end_of_input:
    return false;
  case sao::Outcome::index_error:
    return sao::resync_read() != sao::Outcome::end_of_input;
  default:
    break;
  }
  if (!sao::index_valid()) {
    sao::reject_index();
    return true;
  }
  sao::build_format_table();
  switch (sao::read_leading_groups()) {
  case sao::Outcome::end_of_input:
    return false;
  case sao::Outcome::record_abandoned:
    return true;
  default:
    break;
  }
  sao::write_listing_line();
  return sao::read_groups() != sao::Outcome::end_of_input;
}

} // namespace

void list_input() {
  recio::push_traceback_frame(g_frame);
  const int32_t input_unit = sao::kInputUnit;

  // The input must exist: a mistyped name is an error, not an empty listing.
  recio::set_statement(166);
  recio::connect_unit(input_unit, " ", "", 120, "OLD");
  recio::set_statement(167);
  recio::connect_unit(sao::kListUnit, "preflist.s", "append");

  prescan();

  recio::set_statement(196);
  recio::rewind_unit(input_unit);

  std::array<char, 80> input_name;
  input_name.fill(' ');
  const int32_t argument_count = recio::argument_count();
  const int16_t argument_index = 1;
  if (argument_index + 1 <= argument_count) {
    int16_t length = 0;
    recio::get_argument(argument_index, input_name.data(), input_name.size(), length);
    std::string_view name(input_name.data(), input_name.size());
    const size_t last = name.find_last_not_of(' ');
    name = last == std::string_view::npos ? std::string_view() : name.substr(0, last + 1);
    recio::set_statement(209);
    recio::write_list(recio::kConsoleOutput, {name});
  } else {
    recio::set_statement(205);
    recio::write_list(recio::kConsoleOutput, {" enter the input filename:"});
    recio::set_statement(206);
    recio::ReadStatement read(recio::kConsoleInput, "(a)", recio::kNoHandling);
    read.item(input_name.data(), input_name.size());
    read.finish();
  }

  recio::set_statement(213);
  recio::write_formatted(sao::kListUnit, "(a/)", {"  Date (Day of year) Time"});

  if (!g_report) {
    while (read_one_record()) {
    }
  } else {
    g_report->begin_listing(recio::unit_name(input_unit));
    for (bool more = true; more;) {
      more = read_one_record();
      g_report->pass(sao::pass_facts());
    }
    g_report->end_of_input(recio::count_lines_to_end(input_unit));
  }
  recio::set_statement(652);
}

void set_run_report(RunReport *report) {
  g_report = report;
}

void run_program() {
  list_input();
  recio::stop_run();
}

} // namespace driver
