#include "sao/time_stamp.h"

#include "recio/output_records.h"
#include "recio/run_errors.h"
#include "sao/pass_record.h"
#include "sao/reader_state.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace sao {

namespace {
constexpr size_t kListingLineLength = 25;
}

void write_listing_line() {
  ReaderState &r = reader();
  if (r.dfi[3] >= 1) {
    // Written from the characters group 3 stored: at most the 120 it holds.
    const size_t count = std::min(static_cast<size_t>(r.dfi[3]), r.time_stamp_chars.size());
    recio::set_statement(302);
    recio::write_internal_texts(r.time_stamp_text.data(), r.time_stamp_text.size(),
                                r.slot_format(4), r.time_stamp_chars.data(), 1, count);
  }
  // Positions 3-6 year, 7-9 day of year, 10-11 month, 12-13 day, then hour,
  // minute and second, counted from 1, as "YYYY.MM.DD (DDD) HH:MM:SS": the
  // record "(a,1h.,a,1h.,a,2h (,a,2h) ,a,1h:,a,1h:,a)" makes of the seven
  // pieces, composed here and written as one.
  const char *t = r.time_stamp_text.data();
  char line[kListingLineLength];
  char *at = line;
  const auto put = [&at](const char *text, size_t n) {
    std::memcpy(at, text, n);
    at += n;
  };
  put(t + 2, 4);
  put(".", 1);
  put(t + 9, 2);
  put(".", 1);
  put(t + 11, 2);
  put(" (", 2);
  put(t + 6, 3);
  put(") ", 2);
  put(t + 13, 2);
  put(":", 1);
  put(t + 15, 2);
  put(":", 1);
  put(t + 17, 2);
  recio::set_statement(334);
  recio::write_record(kListUnit, std::string_view(line, sizeof line));
  note_listed();
}

} // namespace sao
