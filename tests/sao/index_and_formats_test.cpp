#include "driver/program_flow.h"
#include "sao/index_and_formats.h"
#include "sao/outcome.h"
#include "sao/reader_fixture.h"
#include "sao/time_stamp.h"

#include <string>
#include <vector>

namespace {

using sao::Outcome;
using sao_test::Dfi;
using sao_test::index_lines;
using sao_test::marker_line;

const std::string kNul(12, '\0');

// The slot texts of the format table, slots 1 to 12.
using SlotTexts = std::array<std::string, 12>;

const SlotTexts kVersion0 = {"      (40I3)", "    (16F7.3)", "      (A120)", "     (120A1)",
                             "    (15F8.3)", "      (60I2)", "     (120I1)", "    (20F6.3)",
                             "  (13E9.4E1)", "     (60I2) ", kNul,           kNul};
SlotTexts with_slot9(SlotTexts t, std::string s9) {
  t[8] = std::move(s9);
  return t;
}
const SlotTexts kVersion1 = with_slot9(kVersion0, " (10E11.6E1)");
const SlotTexts kVersion2 = {"    (15F8.3)", "    (16F7.3)", "      (A120)", "     (120A1)",
                             "    (15F8.3)", "      (60I2)", "     (120I1)", "    (15F8.3)",
                             " (10E11.6E1)", "     (40I3) ", "  (15E8.3E1)", "  (6E20.12) "};
const SlotTexts kAllNul = {kNul, kNul, kNul, kNul, kNul, kNul, kNul, kNul, kNul, kNul, kNul, kNul};

class SaoFormatTable : public sao_test::ReaderTest {
protected:
  void build(int32_t version) {
    sao::reader().dfi[80] = version;
    sao::build_format_table();
  }
  void expect_slots(const SlotTexts &expected) {
    for (int n = 1; n <= 12; ++n)
      EXPECT_EQ(std::string(sao::reader().slot(n)), expected[static_cast<size_t>(n - 1)])
          << "slot " << n;
  }
};

struct VersionCase {
  int32_t version;
  const SlotTexts *slots;
};

void PrintTo(const VersionCase &c, std::ostream *os) { *os << "version " << c.version; }

class SaoFormatTableVersions : public SaoFormatTable,
                               public testing::WithParamInterface<VersionCase> {};

TEST_P(SaoFormatTableVersions, FirstRecordFillsItsSet) {
  open_input("");
  build(GetParam().version);
  expect_slots(*GetParam().slots);
}

INSTANTIATE_TEST_SUITE_P(Versions, SaoFormatTableVersions,
                         testing::Values(VersionCase{0, &kVersion0}, VersionCase{1, &kVersion1},
                                         VersionCase{2, &kVersion2}, VersionCase{3, &kVersion2},
                                         VersionCase{-1, &kAllNul}),
                         [](const auto &info) {
                           const int32_t v = info.param.version;
                           return v < 0 ? std::string("Negative") : "Version" + std::to_string(v);
                         });

TEST_F(SaoFormatTable, VersionOneAfterVersionTwoKeepsSlotsElevenAndTwelve) {
  open_input("");
  build(2);
  build(1);
  SlotTexts expected = kVersion1;
  expected[10] = kVersion2[10];
  expected[11] = kVersion2[11];
  expect_slots(expected);
}

TEST_F(SaoFormatTable, NegativeVersionLeavesThePreviousTable) {
  open_input("");
  build(2);
  build(-1);
  expect_slots(kVersion2);
  build(0);
  build(-99);
  SlotTexts expected = kVersion0;
  expected[10] = kVersion2[10];
  expected[11] = kVersion2[11];
  expect_slots(expected);
}

// ---------------------------------------------------------------------------

class SaoIndexRead : public sao_test::ReaderTest {};

struct ResyncCase {
  const char *name;
  std::string first_line, second_line;
  int32_t good_entries; // entries the failing read still stores
  std::vector<int32_t> stored;
};

void PrintTo(const ResyncCase &c, std::ostream *os) { *os << c.name; }

class SaoIndexResync : public SaoIndexRead, public testing::WithParamInterface<ResyncCase> {};

// The failing line costs only its rest: the next index starts on the line after it.
TEST_P(SaoIndexResync, SkipsTheRestOfTheFailingLine) {
  const ResyncCase &c = GetParam();
  open_input(c.first_line + c.second_line + marker_line(11) + marker_line(12));
  sao::reader().dfi.fill(7);
  ASSERT_EQ(sao::read_index(), Outcome::index_error);
  const Dfi &dfi = sao::reader().dfi;
  for (int k = 1; k <= 80; ++k) {
    const int32_t expected = k <= c.good_entries ? c.stored[static_cast<size_t>(k - 1)] : 7;
    ASSERT_EQ(dfi[k], expected) << "DFI(" << k << ")";
  }
  ASSERT_EQ(sao::resync_read(), Outcome::resynced);
  const bool error_in_first = c.good_entries < 40;
  ASSERT_EQ(sao::read_index(), Outcome::index_read);
  if (error_in_first) {
    // The second line of the broken record is now the first of an index.
    EXPECT_EQ(dfi[1], 5);
    EXPECT_EQ(dfi[41], 11);
  } else {
    EXPECT_EQ(dfi[1], 11);
    EXPECT_EQ(dfi[41], 12);
  }
}

std::vector<int32_t> fives(size_t n, std::vector<int32_t> tail) {
  std::vector<int32_t> v(n, 5);
  v.insert(v.end(), tail.begin(), tail.end());
  return v;
}

INSTANTIATE_TEST_SUITE_P(Letters, SaoIndexResync,
                         testing::Values(ResyncCase{"InTheFirstLine",
                                                    "  1  2 19abc" + std::string(108, '0') + "\n",
                                                    marker_line(5),
                                                    3,
                                                    {1, 2, 19}},
                                         ResyncCase{"InTheSecondLine", marker_line(5),
                                                    "  3  4 x5" + std::string(111, ' ') + "\n", 42,
                                                    fives(40, {3, 4})}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(SaoIndexRead, RejectedIndexCostsOneLine) {
  open_input("\n" + marker_line(9) + marker_line(13) + marker_line(14));
  ASSERT_EQ(sao::read_index(), Outcome::index_read);
  const Dfi &dfi = sao::reader().dfi;
  EXPECT_EQ(dfi[1], 0);
  EXPECT_EQ(dfi[40], 0);
  EXPECT_EQ(dfi[41], 9);
  EXPECT_FALSE(sao::index_valid());
  sao::reject_index();
  // The next index starts on the rejected index's second line.
  ASSERT_EQ(sao::read_index(), Outcome::index_read);
  EXPECT_EQ(dfi[1], 9);
  EXPECT_EQ(dfi[41], 13);
  sao::reject_index();
  ASSERT_EQ(sao::read_index(), Outcome::index_read);
  EXPECT_EQ(dfi[1], 13);
  EXPECT_EQ(dfi[41], 14);
  EXPECT_EQ(sao::read_index(), Outcome::end_of_input);
}

TEST_F(SaoIndexRead, LineAfterACarriedLineCanStillFail) {
  // The carried line is the first of the next index; letters in the line
  // after it are that index's error, answered by the resync read.
  open_input("\n" + marker_line(9) + "  1 x2" + std::string(114, ' ') + "\n" + marker_line(4) +
             marker_line(5));
  ASSERT_EQ(sao::read_index(), Outcome::index_read);
  sao::reject_index();
  EXPECT_EQ(sao::read_index(), Outcome::index_error);
  EXPECT_EQ(sao::resync_read(), Outcome::resynced);
  ASSERT_EQ(sao::read_index(), Outcome::index_read);
  const Dfi &dfi = sao::reader().dfi;
  EXPECT_EQ(dfi[1], 4);
  EXPECT_EQ(dfi[41], 5);
}

TEST_F(SaoIndexRead, FileEndingAfterTheFirstLineIsTheEnd) {
  open_input(marker_line(3));
  EXPECT_EQ(sao::read_index(), Outcome::end_of_input);
}

TEST_F(SaoIndexRead, GroupOneCountMustLieWithinOneToSixteen) {
  open_input("");
  const std::pair<int32_t, bool> cases[] = {{-1, false}, {0, false},  {1, true},
                                            {16, true},  {17, false}, {999, false}};
  for (const auto &[count, valid] : cases) {
    sao::reader().dfi[1] = count;
    EXPECT_EQ(sao::index_valid(), valid) << "DFI(1) = " << count;
  }
}

// ---------------------------------------------------------------------------

// The smallest complete record: groups 1 to 3 only.
std::string smallest_record(const char *time_stamp = "FE20210320201093000") {
  Dfi dfi{};
  dfi[1] = 16;
  dfi[2] = 1;
  dfi[3] = 19;
  dfi[80] = 2;
  std::string s = index_lines(dfi);
  for (int i = 0; i < 16; ++i)
    s += "  1.500";
  return s + "\nDPS-4D test station\n" + time_stamp + "\n";
}

class SaoRejectedIndex : public sao_test::ReaderTest,
                         public testing::WithParamInterface<int32_t> {};

// A rejected index is not built into the format table, so the previous
// record's slots stay; its lines are simply tried as the next index.
TEST_P(SaoRejectedIndex, KeepsThePreviousFormatTable) {
  Dfi rejected{};
  rejected[1] = GetParam();
  rejected[2] = 1;
  rejected[3] = 19;
  rejected[80] = 0;
  write_file("data.sao",
             smallest_record() + index_lines(rejected) + smallest_record("FE20210330202110000"));
  start_run({"data.sao"});
  EXPECT_EQ(expect_end([] { driver::run_program(); }), 0);
  EXPECT_EQ(read_file("preflist.s"), "  Date (Day of year) Time\r\n\r\n"
                                     "2021.02.01 (032) 09:30:00\r\n"
                                     "2021.02.02 (033) 11:00:00\r\n");
  EXPECT_EQ(std::string(sao::reader().slot(1)), kVersion2[0]);
  EXPECT_EQ(std::string(sao::reader().slot(9)), kVersion2[8]);
}

INSTANTIATE_TEST_SUITE_P(GroupOneCounts, SaoRejectedIndex, testing::Values(0, 17),
                         [](const auto &info) { return "Count" + std::to_string(info.param); });

// ---------------------------------------------------------------------------

class SaoLeadingGroups : public sao_test::ReaderTest {};

// Group 2 takes DFI(2) lines: the first into the first group-2 line, the
// second and every further one into the second.
TEST_F(SaoLeadingGroups, GroupTwoTakesOneLineForEachDescriptionLine) {
  for (const int32_t count : {1, 2, 3, 5}) {
    SCOPED_TRACE("DFI(2) = " + std::to_string(count));
    std::string lines;
    for (int i = 1; i <= count; ++i) lines += "description line " + std::to_string(i) + "\n";
    Dfi dfi{};
    dfi[1] = 1;
    dfi[2] = count;
    dfi[3] = 19;
    dfi[80] = 2;
    open_input("  1.000\n" + lines + "FE20210320201093000\n" + marker_line(77) +
               marker_line(78));
    sao::reader().dfi = dfi;
    sao::build_format_table();
    ASSERT_EQ(sao::read_leading_groups(), Outcome::leading_groups_read);
    const sao::ReaderState &r = sao::reader();
    EXPECT_EQ(std::string(r.group2_first_line.data(), 18), "description line 1");
    if (count >= 2) {
      EXPECT_EQ(std::string(r.group2_second_line.data(), 18),
                "description line " + std::to_string(count));
    }
    EXPECT_EQ(std::string(r.time_stamp_chars.data(), 19), "FE20210320201093000");
    ASSERT_EQ(sao::read_index(), Outcome::index_read);
    EXPECT_EQ(r.dfi[1], 77);
  }
}

TEST_F(SaoLeadingGroups, InputEndingAmongTheDescriptionLinesIsTheEnd) {
  Dfi dfi{};
  dfi[1] = 1;
  dfi[2] = 4;
  dfi[80] = 2;
  open_input("  1.000\nstation\nmessage\n");
  sao::reader().dfi = dfi;
  sao::build_format_table();
  EXPECT_EQ(sao::read_leading_groups(), Outcome::end_of_input);
}

// A time-stamp group longer than its 120 characters is read through the same
// fields (the 121st character is the first of the next line, as the format
// starts over), the characters past 120 are dropped, and the time-stamp text
// is written from the 120 stored ones.
TEST_F(SaoLeadingGroups, TimeStampPastItsStorageIsReadAndDropped) {
  const std::string stamp = "FE20210320201093000" + std::string(111, '7');
  for (const int32_t count : {121, 240, 245}) {
    SCOPED_TRACE("DFI(3) = " + std::to_string(count));
    Dfi dfi{};
    dfi[1] = 1;
    dfi[3] = count;
    dfi[80] = 2;
    open_input("  1.000\n" + stamp + "\n" + std::string(120, '8') + "\n" + marker_line(77) +
               marker_line(78) + marker_line(79));
    sao::reader().dfi = dfi;
    sao::build_format_table();
    ASSERT_EQ(sao::read_leading_groups(), Outcome::leading_groups_read) << console_err();
    const sao::ReaderState &r = sao::reader();
    EXPECT_EQ(std::string(r.time_stamp_chars.data(), r.time_stamp_chars.size()),
              stamp.substr(0, 120));
    sao::write_listing_line();
    EXPECT_EQ(console_err(), "");
    EXPECT_EQ(std::string(r.time_stamp_text.data(), r.time_stamp_text.size()),
              stamp.substr(0, 120) + std::string(80, ' '));
    ASSERT_EQ(sao::read_index(), Outcome::index_read);
    EXPECT_EQ(r.dfi[1], count <= 240 ? 77 : 78);
  }
}

TEST_F(SaoLeadingGroups, FirstRecordOfNegativeVersionIsAbandonedAtGroupOne) {
  Dfi dfi{};
  dfi[1] = 1;
  dfi[80] = -1;
  open_input("  1.000\n");
  sao::reader().dfi = dfi;
  sao::build_format_table();
  EXPECT_EQ(sao::read_leading_groups(), Outcome::record_abandoned);
}

} // namespace
