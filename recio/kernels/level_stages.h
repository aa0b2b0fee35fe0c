// The stages each instruction set implements, in the folder of its name with
// the same file names: classify.cpp (bytes to class bits) and, where the
// level has them, lanes.cpp (many fields converted at once). The run loop
// takes a level's stages as a table, so a test can hand it another table,
// such as the x86 stages built against portable definitions of their
// intrinsics (emulated.h).
#pragma once

#include "recio/kernels/byte_classes.h"
#include "recio/kernels/lane_layout.h"

#include <cstddef>
#include <cstdint>

namespace recio::kernels {

// Classifies `n` bytes (at most kBlockBytes) at `p` into the first
// ceil(n / 64) words of each mask; bits past `n` are 0. May load up to
// kKernelPadding bytes past `p + n`.
using Classify = void (*)(const char *p, size_t n, ClassMasks &m);

// Converts the first `n` fields from `p`, a group of lanes at a time, and
// returns how many it converted: all of them, or fewer at the first field
// that breaks the layout or, for reals, at the first whose power of ten is
// not exact (the scalar stage and the one-field path go on from there). The
// lanes check each group against the layout themselves unless `checked` says
// the fields were checked already. A `stride` of 0 stores every value in
// out[0], so the last one stays. Loads no more than kKernelPadding bytes
// past the fields (the AVX-512 and NEON lanes none at all).
struct LaneStage {
  // Whether the lanes take a usable layout; null: every one.
  bool (*takes)(const LaneLayout &l);
  // The narrowest fields that go to the lanes unchecked, as checking a
  // group costs these lanes less than classifying the block first; 0: none.
  int32_t checks_groups_from;
  size_t (*ints)(const LaneLayout &l, const char *p, size_t n, bool checked, int32_t *out);
  size_t (*floats)(const LaneLayout &l, const char *p, size_t n, bool checked, float *out,
                   ptrdiff_t stride);
  size_t (*doubles)(const LaneLayout &l, const char *p, size_t n, bool checked, double *out,
                    ptrdiff_t stride);
};

// Where a group's own check pays at each x86 level: the AVX-512 lanes
// classify a group in one vector but gain nothing on narrow fields, whose
// block is classified as cheaply; the AVX2 lanes gain from three columns on.
inline constexpr int32_t kAvx2ChecksGroupsFrom = 3;
inline constexpr int32_t kAvx512ChecksGroupsFrom = 6;

struct LevelStages {
  const char *name;
  Classify classify;
  LaneStage lanes; // all null where the scalar stage converts every field
};

// The tests compile the vector level sources a second time against portable
// definitions of their intrinsics; those copies live in namespaces of their
// own, such as avx512_emulated.
#ifdef VORNET_KERNELS_EMULATED
#define VORNET_LEVEL(name) name##_emulated
#else
#define VORNET_LEVEL(name) name
#endif

#define VORNET_DECLARE_LANES                                                                      \
  size_t convert_lanes(const LaneLayout &l, const char *p, size_t n, bool checked,                \
                       int32_t *out);                                                             \
  size_t convert_lanes(const LaneLayout &l, const char *p, size_t n, bool checked, float *out,    \
                       ptrdiff_t stride);                                                         \
  size_t convert_lanes(const LaneLayout &l, const char *p, size_t n, bool checked, double *out,   \
                       ptrdiff_t stride);

namespace portable {
void classify(const char *p, size_t n, ClassMasks &m);
}
namespace VORNET_LEVEL(avx2) {
void classify(const char *p, size_t n, ClassMasks &m);
// Lanes that load an eight-byte window of each field per part: they take
// the layouts whose parts each fit one.
bool takes(const LaneLayout &l);
VORNET_DECLARE_LANES
}
namespace VORNET_LEVEL(avx512) {
void classify(const char *p, size_t n, ClassMasks &m);
VORNET_DECLARE_LANES
}
namespace VORNET_LEVEL(neon) {
void classify(const char *p, size_t n, ClassMasks &m);
VORNET_DECLARE_LANES
}

} // namespace recio::kernels
