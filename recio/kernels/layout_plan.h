// The plan of a layout: bit masks of its columns over a block of fields, and
// the constants of its conversion. Built once per layout and kept in a small
// cache, as a run usually has the layouts of the runs before it.
#pragma once

#include "recio/kernels/byte_classes.h"
#include "recio/kernels/field_layout.h"
#include "recio/kernels/lane_layout.h"

#include <cstddef>
#include <cstdint>

namespace recio::kernels {

struct LevelStages;

struct LayoutPlan {
  FieldLayout layout;
  size_t fields = 0; // fields in a full block
  uint64_t start[kBlockWords] = {};
  uint64_t prefix[kBlockWords] = {};
  uint64_t point[kBlockWords] = {};
  uint64_t digit[kBlockWords] = {};
  uint64_t letter[kBlockWords] = {};
  uint64_t sign[kBlockWords] = {};
  // Conversion: the mantissa ends at byte 7 of its (last) word.
  int hi_shift = 0;          // left shift of the word at the field start, in bits
  int point_byte = -1;       // byte of the point in the word holding it
  bool point_in_hi = false;  // two words: the point is in the first
  uint64_t prefix_bytes = 0; // bytes of the prefix in the first word
  int32_t fraction = 0;
  LaneLayout lanes; // many fields at a time, where the layout allows
  // The level whose lanes were last found to take runs of this layout whole
  // (run_loop.cpp), so that is not worked out again for every run.
  mutable const LevelStages *whole_runs_level = nullptr;
};

// How many live layouts the cache keeps; another one takes the oldest slot.
inline constexpr size_t kPlanCacheSize = 8;

// The plan of `l`, a layout layout_of() gave, from the cache or built into
// it. The reference stays valid, but another layout may take its slot later.
const LayoutPlan &plan_for(const FieldLayout &l);

} // namespace recio::kernels
