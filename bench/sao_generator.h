// Realistic SAO files for the benchmark and the tests.
//
// Every record is a complete scaled ionogram of a current sounder: the data
// file index, the station constants, the description line, the time-stamp
// group and the traces, parameters, polynomial coefficients and profile of
// groups 4 to 56, each written through the fixed-column layout its format
// version gives it. Fields run together without separating blanks where the
// values fill their width, and every line ends at its last field. Records
// take between 60 and 150 lines.
//
//   saogen::GeneratorOptions options;
//   options.records = 1000;
//   std::vector<std::string> listing;
//   saogen::generate(options, out_stream, &listing);
//
// Generation streams: a file of any size is written in chunks, never held whole.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace saogen {

struct DateTime {
  int year = 2021;
  int month = 2;
  int day = 1;
  int hour = 9;
  int minute = 30;
  int second = 0;
  friend bool operator==(const DateTime &, const DateTime &) = default;
};

bool is_leap_year(int year);
// 1 for January 1st.
int day_of_year(int year, int month, int day);
// `t` moved by `seconds` (either sign) across days, months and years.
DateTime advance(const DateTime &t, int64_t seconds);
// YYYYDDDMMDDHHMMSS, as group 3 holds it from its third character on.
std::string time_stamp_digits(const DateTime &t);
// YYYY.MM.DD (DDD) HH:MM:SS, as the listing shows a record.
std::string listing_line(const DateTime &t);
// Reads YYYY-MM-DD or YYYY-MM-DDTHH:MM:SS; false when `text` is neither.
bool parse_date_time(std::string_view text, DateTime &t);

enum class LineEnds : uint8_t {
  lf,
  crlf,
  mixed, // carriage return and line feed, but a line feed alone after group 3
};

struct GeneratorOptions {
  uint64_t records = 100;    // 0: no limit on the number of records
  uint64_t target_bytes = 0; // nonzero: stop after the record that reaches this size
  uint64_t seed = 1;
  DateTime start{};
  int64_t cadence_seconds = 300; // between successive records' time stamps
  // DFI(80). 2 gives the older layout with an "FE" time-stamp group of 120
  // characters; 4 and 5 give the "FF" group of 77 characters of current files.
  int format_version = 2;
  LineEnds line_ends = LineEnds::crlf;
};

struct GeneratedRecord {
  DateTime time;
  uint32_t lines = 0;
  uint64_t bytes = 0;
};

class SaoGenerator {
public:
  explicit SaoGenerator(const GeneratorOptions &options);

  // Appends the next record to `out`.
  GeneratedRecord append_record(std::string &out);

private:
  struct Station {
    std::string constants;   // group 1 line
    std::string description; // group 2 line
    std::string settings;    // group 3 after the time stamp
    double base_frequency;
  };

  uint64_t next();
  int64_t uniform(int64_t lo, int64_t hi); // inclusive
  bool chance(int percent);

  void choose_counts(std::array<int32_t, 81> &dfi);
  void end_line(std::string &out, bool after_time_stamp = false);

  GeneratorOptions options_;
  uint64_t state_;
  Station station_;
  DateTime time_;
  uint64_t produced_ = 0;
};

struct GenerationSummary {
  uint64_t records = 0;
  uint64_t bytes = 0;
  uint64_t lines = 0;
};

using ChunkSink = std::function<void(std::string_view chunk)>;
using RecordObserver = std::function<void(const GeneratedRecord &record)>;

// Writes the records of `options` to `sink` in chunks of about a megabyte.
GenerationSummary generate(const GeneratorOptions &options, const ChunkSink &sink,
                           const RecordObserver &observer = {});
// The same into a stream; `listing` receives each record's listing line.
GenerationSummary generate(const GeneratorOptions &options, std::ostream &out,
                           std::vector<std::string> *listing = nullptr);
// The same into a string, for files small enough to hold.
std::string generate_text(const GeneratorOptions &options,
                          std::vector<std::string> *listing = nullptr);

// One line of `bytes` characters of trace heights, with no line end at all.
void write_long_line(uint64_t bytes, const ChunkSink &sink);

} // namespace saogen
