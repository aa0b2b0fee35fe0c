// The reader over generated files: every generated record reads through to
// its end, and the generator's calendar is right.
#include "sao/group_reading.h"
#include "sao/index_and_formats.h"
#include "sao/reader_fixture.h"
#include "sao/time_stamp.h"
#include "sao_generator.h"

#include <string>
#include <vector>

namespace {

using sao::Outcome;

struct GeneratedCase {
  int version;
  saogen::LineEnds line_ends;
  const char *name;
};

void PrintTo(const GeneratedCase &c, std::ostream *os) { *os << c.name; }

class SaoGeneratedRecords : public sao_test::ReaderTest,
                            public testing::WithParamInterface<GeneratedCase> {};

TEST_P(SaoGeneratedRecords, EveryRecordReadsToItsEnd) {
  saogen::GeneratorOptions o;
  o.records = 120;
  o.seed = 7;
  o.format_version = GetParam().version;
  o.line_ends = GetParam().line_ends;
  o.start = {2023, 12, 31, 20, 0, 0};
  o.cadence_seconds = 437;
  std::vector<saogen::GeneratedRecord> records;
  std::string text;
  saogen::generate(
      o, [&](std::string_view chunk) { text.append(chunk); },
      [&](const saogen::GeneratedRecord &r) { records.push_back(r); });
  ASSERT_EQ(records.size(), 120u);
  open_input(text);

  const sao::ReaderState &r = sao::reader();
  for (const saogen::GeneratedRecord &g : records) {
    SCOPED_TRACE(saogen::listing_line(g.time));
    EXPECT_GE(g.lines, 60u);
    EXPECT_LE(g.lines, 150u);
    ASSERT_EQ(sao::read_index(), Outcome::index_read);
    ASSERT_TRUE(sao::index_valid());
    EXPECT_EQ(r.dfi[80], o.format_version);
    sao::build_format_table();
    ASSERT_EQ(sao::read_leading_groups(), Outcome::leading_groups_read);
    sao::write_listing_line();
    EXPECT_EQ(std::string(r.time_stamp_text.data() + 2, 17), saogen::time_stamp_digits(g.time));
    ASSERT_EQ(sao::read_groups(), Outcome::record_complete);
  }
  EXPECT_EQ(sao::read_index(), Outcome::end_of_input);
}

INSTANTIATE_TEST_SUITE_P(Layouts, SaoGeneratedRecords,
                         testing::Values(GeneratedCase{2, saogen::LineEnds::crlf, "Version2Crlf"},
                                         GeneratedCase{4, saogen::LineEnds::lf, "Version4Lf"},
                                         GeneratedCase{5, saogen::LineEnds::mixed,
                                                       "Version5Mixed"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(SaoGeneratorCalendar, AdvancesAcrossDaysMonthsAndYears) {
  struct Case {
    saogen::DateTime from;
    int64_t seconds;
    const char *listing;
  };
  const Case cases[] = {
      {{2021, 2, 1, 9, 30, 0}, 0, "2021.02.01 (032) 09:30:00"},
      {{2023, 12, 31, 23, 55, 0}, 300, "2024.01.01 (001) 00:00:00"},
      {{2024, 2, 28, 23, 59, 59}, 1, "2024.02.29 (060) 00:00:00"},
      {{2023, 2, 28, 23, 59, 59}, 1, "2023.03.01 (060) 00:00:00"},
      {{2024, 12, 31, 12, 0, 0}, 0, "2024.12.31 (366) 12:00:00"},
      {{2100, 2, 28, 23, 0, 0}, 3600, "2100.03.01 (060) 00:00:00"},
      {{2000, 2, 28, 23, 0, 0}, 3600, "2000.02.29 (060) 00:00:00"},
      {{2024, 1, 1, 0, 0, 0}, -1, "2023.12.31 (365) 23:59:59"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(saogen::listing_line(saogen::advance(c.from, c.seconds)), c.listing);
}

TEST(SaoGenerator, SameSeedGivesTheSameFile) {
  saogen::GeneratorOptions o;
  o.records = 20;
  EXPECT_EQ(saogen::generate_text(o), saogen::generate_text(o));
  saogen::GeneratorOptions other = o;
  other.seed = 2;
  EXPECT_NE(saogen::generate_text(o), saogen::generate_text(other));
}

} // namespace
