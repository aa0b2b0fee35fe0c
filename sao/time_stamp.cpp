#include "sao/time_stamp.h"

#include "recio/output_records.h"
#include "recio/run_errors.h"
#include "sao/reader_state.h"

#include <algorithm>
#include <string_view>

namespace sao {

void write_listing_line() {
  ReaderState &r = reader();
  if (r.dfi[3] >= 1) {
    // Written from the characters group 3 stored: at most the 120 it holds.
    const size_t count = std::min(static_cast<size_t>(r.dfi[3]), r.time_stamp_chars.size());
    recio::set_statement(302);
    recio::WriteStatement write(r.time_stamp_text.data(), r.time_stamp_text.size(), r.slot(4));
    write.texts(r.time_stamp_chars.data(), 1, count);
    write.finish();
  }
  // Positions 3-6 year, 7-9 day of year, 10-11 month, 12-13 day, then hour,
  // minute and second, counted from 1.
  const std::string_view t(r.time_stamp_text.data(), r.time_stamp_text.size());
  recio::set_statement(334);
  recio::write_formatted(kListUnit, "(a,1h.,a,1h.,a,2h (,a,2h) ,a,1h:,a,1h:,a)",
                         {t.substr(2, 4), t.substr(9, 2), t.substr(11, 2), t.substr(6, 3),
                          t.substr(13, 2), t.substr(15, 2), t.substr(17, 2)});
}

} // namespace sao
