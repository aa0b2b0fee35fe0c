#pragma once

#include <cstdint>

namespace sao {

// What a step of the reader tells the record loop.
enum class Outcome : uint8_t {
  index_read,
  index_error,
  resynced,
  leading_groups_read,
  record_complete,
  record_abandoned,
  end_of_input,
};

} // namespace sao
