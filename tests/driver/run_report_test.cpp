// The report of what the listing passed over, run in process: its lines for
// hand-made damage, and on seeded damage of real daily archives that it
// leaves the listing as it is and accounts for every line of the input.
#include "driver/command_line.h"
#include "driver/run_report.h"
#include "support/runtime_fixture.h"
#include "support/sao_text.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using driver::LineRange;
using driver::LineRangeKind;
using testing_support::Dfi;

// A record of five lines: the index, 16 values of group 1, one line of group
// 2 and the time stamp; then `groups`, the lines of the counts in `more`.
std::string record(const std::string &stamp, const std::vector<std::pair<int, int>> &more = {},
                   const std::string &groups = "") {
  Dfi dfi{};
  dfi[1] = 16;
  dfi[2] = 1;
  dfi[3] = 19;
  dfi[80] = 2;
  for (const auto &[k, n] : more)
    dfi[static_cast<size_t>(k)] = n;
  std::string s = testing_support::index_lines(dfi);
  for (int i = 0; i < 16; ++i)
    s += "  1.500";
  return s + "\nDPS-4D hand-made record\n" + stamp + "\n" + groups;
}

// Where a record's group 1 begins: after its two index lines.
constexpr size_t kGroupOne = 2 * 121;

const std::string kA = record("FE20210320201093000");
const std::string kB = record("FE20210320201094500");
const std::string kC = record("FE20210320201100000");

// The counts of the first index line set, with `field` (three columns) in
// place of count `k`.
std::string with_count(std::string rec, int k, const std::string &field) {
  rec.replace(static_cast<size_t>(3 * (k - 1)), 3, field);
  return rec;
}

// The listing lines of a list file, without the header and pre-scan lines.
std::vector<std::string> listing_lines(const std::string &list) {
  std::vector<std::string> lines;
  std::istringstream s(list);
  for (std::string line; std::getline(s, line);)
    if (line.size() == 26 && line != "  Date (Day of year) Time\r")
      lines.push_back(line.substr(0, 25)); // a listing line and its CR
  return lines;
}

class RunReport : public testing_support::RuntimeTest {
protected:
  // Runs the command line `args` in process; returns the exit status.
  int run(const std::vector<std::string> &args) {
    std::filesystem::remove(path("preflist.s"));
    start_run(args);
    words_.assign(1, "vornet");
    words_.insert(words_.end(), args.begin(), args.end());
    argv_.clear();
    for (std::string &w : words_)
      argv_.push_back(w.data());
    argv_.push_back(nullptr);
    ranges_.clear();
    driver::command_line_report().set_observer(
        [](const LineRange &r, void *self) {
          static_cast<RunReport *>(self)->ranges_.push_back(r);
        },
        this);
    const int status = expect_end(
        [this] { driver::run_command_line(static_cast<int>(words_.size()), argv_.data()); });
    driver::command_line_report().set_observer(nullptr, nullptr);
    return status;
  }

  std::vector<LineRange> ranges_;

private:
  std::vector<std::string> words_;
  std::vector<char *> argv_;
};

struct SpanCase {
  const char *name;
  std::string input;
  std::string report; // after "in.sao:"
};

void PrintTo(const SpanCase &c, std::ostream *os) {
  *os << c.name;
}

class ReportSpans : public RunReport, public testing::WithParamInterface<SpanCase> {};

TEST_P(ReportSpans, NameEachSpanWhereItBeginsAndWhy) {
  write_file("in.sao", GetParam().input);
  ASSERT_EQ(run({"in.sao"}), 0);
  const std::string list = read_file("preflist.s");
  const std::string out = console_out();
  ASSERT_EQ(run({"--report", "in.sao"}), 0);
  EXPECT_EQ(read_file("preflist.s"), list);
  EXPECT_EQ(console_out(), out);
  std::string expected;
  for (size_t at = 0, next; at < GetParam().report.size(); at = next + 1) {
    next = GetParam().report.find('\n', at);
    expected += "in.sao:" + GetParam().report.substr(at, next + 1 - at);
  }
  EXPECT_EQ(console_err(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    HandMade, ReportSpans,
    testing::Values(
        SpanCase{"Clean", kA + kB, " 2 records listed, 0 not listed, 0 lines passed over\n"},
        SpanCase{"BlankLineBetweenRecords", kA + "\n" + kB,
                 "6: lines between records: no index: the line holds no counts\n"
                 " 2 records listed, 0 not listed, 1 line passed over\n"},
        SpanCase{"CountOutOfRange", kA + with_count(kB, 1, " 17") + kC,
                 "6: record not listed: count 1 of the index is 17, not 1 to 16\n"
                 " 2 records listed, 1 not listed, 5 lines passed over\n"},
        // The rest of the record is tried line by line as an index.
        SpanCase{"LettersInTheIndex", kA + with_count(kB, 3, "abc") + kC,
                 "6: record not listed: count 3 of the index cannot be read at line 6, column 7 "
                 "(invalid character in integer field)\n"
                 " 2 records listed, 1 not listed, 5 lines passed over\n"},
        SpanCase{"GroupOneUnreadable",
                 kA + kB.substr(0, kGroupOne + 14) + "x" + kB.substr(kGroupOne + 15) + kC,
                 "6: record not listed: group 1 cannot be read at line 8, column 15 "
                 "(invalid character in real field)\n"
                 " 2 records listed, 1 not listed, 5 lines passed over\n"},
        SpanCase{"LaterGroupUnreadable",
                 kA + record("FE20210320201094500", {{5, 3}}, " 1 x\n") + kC,
                 "6: rest of listed record passed over: group 5 cannot be read at line 11, "
                 "column 3 (invalid character in integer field)\n"
                 " 3 records listed, 0 not listed, 6 lines passed over\n"},
        SpanCase{"InputEndsInsideALaterGroup",
                 kA + record("FE20210320201094500", {{4, 30}}, "   1.000\n"),
                 "6: rest of listed record passed over: the input ends inside group 4\n"
                 " 2 records listed, 0 not listed, 6 lines passed over\n"},
        SpanCase{"InputEndsInsideTheIndex", kA + kB.substr(0, 121),
                 "6: record not listed: the input ends inside the index\n"
                 " 1 record listed, 1 not listed, 1 line passed over\n"},
        // Nothing after the Ctrl-Z is read, but its lines are counted.
        SpanCase{"CtrlZInsideGroupOne",
                 kA + kB.substr(0, kGroupOne + 7) + "\x1a" + kB.substr(kGroupOne + 8) + kC,
                 "6: record not listed: a Ctrl-Z at line 8, column 8 ends the input inside "
                 "group 1\n"
                 " 1 record listed, 1 not listed, 10 lines passed over\n"},
        // A chain whose third group is empty, written with a line for it:
        // the line is a stray one between records.
        SpanCase{"LineWrittenForAnEmptyChainGroup",
                 kA +
                     record("FE20210320201094500", {{51, 2}, {52, 2}},
                            "   1.000   2.000\n   3.000   4.000\n\n") +
                     kC,
                 "13: lines between records: no index: the line holds no counts\n"
                 " 3 records listed, 0 not listed, 1 line passed over\n"}),
    [](const auto &info) { return std::string(info.param.name); });

// Counts (51, 52, 53) with and without a line for an empty group, then
// another record: every record is listed, and a line written for an empty
// group is all the report names.
TEST_F(RunReport, ChainsWithEmptyGroupsLoseNoRecord) {
  const int counts[][3] = {{2, 0, 0}, {2, 2, 0}, {2, 0, 2}, {0, 2, 2}};
  for (const auto &c : counts) {
    for (const bool line_for_empty : {false, true}) {
      SCOPED_TRACE(testing::Message()
                   << c[0] << ", " << c[1] << ", " << c[2]
                   << (line_for_empty ? " with" : " without") << " a line for an empty group");
      std::string groups;
      int stray = 0;
      for (int g = 0; g < 3 && c[0] > 0; ++g) {
        if (c[g] > 0) {
          groups += "   1.000   2.000\n";
        } else if (line_for_empty) {
          groups += "\n";
          ++stray;
        }
      }
      write_file("in.sao",
                 kA + record("FE20210320201094500", {{51, c[0]}, {52, c[1]}, {53, c[2]}}, groups) +
                     kC);
      ASSERT_EQ(run({"--report", "in.sao"}), 0);
      EXPECT_EQ(listing_lines(read_file("preflist.s")),
                (std::vector<std::string>{"2021.02.01 (032) 09:30:00", "2021.02.01 (032) 09:45:00",
                                          "2021.02.01 (032) 10:00:00"}));
      const std::string passed = std::to_string(stray) + (stray == 1 ? " line" : " lines");
      EXPECT_NE(console_err().find("in.sao: 3 records listed, 0 not listed, " + passed),
                std::string::npos)
          << console_err();
    }
  }
}

// ---------------------------------------------------------------------------
// Seeded damage of real daily archives.

const std::filesystem::path kArchives = SAO_ARCHIVES_DIR;

std::string slurp(const std::filesystem::path &path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

uint64_t lines_of(const std::string &text) {
  const auto n = static_cast<uint64_t>(std::count(text.begin(), text.end(), '\n'));
  return n + (!text.empty() && text.back() != '\n');
}

// The ranges cover lines 1 to `lines` in order, each line once.
void expect_ranges_cover(const std::vector<LineRange> &ranges, uint64_t lines) {
  uint64_t next = 1;
  for (const LineRange &r : ranges) {
    if (r.kind == LineRangeKind::not_read) continue;
    ASSERT_EQ(r.first_line, next) << "a gap or an overlap before line " << next;
    ASSERT_GE(r.last_line + 1, r.first_line);
    next = r.last_line + 1;
  }
  EXPECT_EQ(next, lines + 1) << "the ranges end before the input does";
}

TEST_F(RunReport, CleanArchivesReportTheirSummaryAlone) {
  if (!std::filesystem::is_directory(kArchives)) GTEST_SKIP() << "no archives at " << kArchives;
  for (const auto &e : std::filesystem::directory_iterator(kArchives)) {
    if (e.path().extension() != ".sao") continue;
    SCOPED_TRACE(e.path().filename().string());
    const std::string text = slurp(e.path());
    write_file("in.sao", text);
    ASSERT_EQ(run({"--report", "in.sao"}), 0);
    const size_t records = listing_lines(read_file("preflist.s")).size();
    EXPECT_EQ(console_err(), "in.sao: " + std::to_string(records) +
                                 " records listed, 0 not listed, 0 lines passed over\n");
    expect_ranges_cover(ranges_, lines_of(text));
  }
}

TEST_F(RunReport, DamagedArchivesListAsWithoutItAndAccountForEveryLine) {
  if (!std::filesystem::is_directory(kArchives)) GTEST_SKIP() << "no archives at " << kArchives;
  std::vector<std::string> archives;
  for (const auto &e : std::filesystem::directory_iterator(kArchives))
    if (e.path().extension() == ".sao") archives.push_back(slurp(e.path()));
  std::sort(archives.begin(), archives.end());
  ASSERT_FALSE(archives.empty());
#ifdef VORNET_SANITIZED
  constexpr int kDamages = 30;
#else
  constexpr int kDamages = 150;
#endif
  std::mt19937_64 rng(20261210);
  int losing = 0;
  for (int n = 0; n < kDamages; ++n) {
    const std::string &clean = archives[static_cast<size_t>(n) % archives.size()];
    write_file("in.sao", clean);
    ASSERT_EQ(run({"--report", "in.sao"}), 0);
    const std::vector<std::string> clean_listing = listing_lines(read_file("preflist.s"));
    std::vector<LineRange> records;
    for (const LineRange &r : ranges_)
      if (r.kind == LineRangeKind::record_read_whole) records.push_back(r);
    ASSERT_EQ(records.size(), clean_listing.size());

    // One byte changed, to any byte but a line feed, so the lines stay where
    // they were.
    std::string text = clean;
    const size_t at = rng() % text.size();
    char byte;
    do {
      byte = static_cast<char>(rng());
    } while (byte == '\n' || byte == text[at]);
    if (text[at] == '\n') continue;
    text[at] = byte;
    const uint64_t damaged_line =
        1 + static_cast<uint64_t>(
                std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(at), '\n'));
    SCOPED_TRACE(testing::Message() << "damage " << n << ": byte " << static_cast<int>(byte)
                                    << " at line " << damaged_line);

    write_file("in.sao", text);
    const int status = run({"in.sao"});
    const std::string list = read_file("preflist.s");
    const std::string out = console_out();
    ASSERT_EQ(run({"--report", "in.sao"}), status);
    EXPECT_EQ(read_file("preflist.s"), list);
    EXPECT_EQ(console_out(), out);
    const std::string err = console_err();
    const std::vector<std::string> listing = listing_lines(list);
    // The summary's first number: the records listed.
    const size_t summary = err.rfind("in.sao: ");
    ASSERT_NE(summary, std::string::npos) << err;
    EXPECT_EQ(std::stoull(err.substr(summary + 8)), listing.size()) << err;
    expect_ranges_cover(ranges_, lines_of(text));

    // A record lost against the clean listing is named by a span that begins
    // within the damaged record or the next one.
    size_t hit = 0;
    while (hit + 1 < records.size() && records[hit].last_line < damaged_line)
      ++hit;
    bool lost = false;
    for (const std::string &line : clean_listing)
      lost = lost || std::count(listing.begin(), listing.end(), line) <
                         std::count(clean_listing.begin(), clean_listing.end(), line);
    if (!lost) continue;
    ++losing;
    const uint64_t from = records[hit].first_line;
    const uint64_t to = records[std::min(hit + 1, records.size() - 1)].last_line;
    bool named = false;
    for (const LineRange &r : ranges_)
      named = named || (r.kind != LineRangeKind::record_read_whole && r.first_line >= from &&
                        r.first_line <= to);
    EXPECT_TRUE(named) << err;
  }
  std::cout << kDamages << " damages, " << losing << " of them lost a record\n";
}

} // namespace
