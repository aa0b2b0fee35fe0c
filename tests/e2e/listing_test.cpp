// Whole runs that check every listing line: generated files, the real sample
// files, and hand-made records at the edges of the group counts.
#include "e2e/run_binary.h"
#include "sao_generator.h"
#include "support/sao_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

const std::string kHeader = "  Date (Day of year) Time\r\n\r\n";
const std::string kStop = "Stop - Program terminated.\r\n";

std::string list_of(const std::vector<std::string> &lines) {
  std::string s = kHeader;
  for (const std::string &l : lines)
    s += l + "\r\n";
  return s;
}

bool ends_with(const std::string &s, const std::string &tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// ---------------------------------------------------------------------------
// Generated files.

struct GeneratedCase {
  const char *name;
  int version;
  saogen::LineEnds line_ends;
  uint64_t records;
  saogen::DateTime start;
  int64_t cadence;
};

void PrintTo(const GeneratedCase &c, std::ostream *os) { *os << c.name; }

class ListingGenerated : public testing::TestWithParam<GeneratedCase> {};

TEST_P(ListingGenerated, EveryRecordIsListedWithItsTimeStamp) {
  const GeneratedCase &c = GetParam();
  saogen::GeneratorOptions o;
  o.records = c.records;
  o.seed = 11;
  o.format_version = c.version;
  o.line_ends = c.line_ends;
  o.start = c.start;
  o.cadence_seconds = c.cadence;
  std::vector<std::string> expected;
  const std::string text = saogen::generate_text(o, &expected);
  ASSERT_EQ(expected.size(), c.records);

  e2e::ScratchDir dir;
  dir.write("data.sao", text);
  const e2e::RunResult r = e2e::run_vornet(dir, {{"data.sao"}, "", false});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "data.sao\r\n" + kStop + "\r\n");
  ASSERT_EQ(r.list.size(), list_of(expected).size());
  EXPECT_TRUE(r.list == list_of(expected))
      << "first difference at byte "
      << std::mismatch(r.list.begin(), r.list.end(), list_of(expected).begin()).first -
             r.list.begin();
}

INSTANTIATE_TEST_SUITE_P(
    Files, ListingGenerated,
    testing::Values(
        // Hourly and a bit across a new year and a leap day.
        GeneratedCase{"Version2AcrossTheYear",
                      2,
                      saogen::LineEnds::crlf,
                      3000,
                      {2023, 12, 31, 18, 0, 0},
                      4021},
        GeneratedCase{
            "Version5FiveMinutes", 5, saogen::LineEnds::mixed, 1500, {2024, 2, 28, 21, 0, 0}, 300},
        GeneratedCase{
            "Version4LineFeeds", 4, saogen::LineEnds::lf, 500, {2019, 12, 31, 23, 0, 0}, 97}),
    [](const auto &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The real sample files, against a record walker of their own.

// Values per line of groups 4 to 60 in records of format version 2 and above.
constexpr int kPerLine[61] = {
    0,   0,  0,   0,                                           // unused, groups 1 to 3
    15,  60, 16,  15,  15, 40, 120, 15,  15, 15, 40, 120, 15,  // 4 to 16
    15,  15, 40,  120, 15, 15, 40,  120, 15, 15, 40, 120, 15,  // 17 to 29
    15,  40, 120, 15,  60, 60, 60,  10,  10, 10, 6,  120, 10,  // 30 to 42
    15,  40, 120, 15,  15, 40, 120, 15,  15, 15, 15, 120, 120, // 43 to 55
    120, 10, 15,  15,  15,                                     // 56 to 60
};

int chain_guard(int k) {
  if (k == 52 || k == 53) return 51;
  if (k == 59 || k == 60) return 58;
  return k;
}

struct Walked {
  std::vector<std::string> listing;
  std::vector<std::string> stamps;
  bool whole = false;  // the last record ended at the end of the file
  std::string prescan; // the pre-scan's list-file record, if it finds something
};

// Lines of the file; a carriage return ends a line's data.
std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(at, nl - at);
    line = line.substr(0, line.find('\r'));
    lines.push_back(line);
    at = nl + 1;
  }
  return lines;
}

Walked walk(const std::string &text) {
  Walked w;
  const std::vector<std::string> lines = lines_of(text);

  for (size_t n = 0; n < lines.size() && n < 9999; ++n) {
    const std::string first = lines[n].substr(0, 120);
    const char *message = nullptr;
    if (first.find_first_not_of(' ') == std::string::npos) {
      message = " -----> Blank line in sao file @ line ";
    } else {
      for (char ch : first) {
        if (ch == '\0') message = " -----> Nul character in sao file @ line ";
        if (ch == '*') message = " -----> \"*\" in sao file @ line ";
        if (message) break;
      }
    }
    if (message) {
      char number[16];
      std::snprintf(number, sizeof number, "%8zu", n + 1);
      w.prescan = std::string(message) + number + " <-----\r\n";
      break;
    }
  }

  size_t at = 0;
  const auto skip = [&](int64_t count, int per_line) {
    at += static_cast<size_t>((count + per_line - 1) / per_line);
  };
  while (at + 2 <= lines.size()) {
    std::array<int, 81> dfi{};
    for (int k = 1; k <= 80; ++k) {
      const std::string &line = lines[at + (k > 40 ? 1 : 0)];
      const size_t col = static_cast<size_t>((k - 1) % 40) * 3;
      dfi[k] = col < line.size() ? std::atoi(line.substr(col, 3).c_str()) : 0;
    }
    at += 2;
    if (dfi[1] < 1 || dfi[1] > 16 || dfi[80] < 2) {
      ADD_FAILURE() << "no record of version 2 or above at line " << at - 1;
      return w;
    }
    skip(dfi[1], 16);
    if (dfi[2] >= 1) at += static_cast<size_t>(dfi[2]); // one line per description line
    if (dfi[3] >= 1) {
      if (at >= lines.size()) return w;
      std::string s = lines[at].substr(0, static_cast<size_t>(std::min(dfi[3], 120)));
      w.stamps.push_back(s);
      s.resize(19, ' ');
      w.listing.push_back(s.substr(2, 4) + "." + s.substr(9, 2) + "." + s.substr(11, 2) + " (" +
                          s.substr(6, 3) + ") " + s.substr(13, 2) + ":" + s.substr(15, 2) + ":" +
                          s.substr(17, 2));
      skip(dfi[3], 120);
    }
    for (int k = 4; k <= 60; ++k) {
      if (dfi[chain_guard(k)] < 1) continue;
      if (dfi[k] < 1) {
        ++at; // a later group of a chain still takes its line
      } else {
        skip(dfi[k], kPerLine[k]);
      }
    }
  }
  w.whole = at == lines.size();
  return w;
}

// Two letters, then YYYYDDDMMDDHHMMSS.
bool looks_like_time_stamp(const std::string &s) {
  if (s.size() < 19 || !std::isalpha(static_cast<unsigned char>(s[0])) ||
      !std::isalpha(static_cast<unsigned char>(s[1])))
    return false;
  return std::all_of(s.begin() + 2, s.begin() + 19,
                     [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)); });
}

TEST(ListingRealFiles, EveryRecordIsListedWithItsTimeStamp) {
  namespace fs = std::filesystem;
  const fs::path samples = SAO_SAMPLES_DIR;
  std::error_code ec;
  if (!fs::is_directory(samples, ec)) GTEST_SKIP() << "no sample SAO files in " << samples;
  std::vector<fs::path> files;
  for (const fs::directory_entry &e : fs::directory_iterator(samples, ec)) {
    std::string ext = e.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char ch) { return std::toupper(ch); });
    if (e.is_regular_file() && ext == ".SAO") files.push_back(e.path());
  }
  if (files.empty()) GTEST_SKIP() << "no sample SAO files in " << samples;
  std::sort(files.begin(), files.end());

  for (const fs::path &file : files) {
    SCOPED_TRACE(file.filename().string());
    const std::string text = e2e::slurp(file.string());
    const Walked w = walk(text);
    ASSERT_TRUE(w.whole) << "the walker did not end with the file";
    ASSERT_FALSE(w.listing.empty());
    for (const std::string &s : w.stamps)
      ASSERT_TRUE(looks_like_time_stamp(s)) << "the walker lost its records at [" << s << "]";
    if (file.filename() == "JI91J_20240511(132).SAO") {
      EXPECT_EQ(w.listing.size(), 230u);
    }

    e2e::ScratchDir dir;
    const e2e::RunResult r = e2e::run_vornet(dir, {{fs::absolute(file).string()}, "", false});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(ends_with(r.out, kStop + "\r\n")) << r.out;
    EXPECT_EQ(r.list, w.prescan + list_of(w.listing));
  }
}

// ---------------------------------------------------------------------------
// Hand-made records.

using testing_support::Dfi;

// `count` fields, `per_line` to a line, each the text `field`.
std::string lines_of_fields(int count, int per_line, const std::string &field) {
  return testing_support::field_lines(count, per_line, [&](int) { return field; });
}

// A record: its index, the 16 values of group 1, one line of group 2, the
// time-stamp group when DFI(3) is at least 1, then `groups` as given.
std::string record(Dfi dfi, const std::string &stamp, const std::string &groups = "") {
  std::string s = testing_support::index_lines(dfi);
  s += lines_of_fields(dfi[1], 16, "  1.500");
  if (dfi[2] >= 1) s += "DPS-4D hand-made test record\n";
  if (dfi[3] >= 1) s += stamp + "\n";
  return s + groups;
}

Dfi smallest(int version = 2, int stamp_length = 19) {
  Dfi dfi{};
  dfi[1] = 16;
  dfi[2] = 1;
  dfi[3] = stamp_length;
  dfi[80] = version;
  return dfi;
}

const std::string kStampA = "FE20210320201093000";
const std::string kStampB = "FE20240600229235959";
const std::string kListingA = "2021.02.01 (032) 09:30:00";
const std::string kListingB = "2024.02.29 (060) 23:59:59";

e2e::RunResult run_on(const std::string &text) {
  e2e::ScratchDir dir;
  dir.write("data.sao", text);
  return e2e::run_vornet(dir, {{"data.sao"}, "", false});
}

TEST(ListingHandMade, SmallestCompleteRecord) {
  const e2e::RunResult r = run_on(record(smallest(), kStampA) + record(smallest(), kStampB));
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, "data.sao\r\n" + kStop + "\r\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.list, list_of({kListingA, kListingB}));
}

TEST(ListingHandMade, RecordWithoutTimeStampRepeatsThePreviousLine) {
  const e2e::RunResult r = run_on(record(smallest(), kStampA) + record(smallest(2, 0), "") +
                                  record(smallest(), kStampB));
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.list, list_of({kListingA, kListingA, kListingB}));
}

TEST(ListingHandMade, NoTimeStampYetGivesNulFields) {
  const e2e::RunResult r = run_on(record(smallest(2, 0), "") + record(smallest(), kStampA));
  EXPECT_EQ(r.exit_status, 0);
  const auto nul = [](size_t n) { return std::string(n, '\0'); };
  const std::string nul_line = nul(4) + "." + nul(2) + "." + nul(2) + " (" + nul(3) + ") " +
                               nul(2) + ":" + nul(2) + ":" + nul(2);
  ASSERT_EQ(nul_line.size(), 25u);
  EXPECT_EQ(r.list, list_of({nul_line, kListingA}));
}

TEST(ListingHandMade, InputEndingInsideGroupTwentyIsListedAndStops) {
  Dfi dfi = smallest();
  dfi[20] = 200; // two lines of 120I1; the file holds only the first
  const e2e::RunResult r =
      run_on(record(smallest(), kStampA) + record(dfi, kStampB, std::string(120, '3') + "\n"));
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, "data.sao\r\n" + kStop + "\r\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.list, list_of({kListingA, kListingB}));
}

// A group count at, one past or far past its bound, in a record between two
// good ones: values past the bound are read and dropped, and every record is
// listed.
struct CountCase {
  const char *name;
  int version;
  int group;
  int count;
  int per_line;
  std::string field;
};

void PrintTo(const CountCase &c, std::ostream *os) { *os << c.name; }

class ListingGroupCounts : public testing::TestWithParam<CountCase> {};

TEST_P(ListingGroupCounts, EveryRecordIsListed) {
  const CountCase &c = GetParam();
  Dfi dfi = smallest(c.version);
  dfi[c.group] = c.count;
  const e2e::RunResult r =
      run_on(record(smallest(), kStampA) +
             record(dfi, kStampB, lines_of_fields(c.count, c.per_line, c.field)) +
             record(smallest(), kStampA));
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.list, list_of({kListingA, kListingB, kListingA}));
}

INSTANTIATE_TEST_SUITE_P(
    Edges, ListingGroupCounts,
    testing::Values(CountCase{"Group4Of121", 2, 4, 121, 15, " 235.000"},
                    CountCase{"Group4Of120", 2, 4, 120, 15, " 235.000"},
                    CountCase{"Group4Of999", 2, 4, 999, 15, " 235.000"},
                    CountCase{"Group40Of121InVersion2", 2, 40, 121, 6, "  0.646000400000E+04"},
                    CountCase{"Group40Of122InVersion2", 2, 40, 122, 6, "  0.646000400000E+04"},
                    CountCase{"Group40Of21InVersion1", 1, 40, 21, 10, "0.531000E+0"},
                    CountCase{"Group40Of20InVersion1", 1, 40, 20, 10, "0.531000E+0"},
                    CountCase{"Group7Of918InVersion5", 5, 7, 918, 15, " 312.500"},
                    CountCase{"Group7Of918InVersion1", 1, 7, 918, 40, "312"},
                    CountCase{"Group8Of999InVersion2", 2, 8, 999, 15, "9999.000"},
                    CountCase{"Group8Of401InVersion1", 1, 8, 401, 40, " 66"},
                    CountCase{"Group8Of400InVersion1", 1, 8, 400, 40, " 66"},
                    CountCase{"Group6Of17", 2, 6, 17, 16, "  1.000"},
                    CountCase{"Group54Of500", 2, 54, 500, 120, "K"}),
    [](const auto &info) { return std::string(info.param.name); });

// Description lines beyond two: a station line, an autoscaler message and its
// continuation, or a blank line, a station line and a web reference. Each is
// read as a description line, so the time stamp after them is the record's.
TEST(ListingHandMade, EveryDescriptionLineIsRead) {
  const std::vector<std::vector<std::string>> descriptions = {
      {"DPS-4D station"},
      {"DPS-4D station", "ARTIST5 autoscaler"},
      {"Station JI91J", "NASO. /.BL (NDE) 84:1,: U", "continued autoscaler message"},
      {"", "Dynasonde station", "https://example.org/dynasonde", "fourth", "fifth"},
  };
  for (const std::vector<std::string> &lines : descriptions) {
    SCOPED_TRACE(std::to_string(lines.size()) + " description lines");
    Dfi dfi = smallest();
    dfi[2] = static_cast<int>(lines.size());
    dfi[4] = 3;
    std::string text = testing_support::index_lines(dfi) + lines_of_fields(16, 16, "  1.500");
    for (const std::string &l : lines) text += l + "\n";
    text += kStampB + "\n" + lines_of_fields(3, 15, " 235.000");
    const e2e::RunResult r = run_on(record(smallest(), kStampA) + text + record(smallest(), kStampA));
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
    // The Dynasonde's blank line is line 9: the first record takes 5 lines,
    // then come 2 index lines and the line of group 1.
    const std::string prescan =
        lines[0].empty() ? " -----> Blank line in sao file @ line        9 <-----\r\n" : "";
    EXPECT_EQ(r.list, prescan + list_of({kListingA, kListingB, kListingA}));
  }
}

// Group 4's only field is "  1.500E": an exponent letter with no integer is an
// error, group 4's read goes on past it, and group 5 takes " 1" from column 9
// of the same line; the next record starts on the line after.
TEST(ListingHandMade, ExponentLetterWithoutDigitsLeavesGroupFiveOnTheSameLine) {
  for (const std::string letter : {"E", "e", "D", "d"}) {
    SCOPED_TRACE(letter);
    Dfi dfi = smallest();
    dfi[4] = 1;
    dfi[5] = 1;
    const e2e::RunResult r = run_on(record(dfi, kStampA, "  1.500" + letter + " 1\n") +
                                    record(smallest(), kStampB));
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.list, list_of({kListingA, kListingB}));
  }
}

// A time-stamp group of more than 120 characters fills its lines 120 to a
// line; the listing line comes from its first characters as always.
TEST(ListingHandMade, TimeStampPastItsStorage) {
  for (const int count : {121, 240, 999}) {
    SCOPED_TRACE("DFI(3) = " + std::to_string(count));
    std::string stamp = kStampB + std::string(static_cast<size_t>(count) - kStampB.size(), '7');
    for (size_t at = 120; at < stamp.size(); at += 121) stamp.insert(at, "\n");
    const e2e::RunResult r = run_on(record(smallest(), kStampA) + record(smallest(2, count), stamp) +
                                    record(smallest(), kStampA));
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.list, list_of({kListingA, kListingB, kListingA}));
  }
}

} // namespace
