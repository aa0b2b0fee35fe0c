// Runs of canonical numeric fields: the vector stage classifies the bytes of
// a block of fields, one pass of bit logic finds the first field that breaks
// the run's layout, and the fields before it are converted, many at once by
// the lanes of a level that has them and the rest by the scalar stage. A
// block ends early at a field that is not canonical or whose power of ten is
// not exact; the caller reads that field through the one-field path.
#include "recio/kernels/run_loop.h"

#include "recio/kernels/block_check.h"
#include "recio/kernels/field_layout.h"
#include "recio/kernels/layout_plan.h"
#include "recio/kernels/word_conversion.h"

#include <algorithm>
#include <type_traits>

namespace recio::kernels {

namespace {

// The lanes over `n` fields of a block; the target moves past what they took.
template <class T>
size_t convert_lanes(const LaneStage &stage, const LayoutPlan &plan, const char *block, size_t n,
                     bool checked, Target<T> &to) {
  size_t converted;
  if constexpr (std::is_same_v<T, int32_t>) {
    converted = stage.ints(plan.lanes, block, n, checked, to.out);
  } else if constexpr (std::is_same_v<T, float>) {
    converted = stage.floats(plan.lanes, block, n, checked, to.out, to.stride);
  } else {
    converted = stage.doubles(plan.lanes, block, n, checked, to.out, to.stride);
  }
  to.out += static_cast<ptrdiff_t>(converted) * to.stride;
  return converted;
}

// The two plans last used for fields of each width and kind, the last one
// first: a run usually has the layout of an earlier run of its width, so its
// first field is not looked at twice. Two, as groups of two layouts of one
// width often alternate (fixed-point and exponent fields of eight columns).
// The plan cache may have given either slot to another layout since.
struct RecentPlans {
  const LayoutPlan *plan[2] = {};

  void use(const LayoutPlan &p) {
    if (plan[0] == &p) return;
    plan[1] = plan[0];
    plan[0] = &p;
  }
  // The plan of the two whose point and exponent letter the field at `f`
  // has, made the last one; null when neither. A guess: the lanes check
  // every field.
  const LayoutPlan *matching(const char *f, int32_t width, bool real) {
    for (int i = 0; i < 2; ++i) {
      const LayoutPlan *p = plan[i];
      if (!p || p->layout.width != width || p->layout.real != real) continue;
      const FieldLayout &l = p->layout;
      if (real && (f[l.point] != kPoint || (l.exponent < width && f[l.exponent] != kLetter)))
        continue;
      if (i == 1) use(*p);
      return p;
    }
    return nullptr;
  }
};
RecentPlans g_recent[2][kMaxKernelWidth + 1];

// Whether the lanes take fields of `plan` straight from the run, checking
// each group of them themselves; worked out once per plan and level.
template <class T>
bool lanes_check_groups(const LevelStages &level, const LayoutPlan &plan, Target<T> to) {
  if (to.stride != 1 && to.stride != 0) return false;
  if (plan.whole_runs_level == &level) return true;
  const bool whole = level.lanes.ints && plan.lanes.usable &&
                     (!level.lanes.takes || level.lanes.takes(plan.lanes)) &&
                     level.lanes.checks_groups_from > 0 &&
                     plan.layout.width >= level.lanes.checks_groups_from;
  if (whole) plan.whole_runs_level = &level;
  return whole;
}

// Walks the run from field `done` block by block: classify, check, convert;
// at a vector level with lanes they convert, and check wide fields
// themselves.
template <class T>
[[gnu::noinline]] size_t run_blocks(const LevelStages &level, const char *p, size_t count,
                                    int32_t width, Target<T> to, size_t done) {
  constexpr bool real = !std::is_same_v<T, int32_t>;
  RecentPlans &recent = g_recent[real][width];
  const size_t w = static_cast<size_t>(width);
  ClassMasks masks;
  const LayoutPlan *last = recent.plan[0];
  while (done < count) {
    const char *block = p + done * w;
    FieldLayout own;
    if (last && (last->layout.width != width || last->layout.real != real)) last = nullptr;
    if (!last) {
      if (!layout_of(block, width, real, own)) return done;
      last = &plan_for(own);
      recent.use(*last);
    }
    const size_t n = std::min(count - done, last->fields);
    const bool lanes = level.lanes.ints && last->lanes.usable &&
                       (!level.lanes.takes || level.lanes.takes(last->lanes)) &&
                       (to.stride == 1 || to.stride == 0);
    if (lanes && level.lanes.checks_groups_from > 0 && width >= level.lanes.checks_groups_from) {
      // Wide fields: the lanes check their own groups as they convert them,
      // so no block of classified bytes bounds them: they take the run.
      done += convert_lanes(level.lanes, *last, block, count - done, false, to);
      if (done == count) break;
      // Another layout takes over where a block of the levels that classify
      // blocks would start, as it does at those levels; anywhere else, or
      // with the same layout, the run stops here.
      if (done % last->fields != 0 || !layout_of(p + done * w, width, real, own) ||
          own == last->layout)
        break;
      last = &plan_for(own); // the next turn takes it
      recent.use(*last);
      continue;
    }
    level.classify(block, n * w, masks);
    const size_t ok = check_block(*last, masks, n);
    if (ok == 0) {
      // Another layout, or no canonical field here.
      if (!layout_of(block, width, real, own) || own == last->layout) return done;
      last = &plan_for(own); // the next turn takes it
      recent.use(*last);
      continue;
    }
    size_t converted = lanes ? convert_lanes(level.lanes, *last, block, ok, true, to) : 0;
    if (converted < ok)
      converted += convert_words(*last, block + converted * w, ok - converted, to);
    done += converted;
    if (converted < n) break;
  }
  return done;
}

// The usual run has the layout of an earlier one, and at a level whose lanes
// check wide fields themselves they take it whole: that is tried first, and
// the walk block by block takes over from where it stops (where the lanes
// take no field at once, as they stopped there).
template <class T>
size_t run_kernel(const LevelStages &level, const char *p, size_t count, int32_t width,
                  Target<T> to) {
  constexpr bool real = !std::is_same_v<T, int32_t>;
  if (count == 0 || width < 1 || width > kMaxKernelWidth) return 0;
  size_t done = 0;
  if (level.lanes.checks_groups_from > 0 && width >= level.lanes.checks_groups_from) {
    const LayoutPlan *plan = g_recent[real][width].matching(p, width, real);
    if (plan && lanes_check_groups(level, *plan, to)) {
      done = convert_lanes(level.lanes, *plan, p, count, false, to);
      if (done == count) return done;
    }
  }
  return run_blocks(level, p, count, width, to, done);
}

} // namespace

size_t convert_int_run(const LevelStages &level, const char *p, size_t count, int32_t width,
                       int32_t *out) {
  return run_kernel(level, p, count, width, Target<int32_t>{out, 1});
}

size_t convert_real_run(const LevelStages &level, const char *p, size_t count, int32_t width,
                        float *out, ptrdiff_t stride) {
  return run_kernel(level, p, count, width, Target<float>{out, stride});
}

size_t convert_real_run(const LevelStages &level, const char *p, size_t count, int32_t width,
                        double *out, ptrdiff_t stride) {
  return run_kernel(level, p, count, width, Target<double>{out, stride});
}

} // namespace recio::kernels

namespace recio {

size_t convert_int_run(KernelLevel level, const char *p, size_t count, int32_t width,
                       int32_t *out) {
  return kernels::convert_int_run(kernels::stages_of(level), p, count, width, out);
}

// Every canonical real has its point, which overrides d.
size_t convert_real_run(KernelLevel level, const char *p, size_t count, int32_t width, int32_t,
                        float *out, ptrdiff_t stride) {
  return kernels::convert_real_run(kernels::stages_of(level), p, count, width, out, stride);
}

size_t convert_real_run(KernelLevel level, const char *p, size_t count, int32_t width, int32_t,
                        double *out, ptrdiff_t stride) {
  return kernels::convert_real_run(kernels::stages_of(level), p, count, width, out, stride);
}

} // namespace recio
