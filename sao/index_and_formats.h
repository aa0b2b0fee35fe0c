// The data file index, the format table and groups 1 to 3.
#pragma once

#include "sao/outcome.h"

namespace sao {

// Reads DFI(1) to DFI(80): index_read, index_error or end_of_input.
Outcome read_index();
// Passes over the rest of the line an index read failed in: resynced or end_of_input.
Outcome resync_read();
// DFI(1) within 1 to 16.
bool index_valid();
// After an index that read cleanly and failed index_valid(): its second line
// may be the first line of the next record's index (the line before it was a
// blank line or the last line of a damaged record), so the next read_index()
// starts on that line. A rejected index then costs one line, not two, and a
// stray line before a record never swallows the record's first index line.
void reject_index();
// Fills the format slots for the record's format version.
void build_format_table();
// Groups 1, 2 and 3: leading_groups_read, record_abandoned or end_of_input.
Outcome read_leading_groups();

} // namespace sao
