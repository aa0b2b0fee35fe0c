// What one pass of the record loop met, as plain facts: where it began, whether
// its record was listed, and what stopped it short of a record read whole. The
// reader keeps them as it reads; the listing needs none of them, a report of
// what the listing passed over needs all of them.
#pragma once

#include <cstdint>

namespace sao {

enum class PassStop : uint8_t {
  none,             // the record was read whole
  index_unreadable, // a count of the index could not be read
  index_rejected,   // the index read, but DFI(1) is not 1 to 16
  group_unreadable, // a field of a group could not be read
  input_ended,      // the input ended inside the index or a group
};

struct PassFacts {
  // The line the pass began on, from 1. An index line carried over from the
  // pass before (the second line of a rejected index) is this pass's line.
  uint64_t first_line = 0;
  bool listed = false;
  PassStop stop = PassStop::none;
  // What the stop met: a count of the index (1 to 80) or a group (1 to 60).
  bool in_index = false;
  int32_t part = 0;
  // Where it met it: the line and column (from 1) of the field that could not
  // be read, or where the input ended; and the error number of the field.
  uint64_t line = 0;
  uint64_t column = 0;
  int32_t error = 0;
  // A rejected index: its DFI(1). An index rejected or cut short by the end
  // of the input: whether the counts it read were all 0, as a blank line
  // reads.
  int32_t rejected_count = 0;
  bool no_counts = false;
};

} // namespace sao
