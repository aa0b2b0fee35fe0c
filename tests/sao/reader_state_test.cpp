// The reader's storage at the start of a further run in the same process is
// as at the start of a process: whatever the runs before it stored.
#include "sao/group_reading.h"
#include "sao/index_and_formats.h"
#include "sao/reader_fixture.h"
#include "sao/time_stamp.h"
#include "sao_generator.h"

#include <algorithm>
#include <string>

namespace {

using sao::Outcome;
using sao_test::Dfi;

bool all_zero(const void *p, size_t n) {
  const auto *bytes = static_cast<const unsigned char *>(p);
  return std::all_of(bytes, bytes + n, [](unsigned char b) { return b == 0; });
}

class SaoReaderReset : public sao_test::ReaderTest {
protected:
  // Every record of a generated file of this version, through its groups.
  void read_generated(int version) {
    saogen::GeneratorOptions o;
    o.records = 40;
    o.seed = 11 + static_cast<uint64_t>(version);
    o.format_version = version;
    o.start = {2024, 5, 11, 0, 0, 0};
    supply_input(saogen::generate_text(o));
    while (sao::read_index() == Outcome::index_read) {
      ASSERT_TRUE(sao::index_valid());
      sao::build_format_table();
      ASSERT_EQ(sao::read_leading_groups(), Outcome::leading_groups_read);
      sao::write_listing_line();
      ASSERT_EQ(sao::read_groups(), Outcome::record_complete);
    }
  }

  // Each row alone, with three values more than its storage holds.
  void read_every_row_past_its_bound(int version) {
    for (const sao::GroupRead &row : sao::group_reads()) {
      if (row.guard != row.group || row.destination.kind == sao::Element::scratch) continue;
      Dfi dfi{};
      dfi[80] = version;
      sao::reader().dfi = dfi;
      sao::build_format_table();
      const sao_test::SlotLayout l = sao_test::layout_of(sao::reader().slot(row.slot));
      if (l.per_line == 0) continue; // a slot this version does not write
      const int count = row.destination.bound + 3;
      sao::reader().dfi[row.group] = count;
      supply_input(sao_test::field_lines(count, l.per_line, [&](int i) {
        // Never zero, so that a value left behind shows.
        return sao_test::value_field(l, i % 7 + 1);
      }));
      (void)sao::read_groups();
    }
  }

  void expect_as_at_start() {
    const sao::ReaderState &r = sao::reader();
    EXPECT_TRUE(all_zero(&r.groups, sizeof r.groups)) << "group storage left from the run";
    const sao::RecordHead &head = r;
    const sao::RecordHead fresh{};
    EXPECT_EQ(head.dfi, fresh.dfi);
    EXPECT_EQ(head.index_first_line_carried, false);
    EXPECT_EQ(head.slots, fresh.slots);
    EXPECT_EQ(head.group1_reals, fresh.group1_reals);
    EXPECT_EQ(head.group2_first_line, fresh.group2_first_line);
    EXPECT_EQ(head.group2_second_line, fresh.group2_second_line);
    EXPECT_EQ(head.time_stamp_chars, fresh.time_stamp_chars);
    EXPECT_EQ(head.time_stamp_text, fresh.time_stamp_text);
    for (const recio::FormatHandle &f : r.slot_formats) EXPECT_FALSE(f);
    EXPECT_EQ(r.written_set, -1);
    EXPECT_EQ(r.group_plan.size, 0u);
  }
};

class SaoReaderResetByVersion : public SaoReaderReset, public testing::WithParamInterface<int> {};

// One version at a time: the two forms of groups 7, 12 and 17 are then
// filled by one row each, one of them by its copy.
TEST_P(SaoReaderResetByVersion, ClearsWhateverTheRunBeforeStored) {
  start_run();
  recio::push_traceback_frame(frame_);
  const int version = GetParam();
  if (version != 1) read_generated(version);
  read_every_row_past_its_bound(version);
  EXPECT_FALSE(all_zero(&sao::reader().groups, sizeof sao::reader().groups));
  sao::reset_reader();
  expect_as_at_start();
}

INSTANTIATE_TEST_SUITE_P(Versions, SaoReaderResetByVersion, testing::Values(1, 2, 4, 5));

// A table written in an earlier run is the same when a later run writes it
// from the copy the first one kept, and a later record of another version
// still finds the slots it does not write as the first run left them.
TEST_F(SaoReaderReset, FormatTablesOfALaterRunAreTheFirstRunsTables) {
  std::vector<std::array<std::array<char, sao::kSlotLength>, 13>> first, later;
  for (auto *tables : {&first, &later}) {
    start_run();
    for (int version : {2, 0, 1, 5, 1}) {
      sao::reader().dfi[80] = version;
      sao::build_format_table();
      tables->push_back(sao::reader().slots);
    }
  }
  EXPECT_EQ(first, later);
}

} // namespace
