#include "sao/reader_state.h"

#include "sao/destination.h"
#include "sao/group_reading.h"

#include <utility>

namespace sao {

namespace {
ReaderState g_reader;
}

ReaderState &reader() { return g_reader; }

void reset_reader() {
  ReaderState &r = g_reader;
  static_cast<RecordHead &>(r) = RecordHead{};
  const std::span<const GroupRead> rows = group_reads();
  for (size_t i = 0; i < rows.size(); ++i) {
    const int32_t stored = std::exchange(r.rows_stored[i], 0);
    clear_elements(rows[i].destination, stored);
    if (rows[i].copy_statement != 0) clear_elements(rows[i].copy_to, stored);
  }
  for (recio::FormatHandle &format : r.slot_formats) format = {};
  r.written_set = -1;
  r.group_plan = GroupPlan{};
}

} // namespace sao
