// What --report writes to standard error for each file: one line for each
// span of the input that the listing passed over, in the form compilers and
// grep use (NAME:LINE: WHAT: WHY, LINE the span's first line), and after the
// file a summary (NAME: N records listed, M not listed, K lines passed over).
// Composed here alone, from the facts the reader keeps of each pass of the
// record loop: every line of the input belongs either to a record read whole
// or to a span named here.
#pragma once

#include "sao/pass_facts.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace driver {

// What a range of lines of the input was.
enum class LineRangeKind : uint8_t {
  record_read_whole,
  record_not_listed,
  listed_record_rest, // a listed record whose later groups were passed over
  between_records,    // stray or blank lines that belong to no record
  not_read,           // the rest of the input, after a run-time error ended the run
};

struct LineRange {
  LineRangeKind kind;
  uint64_t first_line;
  uint64_t last_line; // first_line - 1 for a range of no line
};

class RunReport {
public:
  // Sees every range as it is settled, records read whole included: for tests
  // that check the ranges cover the input.
  using Observer = void (*)(const LineRange &range, void *context);
  void set_observer(Observer observer, void *context) {
    observer_ = observer;
    observer_context_ = context;
  }

  // A file's run begins; `name` names it until the input is connected.
  void begin_file(std::string_view name);
  // The record loop begins on the input connected as `name`.
  void begin_listing(std::string_view name);
  // A pass of the record loop has ended.
  void pass(const sao::PassFacts &facts);
  // The record loop met the end of the input, which holds `lines` lines.
  void end_of_input(uint64_t lines);
  // The file's run has ended with `status`; when a run-time error ended the
  // listing, `current` is the pass it stopped. Writes the summary.
  void end_file(int status, const sao::PassFacts &current);

private:
  struct Span {
    bool open = false;
    uint64_t first_line = 0;
    bool listed = false;    // it began with a listed record
    bool index_only = true; // every pass in it stopped in the index
    bool no_counts = true;  // every pass in it was a line of no counts
    bool cut_index = false; // an index with counts in it was cut short by the end
    sao::PassFacts why;     // the pass that says why
  };

  void settle(const sao::PassFacts &facts, uint64_t next_line);
  void close_span(uint64_t next_line);
  void emit(LineRangeKind kind, uint64_t first, uint64_t last);
  void write_span_line(LineRangeKind kind, uint64_t first, std::string_view why);
  std::string why_text(const sao::PassFacts &facts) const;

  std::string name_;
  bool listing_ = false;
  bool ended_ = false;
  bool have_pending_ = false;
  sao::PassFacts pending_; // the last pass, whose last line the next one tells
  Span span_;
  uint64_t lines_ = 0; // the input's lines, once its end is met
  uint64_t listed_ = 0, not_listed_ = 0, passed_over_ = 0;
  Observer observer_ = nullptr;
  void *observer_context_ = nullptr;
};

} // namespace driver
