#include "sao/group_reading.h"
#include "sao/index_and_formats.h"
#include "sao/reader_fixture.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using sao::Element;
using sao::GroupRead;
using sao::Outcome;
using V = sao::VersionCondition;
using sao_test::Dfi;
using sao_test::marker_line;

const GroupRead &row_for(int stmt) {
  for (const GroupRead &r : sao::group_reads())
    if (r.statement == stmt) return r;
  throw std::logic_error("no row for statement " + std::to_string(stmt));
}

class SaoGroupReading : public sao_test::ReaderTest {
protected:
  // `count` distinct values of `row` in the layout of its slot.
  std::string values_for(const GroupRead &row, int count) {
    const sao_test::SlotLayout l = sao_test::layout_of(sao::reader().slot(row.slot));
    return sao_test::field_lines(count, l.per_line,
                                 [&](int i) { return sao_test::value_field(l, i); });
  }
  double expected_value(const GroupRead &row, int i) {
    const sao_test::SlotLayout l = sao_test::layout_of(sao::reader().slot(row.slot));
    const double v = sao_test::value_of(l, i);
    return row.destination.kind == Element::real8 || l.letter == 'I' || l.letter == 'A'
               ? v
               : static_cast<float>(v);
  }
  // After the record the input stands on the marker line: read it as an index.
  void expect_input_at_marker(int marker) {
    ASSERT_EQ(sao::read_index(), Outcome::index_read);
    EXPECT_EQ(sao::reader().dfi[1], marker) << "the record took the wrong number of lines";
  }
};

// ---------------------------------------------------------------------------
// The 68 read statements, as the reading order gives them.

TEST_F(SaoGroupReading, TableHoldsTheSixtyEightRowsInOrder) {
  sao::GroupStore &g = sao::reader().groups;
  using E = Element;
  struct Expected {
    int16_t stmt;
    uint8_t group, guard;
    V version;
    uint8_t slot;
    const void *dest;
    int32_t bound; // 0 for the chains' scratch value
    E kind;
  };
  const Expected rows[] = {
      {344, 4, 4, V::any, 5, g.group4_reals.data(), 120, E::real4},
      {349, 5, 5, V::any, 6, g.group5_ints.data(), 60, E::int4},
      {353, 6, 6, V::any, 2, g.group6_reals.data(), 16, E::real4},
      {360, 7, 7, V::from_2, 1, g.group7_reals.data(), 400, E::real4},
      {365, 7, 7, V::below_2, 1, g.group7_ints.data(), 400, E::int4},
      {376, 8, 8, V::from_2, 1, g.group8_reals.data(), 1000, E::real4},
      {378, 8, 8, V::below_2, 1, g.group8_ints.data(), 400, E::int4},
      {384, 9, 9, V::any, 10, g.group9_ints.data(), 400, E::int4},
      {388, 10, 10, V::any, 7, g.group10_ints.data(), 400, E::int4},
      {392, 11, 11, V::any, 8, g.group11_reals.data(), 400, E::real4},
      {399, 12, 12, V::from_2, 1, g.group12_reals.data(), 999, E::real4},
      {404, 12, 12, V::below_2, 1, g.group12_ints.data(), 999, E::int4},
      {415, 13, 13, V::from_2, 1, g.group13_reals.data(), 1000, E::real4},
      {417, 13, 13, V::below_2, 1, g.group13_ints.data(), 999, E::int4},
      {423, 14, 14, V::any, 10, g.group14_ints.data(), 999, E::int4},
      {427, 15, 15, V::any, 7, g.group15_ints.data(), 999, E::int4},
      {431, 16, 16, V::any, 8, g.group16_reals.data(), 999, E::real4},
      {438, 17, 17, V::from_2, 1, g.group17_reals.data(), 999, E::real4},
      {443, 17, 17, V::below_2, 1, g.group17_ints.data(), 999, E::int4},
      {454, 18, 18, V::from_2, 1, g.group18_reals.data(), 1000, E::real4},
      {456, 18, 18, V::below_2, 1, g.group18_ints.data(), 999, E::int4},
      {462, 19, 19, V::any, 10, g.group19_ints.data(), 999, E::int4},
      {466, 20, 20, V::any, 7, g.group20_ints.data(), 999, E::int4},
      {470, 21, 21, V::any, 8, g.group21_reals.data(), 999, E::real4},
      {477, 22, 22, V::from_2, 1, g.group22_reals.data(), 400, E::real4},
      {479, 22, 22, V::below_2, 1, g.group22_ints.data(), 400, E::int4},
      {485, 23, 23, V::any, 10, g.group23_ints.data(), 400, E::int4},
      {489, 24, 24, V::any, 7, g.group24_ints.data(), 400, E::int4},
      {493, 25, 25, V::any, 8, g.group25_reals.data(), 400, E::real4},
      {500, 26, 26, V::from_2, 1, g.group26_reals.data(), 999, E::real4},
      {502, 26, 26, V::below_2, 1, g.group26_ints.data(), 999, E::int4},
      {508, 27, 27, V::any, 10, g.group27_ints.data(), 999, E::int4},
      {512, 28, 28, V::any, 7, g.group28_ints.data(), 999, E::int4},
      {516, 29, 29, V::any, 8, g.group29_reals.data(), 999, E::real4},
      {523, 30, 30, V::from_2, 1, g.group30_reals.data(), 999, E::real4},
      {525, 30, 30, V::below_2, 1, g.group30_ints.data(), 999, E::int4},
      {531, 31, 31, V::any, 10, g.group31_ints.data(), 999, E::int4},
      {535, 32, 32, V::any, 7, g.group32_ints.data(), 999, E::int4},
      {539, 33, 33, V::any, 8, g.group33_reals.data(), 999, E::real4},
      {543, 34, 34, V::any, 6, g.group34_ints.data(), 20, E::int4},
      {546, 35, 35, V::any, 6, g.group35_ints.data(), 20, E::int4},
      {549, 36, 36, V::any, 6, g.group36_ints.data(), 20, E::int4},
      {553, 37, 37, V::any, 9, g.group37_reals.data(), 20, E::real4},
      {557, 38, 38, V::any, 9, g.group38_reals.data(), 20, E::real4},
      {560, 39, 39, V::any, 9, g.group39_reals.data(), 20, E::real4},
      {566, 40, 40, V::below_2, 9, g.group40_reals.data(), 20, E::real4},
      {568, 40, 40, V::from_2, 12, g.group40_doubles.data(), 121, E::real8},
      {575, 41, 41, V::any, 7, g.group41_ints.data(), 120, E::int4},
      {578, 42, 42, V::any, 9, g.group40_reals.data(), 20, E::real4},
      {585, 43, 43, V::from_2, 1, g.group43_reals.data(), 999, E::real4},
      {587, 43, 43, V::below_2, 1, g.group43_ints.data(), 999, E::int4},
      {593, 44, 44, V::any, 10, g.group44_ints.data(), 999, E::int4},
      {597, 45, 45, V::any, 7, g.group45_ints.data(), 999, E::int4},
      {601, 46, 46, V::any, 8, g.group46_reals.data(), 999, E::real4},
      {607, 47, 47, V::any, 1, g.group47_reals.data(), 999, E::real4},
      {611, 48, 48, V::any, 10, g.group48_ints.data(), 999, E::int4},
      {615, 49, 49, V::any, 7, g.group49_ints.data(), 999, E::int4},
      {619, 50, 50, V::any, 8, g.group50_reals.data(), 999, E::real4},
      {624, 51, 51, V::any, 11, g.group51_reals.data(), 999, E::real4},
      {625, 52, 51, V::any, 11, g.group52_reals.data(), 999, E::real4},
      {626, 53, 51, V::any, 11, &g.chain_scratch, 0, E::scratch},
      {630, 54, 54, V::any, 4, g.group54_chars.data(), 120, E::character},
      {632, 55, 55, V::any, 4, g.group55_chars.data(), 120, E::character},
      {635, 56, 56, V::any, 7, g.group56_ints.data(), 120, E::int4},
      {639, 57, 57, V::any, 9, g.group57_reals.data(), 20, E::real4},
      {642, 58, 58, V::any, 11, g.group58_reals.data(), 999, E::real4},
      {643, 59, 58, V::any, 11, g.group59_reals.data(), 999, E::real4},
      {644, 60, 58, V::any, 11, &g.chain_scratch, 0, E::scratch},
  };
  // The copies between the two forms of groups 7, 12 and 17: row, statement, target.
  struct Copy {
    size_t row;
    int16_t stmt;
    const void *to;
    int32_t bound;
    E kind;
  };
  const Copy copies[] = {
      {3, 362, g.group7_ints.data(), 400, E::int4},
      {4, 368, g.group7_reals.data(), 400, E::real4},
      {10, 401, g.group12_ints.data(), 999, E::int4},
      {11, 407, g.group12_reals.data(), 999, E::real4},
      {17, 440, g.group17_ints.data(), 999, E::int4},
      {18, 446, g.group17_reals.data(), 999, E::real4},
  };

  const auto table = sao::group_reads();
  ASSERT_EQ(table.size(), std::size(rows));
  for (size_t i = 0; i < table.size(); ++i) {
    const GroupRead &r = table[i];
    const Expected &e = rows[i];
    SCOPED_TRACE("row " + std::to_string(i + 1) + ", statement " + std::to_string(e.stmt));
    EXPECT_EQ(r.statement, e.stmt);
    EXPECT_EQ(r.group, e.group);
    EXPECT_EQ(r.guard, e.guard);
    EXPECT_EQ(r.version, e.version);
    EXPECT_EQ(r.slot, e.slot);
    EXPECT_EQ(r.destination.data, e.dest);
    EXPECT_EQ(r.destination.kind, e.kind);
    if (e.kind != E::scratch) {
      EXPECT_EQ(r.destination.bound, e.bound);
    }
    EXPECT_EQ(r.ignores_errors, i == 0);
    const Copy *c = nullptr;
    for (const Copy &x : copies)
      if (x.row == i) c = &x;
    if (!c) {
      EXPECT_EQ(r.copy_statement, 0);
      continue;
    }
    EXPECT_EQ(r.copy_statement, c->stmt);
    EXPECT_EQ(r.copy_to.data, c->to);
    EXPECT_EQ(r.copy_to.bound, c->bound);
    EXPECT_EQ(r.copy_to.kind, c->kind);
  }
}

// ---------------------------------------------------------------------------
// Declared bounds: a count equal to the bound reads whole; a count past it
// reads every value through the same fields, stores the first `bound` of them
// and drops the rest, and the record goes on after the group.

struct BoundCase {
  int group;
  int32_t version;
  int stmt;
  int32_t bound;
};

void PrintTo(const BoundCase &c, std::ostream *os) {
  *os << "group " << c.group << ", version " << c.version << ", bound " << c.bound;
}

class SaoGroupBounds : public SaoGroupReading, public testing::WithParamInterface<BoundCase> {};

TEST_P(SaoGroupBounds, CountEqualToTheBoundReadsWhole) {
  const BoundCase &c = GetParam();
  Dfi dfi{};
  dfi[c.group] = c.bound;
  dfi[80] = c.version;
  start_reader(dfi);
  const GroupRead &row = row_for(c.stmt);
  supply_input(values_for(row, c.bound) + marker_line(77) + marker_line(78));
  ASSERT_EQ(sao::read_groups(), Outcome::record_complete) << console_err();
  EXPECT_EQ(sao_test::element(row.destination, c.bound), expected_value(row, c.bound));
  expect_input_at_marker(77);
}

// The bytes of the group store outside the elements 1 to `bound` of the
// row's destination and of the form it is copied to.
std::vector<char> store_outside(const GroupRead &row, int32_t bound) {
  const sao::GroupStore &g = sao::reader().groups;
  const char *base = reinterpret_cast<const char *>(&g);
  std::vector<char> bytes(base, base + sizeof g);
  const auto erase = [&](const sao::Destination &d) {
    if (!d.data) return;
    const size_t size = d.kind == Element::real8 ? 8 : d.kind == Element::character ? 1 : 4;
    const size_t at = static_cast<size_t>(static_cast<const char *>(d.data) - base);
    std::fill_n(bytes.begin() + static_cast<long>(at), size * static_cast<size_t>(bound), 0);
  };
  erase(row.destination);
  erase(row.copy_to);
  return bytes;
}

TEST_P(SaoGroupBounds, ValuesPastTheBoundAreReadAndDropped) {
  const BoundCase &c = GetParam();
  for (const int32_t count : {c.bound + 1, c.bound + 37, 2 * c.bound + 5}) {
    SCOPED_TRACE("count " + std::to_string(count));
    Dfi dfi{};
    dfi[c.group] = count;
    dfi[80] = c.version;
    start_reader(dfi);
    const GroupRead &row = row_for(c.stmt);
    const std::vector<char> before = store_outside(row, c.bound);
    supply_input(values_for(row, count) + marker_line(77) + marker_line(78));
    ASSERT_EQ(sao::read_groups(), Outcome::record_complete) << console_err();
    EXPECT_EQ(console_err(), "");
    EXPECT_EQ(sao_test::element(row.destination, 1), expected_value(row, 1));
    EXPECT_EQ(sao_test::element(row.destination, c.bound), expected_value(row, c.bound));
    EXPECT_TRUE(store_outside(row, c.bound) == before) << "a value past the bound was stored";
    expect_input_at_marker(77);
  }
}

// A value past the bound goes through the field a stored one would: a field
// that does not convert gives the same status, and so does the end of input.
TEST_P(SaoGroupBounds, FaultsPastTheBoundEndTheRecordAsWithinIt) {
  const BoundCase &c = GetParam();
  const GroupRead &row = row_for(c.stmt);
  Dfi dfi{};
  dfi[80] = c.version;
  start_reader(dfi);
  const sao_test::SlotLayout l = sao_test::layout_of(sao::reader().slot(row.slot));
  if (l.letter != 'A') {
    SCOPED_TRACE("a bad field after the bound");
    sao::reader().dfi[c.group] = c.bound + 3;
    const std::string bad = std::string(static_cast<size_t>(l.width - 1), ' ') + "x";
    supply_input(sao_test::field_lines(c.bound + 3, l.per_line,
                                       [&](int i) {
                                         return i == c.bound + 2 ? bad
                                                                 : sao_test::value_field(l, i);
                                       }) +
                 marker_line(77));
    const Outcome want = row.ignores_errors ? Outcome::record_complete : Outcome::record_abandoned;
    EXPECT_EQ(sao::read_groups(), want) << console_err();
    EXPECT_EQ(console_err(), "");
  }
  {
    SCOPED_TRACE("the input ends after the bound");
    start_reader(dfi);
    // One line more than the values after the bound are given in.
    sao::reader().dfi[c.group] = ((c.bound + 1) / l.per_line + 2) * l.per_line;
    supply_input(values_for(row, c.bound + 1));
    EXPECT_EQ(sao::read_groups(), Outcome::end_of_input) << console_err();
    EXPECT_EQ(console_err(), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Bounds, SaoGroupBounds,
                         testing::Values(BoundCase{6, 2, 353, 16}, BoundCase{34, 2, 543, 20},
                                         BoundCase{57, 2, 639, 20}, BoundCase{40, 1, 566, 20},
                                         BoundCase{42, 2, 578, 20}, BoundCase{5, 2, 349, 60},
                                         BoundCase{4, 2, 344, 120}, BoundCase{41, 2, 575, 120},
                                         BoundCase{54, 2, 630, 120}, BoundCase{56, 2, 635, 120},
                                         BoundCase{40, 2, 568, 121}, BoundCase{7, 2, 360, 400},
                                         BoundCase{7, 1, 365, 400}, BoundCase{8, 1, 378, 400},
                                         BoundCase{22, 0, 479, 400}, BoundCase{25, 2, 493, 400},
                                         BoundCase{12, 2, 399, 999}, BoundCase{12, 1, 404, 999},
                                         BoundCase{47, 2, 607, 999}, BoundCase{8, 2, 376, 1000},
                                         BoundCase{13, 3, 415, 1000}, BoundCase{18, 2, 454, 1000}),
                         [](const auto &info) {
                           return "Group" + std::to_string(info.param.group) + "Version" +
                                  std::to_string(info.param.version) + "Bound" +
                                  std::to_string(info.param.bound);
                         });

// ---------------------------------------------------------------------------
// Version pairs: one group, two rows; the version picks the row and so the
// destination. For groups 7, 12 and 17 the other form is filled as well.

struct PairCase {
  int group;
  int from_2_stmt;
  int below_2_stmt;
  bool copies;
};

void PrintTo(const PairCase &c, std::ostream *os) { *os << "group " << c.group; }

class SaoVersionPairs : public SaoGroupReading,
                        public testing::WithParamInterface<std::tuple<PairCase, int32_t>> {};

TEST_P(SaoVersionPairs, VersionPicksTheRow) {
  const auto &[c, version] = GetParam();
  Dfi dfi{};
  dfi[c.group] = 3;
  if (version < 0) {
    // A negative version reads through the table an earlier record of version 1 left.
    dfi[80] = 1;
    start_reader(dfi);
    sao::reader().dfi[80] = version;
    sao::build_format_table();
  } else {
    dfi[80] = version;
    start_reader(dfi);
  }
  const GroupRead &runs = row_for(version >= 2 ? c.from_2_stmt : c.below_2_stmt);
  const GroupRead &idle = row_for(version >= 2 ? c.below_2_stmt : c.from_2_stmt);
  supply_input(values_for(runs, 3) + marker_line(77) + marker_line(78));
  ASSERT_EQ(sao::read_groups(), Outcome::record_complete) << console_err();
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(sao_test::element(runs.destination, i), expected_value(runs, i));
    // The copy truncates a real toward zero; integers become reals exactly.
    const double copied = c.copies ? std::trunc(expected_value(runs, i)) : 0;
    EXPECT_EQ(sao_test::element(idle.destination, i), copied);
  }
  expect_input_at_marker(77);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, SaoVersionPairs,
    testing::Combine(testing::Values(PairCase{7, 360, 365, true}, PairCase{8, 376, 378, false},
                                     PairCase{12, 399, 404, true}, PairCase{13, 415, 417, false},
                                     PairCase{17, 438, 443, true}, PairCase{18, 454, 456, false},
                                     PairCase{22, 477, 479, false}, PairCase{26, 500, 502, false},
                                     PairCase{30, 523, 525, false}, PairCase{40, 568, 566, false},
                                     PairCase{43, 585, 587, false}),
                     testing::Values(0, 1, 2, 3, -1)),
    [](const auto &info) {
      const int32_t v = std::get<1>(info.param);
      return "Group" + std::to_string(std::get<0>(info.param).group) +
             (v < 0 ? std::string("Negative") : "Version" + std::to_string(v));
    });

// Group 47 reads reals through slot 1 in every version; below version 2 the
// slot holds integer fields, which a real does not read through.
TEST_F(SaoGroupReading, GroupFortySevenBelowVersionTwoIsAbandoned) {
  Dfi dfi{};
  dfi[47] = 2;
  dfi[80] = 1;
  start_reader(dfi);
  supply_input("  1  2\n" + marker_line(77));
  EXPECT_EQ(sao::read_groups(), Outcome::record_abandoned);
}

// ---------------------------------------------------------------------------
// The two chains, groups 51 to 53 and 58 to 60, both guarded by their first count.

class SaoChains : public SaoGroupReading, public testing::WithParamInterface<int> {
protected:
  int first() const { return GetParam(); }
};

// A chain's first count decides whether it runs at all; then each group of
// it with a count of 0 reads nothing and takes no line, as every other group.
struct ChainCounts {
  int first, second, third;
};

TEST_P(SaoChains, EachGroupTakesTheLinesOfItsOwnCount) {
  const ChainCounts cases[] = {{2, 0, 0}, {2, 2, 0}, {2, 0, 2}, {0, 2, 2}, {2, 2, 2}};
  for (const ChainCounts &c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << ", " << c.second << ", " << c.third);
    Dfi dfi{};
    dfi[first()] = c.first;
    dfi[first() + 1] = c.second;
    dfi[first() + 2] = c.third;
    dfi[80] = 2;
    start_reader(dfi);
    std::string input;
    if (c.first > 0) {
      input += "   1.000   2.000\n";
      if (c.second > 0) input += "   3.000   4.000\n";
      if (c.third > 0) input += "   5.000   6.000\n";
    }
    supply_input(input + marker_line(77) + marker_line(78));
    ASSERT_EQ(sao::read_groups(), Outcome::record_complete);
    const GroupRead &one = row_for(first() == 51 ? 624 : 642);
    const GroupRead &two = row_for(first() == 51 ? 625 : 643);
    EXPECT_EQ(sao_test::element(one.destination, 1), c.first > 0 ? 1.0 : 0.0);
    EXPECT_EQ(sao_test::element(two.destination, 1), c.first > 0 && c.second > 0 ? 3.0 : 0.0);
    EXPECT_EQ(sao::reader().groups.chain_scratch, c.first > 0 && c.third > 0 ? 6.0f : 0.0f);
    expect_input_at_marker(77);
  }
}

TEST_P(SaoChains, FirstCountOfZeroSkipsTheWholeChain) {
  Dfi dfi{};
  dfi[first() + 1] = 5;
  dfi[first() + 2] = 5;
  dfi[80] = 2;
  start_reader(dfi);
  supply_input(marker_line(77) + marker_line(78));
  ASSERT_EQ(sao::read_groups(), Outcome::record_complete);
  expect_input_at_marker(77);
}

TEST_P(SaoChains, ThirdGroupLeavesItsLastValueInTheScratch) {
  Dfi dfi{};
  dfi[first()] = 1;
  dfi[first() + 1] = 1;
  dfi[first() + 2] = 4;
  dfi[80] = 2;
  start_reader(dfi);
  supply_input("   1.000\n   2.000\n   3.250   4.500   5.750   6.125\n" + marker_line(77) +
               marker_line(78));
  ASSERT_EQ(sao::read_groups(), Outcome::record_complete);
  EXPECT_EQ(sao::reader().groups.chain_scratch, 6.125f);
  expect_input_at_marker(77);
}

// Below version 2 slot 11 is not set; before any record of version 2 it holds
// NULs, which are no format.
TEST_P(SaoChains, VersionOneBeforeAnyVersionTwoIsAbandoned) {
  Dfi dfi{};
  dfi[first()] = 1;
  dfi[80] = 1;
  start_reader(dfi);
  supply_input("   1.000\n\n\n" + marker_line(77));
  EXPECT_EQ(sao::read_groups(), Outcome::record_abandoned);
}

TEST_P(SaoChains, VersionOneAfterAVersionTwoReadsThroughItsSlot) {
  Dfi dfi{};
  dfi[first()] = 1;
  dfi[80] = 2;
  start_reader(dfi);
  sao::reader().dfi[80] = 1;
  sao::build_format_table();
  supply_input("   1.000\n" + marker_line(77) + marker_line(78));
  ASSERT_EQ(sao::read_groups(), Outcome::record_complete);
  EXPECT_EQ(sao_test::element(row_for(first() == 51 ? 624 : 642).destination, 1), 1.0);
  expect_input_at_marker(77);
}

INSTANTIATE_TEST_SUITE_P(FirstGroup, SaoChains, testing::Values(51, 58),
                         [](const auto &info) { return "From" + std::to_string(info.param); });

// ---------------------------------------------------------------------------
// Copies from the real form of groups 7, 12 and 17 in version 2.

struct CopyCase {
  int group;
  int copy_stmt;
};

void PrintTo(const CopyCase &c, std::ostream *os) { *os << "group " << c.group; }

class SaoRealToInteger : public SaoGroupReading, public testing::WithParamInterface<CopyCase> {};

TEST_P(SaoRealToInteger, TruncatesAndKeepsTheLowThirtyTwoBits) {
  Dfi dfi{};
  dfi[GetParam().group] = 3;
  dfi[80] = 2;
  start_reader(dfi);
  supply_input("    -2.7   3.0E9   2.999\n" + marker_line(77) + marker_line(78));
  ASSERT_EQ(sao::read_groups(), Outcome::record_complete);
  const GroupRead &real_row = row_for(GetParam().copy_stmt - 2);
  const auto *ints = static_cast<const int32_t *>(real_row.copy_to.data);
  EXPECT_EQ(ints[0], -2);
  EXPECT_EQ(ints[1], static_cast<int32_t>(3000000000LL - 4294967296LL));
  EXPECT_EQ(ints[2], 2);
}

TEST_P(SaoRealToInteger, MagnitudeFromTwoToTheSixtyThreeEndsTheRun) {
  Dfi dfi{};
  dfi[GetParam().group] = 2;
  dfi[80] = 2;
  start_reader(dfi);
  supply_input("   1.000  1.0E19\n" + marker_line(77));
  EXPECT_EQ(expect_end([] { (void)sao::read_groups(); }), 1);
  EXPECT_EQ(console_err().rfind(report_line(GetParam().copy_stmt,
                                            "M6101: MATH\r\n- floating-point error: invalid\r\n"),
                                0),
            0u)
      << console_err();
}

// A count past the bound copies the stored elements only: a value past the
// bound that no integer holds is dropped with the others and never converted.
TEST_P(SaoRealToInteger, CopyStopsAtTheBound) {
  const GroupRead &real_row = row_for(GetParam().copy_stmt - 2);
  const int32_t bound = real_row.destination.bound;
  Dfi dfi{};
  dfi[GetParam().group] = bound + 2;
  dfi[80] = 2;
  start_reader(dfi);
  supply_input(sao_test::field_lines(bound + 2, 15,
                                     [&](int i) {
                                       return i > bound ? std::string("  1.0E19")
                                                        : "   " + std::to_string(i % 9) + ".700";
                                     }) +
               marker_line(77) + marker_line(78));
  ASSERT_EQ(sao::read_groups(), Outcome::record_complete) << console_err();
  const auto *ints = static_cast<const int32_t *>(real_row.copy_to.data);
  EXPECT_EQ(ints[0], 1);
  EXPECT_EQ(ints[bound - 1], bound % 9);
  expect_input_at_marker(77);
}

// Below version 2 the integers are read and the reals filled from the stored ones.
TEST_P(SaoRealToInteger, IntegerFormCopiesTheStoredElementsBelowVersionTwo) {
  const GroupRead &int_row = row_for(GetParam().copy_stmt + 3);
  const int32_t bound = int_row.destination.bound;
  Dfi dfi{};
  dfi[GetParam().group] = bound + 518;
  dfi[80] = 1;
  start_reader(dfi);
  supply_input(sao_test::field_lines(bound + 518, 40,
                                     [&](int i) { return i > bound ? "999" : "  7"; }) +
               marker_line(77) + marker_line(78));
  ASSERT_EQ(sao::read_groups(), Outcome::record_complete) << console_err();
  const auto *reals = static_cast<const float *>(int_row.copy_to.data);
  EXPECT_EQ(reals[0], 7.0f);
  EXPECT_EQ(reals[bound - 1], 7.0f);
  expect_input_at_marker(77);
}

INSTANTIATE_TEST_SUITE_P(Groups, SaoRealToInteger,
                         testing::Values(CopyCase{7, 362}, CopyCase{12, 401}, CopyCase{17, 440}),
                         [](const auto &info) {
                           return "Group" + std::to_string(info.param.group);
                         });

// ---------------------------------------------------------------------------
// Errors: group 4 goes on, every later group abandons the record.

struct FaultCase {
  int group;
  Outcome outcome;
};

void PrintTo(const FaultCase &c, std::ostream *os) { *os << "group " << c.group; }

class SaoFieldFaults : public SaoGroupReading, public testing::WithParamInterface<FaultCase> {};

TEST_P(SaoFieldFaults, BadSecondFieldKeepsTheFirstValue) {
  const FaultCase &c = GetParam();
  Dfi dfi{};
  dfi[c.group] = 3;
  dfi[80] = 2;
  start_reader(dfi);
  const GroupRead *row = nullptr;
  for (const GroupRead &r : sao::group_reads())
    if (r.group == c.group && r.version != V::below_2) row = &r;
  const sao_test::SlotLayout l = sao_test::layout_of(sao::reader().slot(row->slot));
  supply_input(sao_test::value_field(l, 1) + std::string(static_cast<size_t>(l.width - 1), ' ') +
               "x" + sao_test::value_field(l, 3) + "\n" + marker_line(77) + marker_line(78));
  EXPECT_EQ(sao::read_groups(), c.outcome);
  EXPECT_EQ(sao_test::element(row->destination, 1), expected_value(*row, 1));
  EXPECT_EQ(sao_test::element(row->destination, 2), 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SaoFieldFaults,
    testing::Values(
        FaultCase{4, Outcome::record_complete}, FaultCase{5, Outcome::record_abandoned},
        FaultCase{6, Outcome::record_abandoned}, FaultCase{7, Outcome::record_abandoned},
        FaultCase{9, Outcome::record_abandoned}, FaultCase{10, Outcome::record_abandoned},
        FaultCase{37, Outcome::record_abandoned}, FaultCase{40, Outcome::record_abandoned},
        FaultCase{51, Outcome::record_abandoned}, FaultCase{56, Outcome::record_abandoned}),
    [](const auto &info) { return "Group" + std::to_string(info.param.group); });

TEST_F(SaoGroupReading, GroupFiveReadsOnFromWhereGroupFourFailed) {
  Dfi dfi{};
  dfi[4] = 2;
  dfi[5] = 3;
  dfi[80] = 2;
  start_reader(dfi);
  sao::reader().groups.group4_reals[1] = 42;
  supply_input("   1.000     abc 1 2 3 9 9\n" + marker_line(77) + marker_line(78));
  ASSERT_EQ(sao::read_groups(), Outcome::record_complete);
  const sao::GroupStore &g = sao::reader().groups;
  EXPECT_EQ(g.group4_reals[0], 1.0f);
  EXPECT_EQ(g.group4_reals[1], 42.0f);
  EXPECT_EQ(g.group5_ints[0], 1);
  EXPECT_EQ(g.group5_ints[1], 2);
  EXPECT_EQ(g.group5_ints[2], 3);
  expect_input_at_marker(77);
}

// ---------------------------------------------------------------------------

TEST_F(SaoGroupReading, CountsOfZeroOrBelowAndGroupsPastSixtyTakeNoLine) {
  for (const int32_t count : {0, -1, -99}) {
    SCOPED_TRACE("count " + std::to_string(count));
    Dfi dfi{};
    for (int k = 4; k <= 60; ++k)
      dfi[k] = count;
    for (int k = 61; k <= 79; ++k)
      dfi[k] = 5;
    dfi[80] = 2;
    start_reader(dfi);
    supply_input(marker_line(77) + marker_line(78));
    ASSERT_EQ(sao::read_groups(), Outcome::record_complete);
    expect_input_at_marker(77);
  }
}

TEST_F(SaoGroupReading, InputEndingInsideAGroupIsTheEnd) {
  Dfi dfi{};
  dfi[20] = 130; // two lines of 120I1
  dfi[80] = 2;
  start_reader(dfi);
  supply_input(std::string(120, '3') + "\n");
  EXPECT_EQ(sao::read_groups(), Outcome::end_of_input);
  EXPECT_EQ(sao::reader().groups.group20_ints[119], 3);
}

} // namespace
