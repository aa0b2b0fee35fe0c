#include "sao/reader_state.h"

#include "sao/destination.h"
#include "sao/group_reading.h"

#include <cstring>
#include <type_traits>
#include <utility>

namespace sao {

namespace {
ReaderState g_reader;
}

ReaderState &reader() { return g_reader; }

void reset_reader() {
  ReaderState &r = g_reader;
  // Numbers zero, texts and slots NULs: all bytes zero.
  static_assert(std::is_trivially_copyable_v<RecordHead>);
  std::memset(static_cast<void *>(static_cast<RecordHead *>(&r)), 0, sizeof(RecordHead));
  const std::span<const GroupRead> rows = group_reads();
  for (size_t i = 0; i < rows.size(); ++i) {
    const int32_t stored = std::exchange(r.rows_stored[i], 0);
    if (stored == 0) continue;
    clear_elements(rows[i].destination, stored);
    if (rows[i].copy_statement != 0) clear_elements(rows[i].copy_to, stored);
  }
  for (recio::FormatHandle &format : r.slot_formats) format.reset();
  r.written_set = -1;
  // An empty plan is compiled again at its first use.
  r.group_plan.table_set = GroupPlan{}.table_set;
  r.group_plan.size = 0;
}

} // namespace sao
