// Where the records held in a file connection's output buffer end, so that a
// failed write can cut the file back to the end of its last whole record.
#pragma once

#include "recio/host/host.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace recio {

struct RecordEnds {
  host::Offset base = 0;      // file offset of the first held byte
  host::Offset whole_end = 0; // file offset after the last whole record in the file
  size_t last_end = 0;        // held bytes through the last record end held; 0 for none
  // One bit per held byte, set on the last byte of a record (its line feed).
  std::unique_ptr<uint8_t[]> bits;
};

} // namespace recio
