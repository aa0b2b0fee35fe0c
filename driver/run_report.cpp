#include "driver/run_report.h"

#include "recio/error_codes.h"
#include "recio/run_errors.h"

#include <charconv>
#include <utility>

namespace driver {

namespace {

using sao::PassFacts;
using sao::PassStop;

// A pass that met a line of no counts where an index should begin: a blank
// line, most often, between two records.
bool no_counts(const PassFacts &f) {
  return (f.stop == PassStop::index_rejected || f.stop == PassStop::input_ended) && f.in_index &&
         f.no_counts;
}

std::string &operator<<(std::string &s, std::string_view text) {
  return s.append(text);
}
std::string &operator<<(std::string &s, uint64_t n) {
  char digits[24];
  return s.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}
std::string &operator<<(std::string &s, int32_t n) {
  char digits[16];
  return s.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

std::string_view what_text(LineRangeKind kind) {
  switch (kind) {
  case LineRangeKind::record_not_listed:
    return "record not listed";
  case LineRangeKind::listed_record_rest:
    return "rest of listed record passed over";
  case LineRangeKind::between_records:
    return "lines between records";
  default:
    return "rest of the input not read";
  }
}

// "1 record", "2 records".
void count(std::string &s, uint64_t n, std::string_view one, std::string_view many) {
  s << n << " " << (n == 1 ? one : many);
}

} // namespace

void RunReport::begin_file(std::string_view name) {
  const Observer observer = observer_;
  void *const context = observer_context_;
  std::string kept = std::move(name_); // its storage, for the next name
  *this = RunReport{};
  name_ = std::move(kept);
  name_.assign(name);
  set_observer(observer, context);
}

void RunReport::begin_listing(std::string_view name) {
  name_.assign(name);
  listing_ = true;
}

void RunReport::pass(const PassFacts &facts) {
  if (have_pending_) settle(pending_, facts.first_line);
  pending_ = facts;
  have_pending_ = true;
}

void RunReport::end_of_input(uint64_t lines) {
  lines_ = lines;
  // The pass that met the end at the start of a record took no line.
  if (have_pending_ && pending_.first_line <= lines) settle(pending_, lines + 1);
  have_pending_ = false;
  close_span(lines + 1);
  ended_ = true;
}

void RunReport::end_file(int status, const PassFacts &current) {
  if (listing_ && !ended_ && status != 0) {
    // A run-time error ended the listing inside the current pass, which may
    // have listed its record.
    if (have_pending_) settle(pending_, current.first_line);
    if (current.listed) ++listed_;
    have_pending_ = false;
    close_span(current.first_line);
    write_span_line(LineRangeKind::not_read, current.first_line,
                    "the run ended with the run-time error reported");
    emit(LineRangeKind::not_read, current.first_line, current.first_line - 1);
  }
  std::string s;
  s << name_ << ": ";
  count(s, listed_, "record listed, ", "records listed, ");
  s << not_listed_ << " not listed, ";
  count(s, passed_over_, "line passed over\n", "lines passed over\n");
  recio::write_to_standard_error(s);
}

// The pass `f` took the lines up to `next_line`.
void RunReport::settle(const PassFacts &f, uint64_t next_line) {
  if (f.listed) {
    ++listed_;
    close_span(f.first_line);
    if (f.stop == PassStop::none) {
      emit(LineRangeKind::record_read_whole, f.first_line, next_line - 1);
      return;
    }
  }
  if (!span_.open) {
    span_ = Span{};
    span_.open = true;
    span_.first_line = f.first_line;
    span_.listed = f.listed;
    span_.why = f;
  }
  span_.index_only = span_.index_only && f.in_index;
  span_.no_counts = span_.no_counts && no_counts(f);
  span_.cut_index =
      span_.cut_index || (f.stop == PassStop::input_ended && f.in_index && !f.no_counts);
  // A line of no counts says less of what was lost than whatever comes next.
  if (no_counts(span_.why) && !no_counts(f)) span_.why = f;
}

// Names the open span, which ends before `next_line`.
void RunReport::close_span(uint64_t next_line) {
  if (!span_.open) return;
  span_.open = false;
  const uint64_t lines = next_line - span_.first_line;
  LineRangeKind kind = LineRangeKind::record_not_listed;
  if (span_.listed) {
    kind = LineRangeKind::listed_record_rest;
  } else if (span_.index_only && !span_.cut_index && (lines <= 2 || span_.no_counts)) {
    // Too short for a record (its index is two lines, its group 1 a third),
    // or lines of no counts: lines between records. An index the input cut
    // short was a record's.
    kind = LineRangeKind::between_records;
  } else {
    ++not_listed_;
  }
  passed_over_ += lines;
  write_span_line(kind, span_.first_line, why_text(span_.why));
  emit(kind, span_.first_line, next_line - 1);
}

void RunReport::emit(LineRangeKind kind, uint64_t first, uint64_t last) {
  if (observer_) observer_({kind, first, last}, observer_context_);
}

void RunReport::write_span_line(LineRangeKind kind, uint64_t first, std::string_view why) {
  std::string s;
  s << name_ << ":" << first << ": " << what_text(kind) << ": " << why << "\n";
  recio::write_to_standard_error(s);
}

std::string RunReport::why_text(const PassFacts &f) const {
  std::string s;
  const auto part = [&f](std::string &t) -> std::string & {
    if (f.in_index) return t << "count " << f.part << " of the index";
    return t << "group " << f.part;
  };
  switch (f.stop) {
  case PassStop::index_rejected:
    if (f.no_counts) return s << "no index: the line holds no counts";
    return s << "count 1 of the index is " << f.rejected_count << ", not 1 to 16";
  case PassStop::index_unreadable:
  case PassStop::group_unreadable:
    part(s) << " cannot be read at line " << f.line << ", column " << f.column;
    if (const std::string_view m = recio::message_text(f.error); !m.empty()) s << " (" << m << ")";
    return s;
  case PassStop::input_ended:
    // Lines after the place of the end: a Ctrl-Z ended the input there.
    if (f.line <= lines_) {
      s << "a Ctrl-Z at line " << f.line << ", column " << f.column << " ends the input inside ";
    } else {
      s << "the input ends inside ";
    }
    if (f.in_index) return s << "the index";
    return s << "group " << f.part;
  default:
    return s << "the record was read whole";
  }
}

} // namespace driver
