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

struct PlanStep {
  const GroupRead *row = nullptr;
  recio::LineShape shape; // none: every value through a read statement
};

struct GroupPlan {
  int32_t table_set = -2; // the format table it was compiled for
  bool from_version_2 = false;
  std::array<PlanStep, 68> steps;
  size_t size = 0;
};

} // namespace sao
