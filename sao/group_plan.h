// The group reads compiled for one format table: the rows a record's version
// runs, in order, each with the line shape of its slot, so that whole lines of
// canonical fields go through the field kernels and only the rest through a
// read statement.
#pragma once

#include "recio/line_runs.h"
#include "sao/group_reading.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace sao {

// What whole lines of a step's shape read its values into.
enum class LinesInto : uint8_t { none, ints, floats, doubles, one_float };

struct PlanStep {
  const GroupRead *row = nullptr;
  recio::LineShape shape;
  LinesInto lines = LinesInto::none; // none: every value through a read statement
};

struct GroupPlan {
  int32_t table_set = -2; // the format table it was compiled for
  bool from_version_2 = false;
  std::array<PlanStep, 68> steps;
  size_t size = 0;
  // The steps read groups in increasing order, each group at most once: the
  // step of each group, and the groups that have one as bits, so that a
  // record's groups are found from its counts rather than by every step.
  std::array<uint8_t, 64> step_of_group{};
  uint64_t groups = 0;
};

} // namespace sao
