// Runs whose shape the kernels must follow: layouts that change mid-run,
// more live layouts than the plan cache holds, and integer runs longer than
// a block. At every level the fields a kernel takes convert as the one-field
// path converts them, and all levels take the same fields.
#include "kernel_check.h"

#include "recio/kernels/byte_classes.h"
#include "recio/kernels/layout_plan.h"

#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace kernel_check;

// The run as a reader takes it: the kernel from the first field not yet
// read; where it takes none, the one-field path reads one. Returns the
// kernel's takes in order.
std::vector<size_t> walk(const Level &level, const Descriptor &d,
                         const std::vector<std::string> &fields) {
  std::vector<size_t> takes;
  for (size_t at = 0; at < fields.size();) {
    const std::vector<std::string> rest(fields.begin() + static_cast<ptrdiff_t>(at), fields.end());
    const size_t taken = check_run(level, d, rest);
    takes.push_back(taken);
    at += taken > 0 ? taken : 1;
  }
  return takes;
}

// The takes of every level, which must agree; returns the first level's.
std::vector<size_t> walk_all(const Descriptor &d, const std::vector<std::string> &fields) {
  std::vector<size_t> first;
  for (const Level &level : levels()) {
    const std::vector<size_t> takes = walk(level, d, fields);
    if (&level == &levels().front()) first = takes;
    EXPECT_EQ(takes, first) << level.name << " " << d.name;
  }
  return first;
}

size_t sum(const std::vector<size_t> &v) {
  size_t s = 0;
  for (size_t x : v) s += x;
  return s;
}

std::string digits(std::mt19937_64 &rng, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>('0' + rng() % 10);
  return s;
}

// A canonical real field of `width` columns with its point in column
// `point` and, when `exponent` < `width`, the exponent letter there; the
// exponent stays small, so its power of ten is exact.
std::string field_of_layout(std::mt19937_64 &rng, int width, int point, int exponent) {
  const int lead = point == 0 ? 0 : static_cast<int>(rng() % static_cast<unsigned>(point + 1));
  std::string head = digits(rng, lead);
  if (lead < point && rng() % 3 == 0) head = (rng() % 2 ? "-" : "+") + head;
  std::string f = std::string(static_cast<size_t>(point) - head.size(), ' ') + head + "." +
                  digits(rng, exponent - point - 1);
  if (exponent < width) {
    const int exponent_digits = width - exponent - 2;
    f += rng() % 2 ? "E-" : "E+";
    f += std::string(static_cast<size_t>(exponent_digits - 1), '0') + digits(rng, 1);
  }
  return f;
}

// What ran where, in every test log: no level is left out in silence.
TEST(KernelLevels, EachRunsNativelyOrEmulatedOrIsReported) {
  const std::string report = level_report();
  std::cout << "kernel levels under test:\n" << report;
  RecordProperty("kernel_levels", report);
  EXPECT_EQ(levels().front().name, "portable");
}

TEST(KernelRunShapes, LayoutChangesMidRun) {
  std::mt19937_64 rng(31);
  const Descriptor f83{"F8.3", 'F', 8, 3, 0};
  const Descriptor e2012{"E20.12", 'E', 20, 12, 2};
  for (int trial = 0; trial < 40; ++trial) {
    const size_t before = rng() % 150 + 1, after = rng() % 150 + 1;
    // "  12.345" then " 12.3456": the point moves a column.
    std::vector<std::string> fields;
    for (size_t i = 0; i < before; ++i) fields.push_back(field_of_layout(rng, 8, 4, 8));
    for (size_t i = 0; i < after; ++i) fields.push_back(field_of_layout(rng, 8, 3, 8));
    std::vector<size_t> takes = walk_all(f83, fields);
    EXPECT_EQ(sum(takes), fields.size()) << "F8.3 " << before << " then " << after;
    // The kernel stops at the change, or goes on where a block starts there.
    EXPECT_GE(takes.front(), before);
    EXPECT_LE(takes.size(), 2u);
    // E20.12 with a two-digit exponent, then "E+003".
    fields.clear();
    for (size_t i = 0; i < before; ++i) fields.push_back(field_of_layout(rng, 20, 3, 16));
    for (size_t i = 0; i < after; ++i) fields.push_back(field_of_layout(rng, 20, 2, 15));
    takes = walk_all(e2012, fields);
    EXPECT_EQ(sum(takes), fields.size()) << "E20.12 " << before << " then " << after;
    EXPECT_GE(takes.front(), before);
    EXPECT_LE(takes.size(), 2u);
  }
}

TEST(KernelRunShapes, MoreLiveLayoutsThanThePlanCacheHolds) {
  // Width 12: fixed points in columns 0 to 4, and exponents of one or two
  // digits with the point in any column before them.
  struct Shape {
    int point, exponent;
  };
  std::vector<Shape> shapes;
  for (int p = 0; p <= 4; ++p) shapes.push_back({p, 12});
  for (int e : {8, 9})
    for (int p = 0; p < e && shapes.size() < 2 * recio::kernels::kPlanCacheSize + 3; ++p)
      if (!(e > 8 && p > e - 8)) shapes.push_back({p, e});
  ASSERT_GT(shapes.size(), recio::kernels::kPlanCacheSize);
  const Descriptor d{"E12.3", 'E', 12, 3, 1};
  std::mt19937_64 rng(8);
  for (int trial = 0; trial < 6; ++trial) {
    std::vector<std::string> fields;
    for (int stretch = 0; stretch < 60; ++stretch) {
      const Shape s = shapes[rng() % shapes.size()];
      const size_t n = rng() % 70 + 1;
      for (size_t i = 0; i < n; ++i) fields.push_back(field_of_layout(rng, 12, s.point, s.exponent));
    }
    EXPECT_EQ(sum(walk_all(d, fields)), fields.size());
  }
}

TEST(KernelRunShapes, IntegerRunsCrossVectorBlocks) {
  const Descriptor ints[] = {
      {"I1", 'I', 1, 0, 0}, {"I2", 'I', 2, 0, 0}, {"I3", 'I', 3, 0, 0},
      {"I5", 'I', 5, 0, 0}, {"I8", 'I', 8, 0, 0},
  };
  std::mt19937_64 rng(512);
  for (const Descriptor &d : ints) {
    const size_t per_block = recio::kernels::kBlockBytes / static_cast<size_t>(d.width);
    for (size_t n : {per_block - 1, per_block, per_block + 1, 3 * per_block + 7}) {
      std::vector<std::string> fields(n);
      for (std::string &f : fields) f = canonical_field(d, rng);
      for (const Level &level : levels())
        EXPECT_EQ(check_run(level, d, fields), n) << level.name << " " << d.name << " x" << n;
      // A field that breaks the run just before, at and after a block's end.
      for (size_t bad : {per_block - 1, per_block, per_block + 1}) {
        if (bad >= n) continue;
        std::vector<std::string> broken = fields;
        broken[bad][0] = 'x';
        for (const Level &level : levels())
          EXPECT_EQ(check_run(level, d, broken), bad) << level.name << " " << d.name << " @" << bad;
      }
    }
  }
}

} // namespace
