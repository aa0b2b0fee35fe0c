// Groups 4 to 60 of a record.
#pragma once

#include "sao/destination.h"
#include "sao/outcome.h"

#include <cstdint>
#include <span>

namespace sao {

enum class VersionCondition : uint8_t { any, below_2, from_2 };

// One read statement of the group table.
struct GroupRead {
  int16_t statement;
  uint8_t group; // the DFI entry that counts its values
  uint8_t guard; // the DFI entry that decides whether it runs
  VersionCondition version;
  uint8_t slot;
  Destination destination;
  bool ignores_errors; // an error goes on with the next row instead of abandoning
  // After a successful read, the group's other form is filled from this one.
  int16_t copy_statement;
  Destination copy_to;
};

// The 68 rows in reading order, bound to the reader's group store.
std::span<const GroupRead> group_reads();

// record_complete, record_abandoned or end_of_input.
Outcome read_groups();

} // namespace sao
