// The pre-scan of the input: the first blank line, NUL or "*" is reported on
// the console and in the list file, and the listing runs all the same.
#include "e2e/run_binary.h"
#include "e2e/run_texts.h"

#include <gtest/gtest.h>

namespace {

using e2e::RunResult;
using e2e::ScratchDir;

// Three records of five lines each. Lines 2, 7 and 12 (second index lines),
// 3, 8, 13 (group 1) and 4, 9, 14 (group 2 text) may be blanked, and the
// group 2 lines may hold any bytes, without costing a listing line.
std::vector<std::string> three_records() {
  return e2e::split_lines(e2e::sao_record(e2e::kStamp1) + e2e::sao_record(e2e::kStamp2) +
                          e2e::sao_record(e2e::kStamp3));
}

std::string three_listings() {
  return std::string(e2e::kHeader) + std::string(e2e::kListing1) + std::string(e2e::kListing2) +
         std::string(e2e::kListing3);
}

struct Damage {
  const char *name;
  std::vector<std::pair<int, std::string>> lines; // line number, replacement
  std::string finding;                            // the reported record, "" for none
};

void PrintTo(const Damage &c, std::ostream *os) { *os << c.name; }

class PrescanFindings : public ::testing::TestWithParam<Damage> {};

TEST_P(PrescanFindings, ReportedBeforeTheListing) {
  ScratchDir dir;
  std::vector<std::string> lines = three_records();
  for (const auto &[number, text] : GetParam().lines) lines.at(number - 1) = text;
  dir.write("data.sao", e2e::join_lines(lines));
  const RunResult r = e2e::run_vornet(dir, {{"data.sao"}, "", false});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.err, "");
  const std::string &f = GetParam().finding;
  if (f.empty()) {
    EXPECT_EQ(r.out, "data.sao\r\nStop - Program terminated.\r\n\r\n");
    EXPECT_EQ(r.list, three_listings());
  } else {
    // On the console the leading blank is carriage control, and as the first
    // console record it has no line end in front.
    EXPECT_EQ(r.out, f.substr(1) + "\r\ndata.sao\r\nStop - Program terminated.\r\n\r\n");
    EXPECT_EQ(r.list, f + "\r\n" + three_listings());
  }
}

const std::string k120(120, 'x');

INSTANTIATE_TEST_SUITE_P(
    Files, PrescanFindings,
    ::testing::Values(
        Damage{"Clean", {}, ""},
        Damage{"EmptyLine", {{12, ""}},
               " -----> Blank line in sao file @ line       12 <-----"},
        Damage{"LineOfBlanks", {{12, std::string(120, ' ')}},
               " -----> Blank line in sao file @ line       12 <-----"},
        Damage{"ShortLineOfBlanks", {{3, "   "}},
               " -----> Blank line in sao file @ line        3 <-----"},
        Damage{"LongLineOfBlanks", {{8, std::string(300, ' ')}},
               " -----> Blank line in sao file @ line        8 <-----"},
        Damage{"CarriageReturnOnly", {{7, "\r"}},
               " -----> Blank line in sao file @ line        7 <-----"},
        Damage{"Nul", {{9, std::string("group\0two", 9)}},
               " -----> Nul character in sao file @ line        9 <-----"},
        Damage{"NulLeftOfStar", {{9, std::string("a\0b*c", 5)}},
               " -----> Nul character in sao file @ line        9 <-----"},
        Damage{"StarLeftOfNul", {{9, std::string("a*b\0c", 5)}},
               " -----> \"*\" in sao file @ line        9 <-----"},
        Damage{"StarInColumn1", {{14, "*"}}, " -----> \"*\" in sao file @ line       14 <-----"},
        Damage{"StarInColumn120", {{4, k120.substr(1) + "*"}},
               " -----> \"*\" in sao file @ line        4 <-----"},
        Damage{"StarBeyondColumn120", {{4, k120 + "*"}}, ""},
        Damage{"NulBeyondColumn120", {{4, k120 + std::string(1, '\0')}}, ""},
        Damage{"StarAfterCarriageReturnInColumns", {{4, "text\r*"}}, ""},
        Damage{"OnlyFirstFinding", {{4, "a*b"}, {9, std::string(1, '\0')}, {12, ""}},
               " -----> \"*\" in sao file @ line        4 <-----"},
        Damage{"BlankBeforeLaterNul", {{12, ""}, {14, std::string(1, '\0')}},
               " -----> Blank line in sao file @ line       12 <-----"}),
    [](const auto &info) { return std::string(info.param.name); });

// 2000 records make 10000 lines; the group 2 line of the last record is line
// 9999, its time-stamp line is line 10000.
class PrescanLineLimit : public ::testing::TestWithParam<std::pair<int, const char *>> {};

TEST_P(PrescanLineLimit, LookAtNineThousandNineHundredNinetyNineLines) {
  ScratchDir dir;
  std::string text;
  for (int i = 0; i < 2000; ++i) text += e2e::sao_record(e2e::kStamp1);
  std::vector<std::string> lines = e2e::split_lines(text);
  ASSERT_EQ(lines.size(), 10000u);
  std::string &damaged = lines.at(GetParam().first - 1);
  damaged += "*"; // past the 19 characters the time stamp takes
  dir.write("data.sao", e2e::join_lines(lines));
  const RunResult r = e2e::run_vornet(dir, {{"data.sao"}, "", false});
  EXPECT_EQ(r.exit_status, 0);
  std::string listing(e2e::kHeader);
  for (int i = 0; i < 2000; ++i) listing += e2e::kListing1;
  const std::string finding = GetParam().second;
  if (finding.empty()) {
    EXPECT_EQ(r.out, "data.sao\r\nStop - Program terminated.\r\n\r\n");
    EXPECT_EQ(r.list, listing);
  } else {
    EXPECT_EQ(r.out, finding.substr(1) + "\r\ndata.sao\r\nStop - Program terminated.\r\n\r\n");
    EXPECT_EQ(r.list, finding + "\r\n" + listing);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PrescanLineLimit,
    ::testing::Values(std::pair<int, const char *>{9999, " -----> \"*\" in sao file @ line     9999 <-----"},
                      std::pair<int, const char *>{10000, ""}));

TEST(Prescan, FindingBeforeTheFilenamePrompt) {
  ScratchDir dir;
  std::vector<std::string> lines = three_records();
  lines.at(11) = "";
  dir.write("data.sao", e2e::join_lines(lines));
  const RunResult r = e2e::run_vornet(dir, {{}, "data.sao\nreply\n", false});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, std::string(e2e::kNamePrompt) +
                       "-----> Blank line in sao file @ line       12 <-----\r\n"
                       " enter the input filename:\r\n"
                       "Stop - Program terminated.\r\n");
  EXPECT_EQ(r.list, " -----> Blank line in sao file @ line       12 <-----\r\n" + three_listings());
}

TEST(Prescan, EmptyInputReportsNothing) {
  ScratchDir dir;
  dir.write("data.sao", "");
  const RunResult r = e2e::run_vornet(dir, {{"data.sao"}, "", false});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, "data.sao\r\nStop - Program terminated.\r\n\r\n");
  EXPECT_EQ(r.list, e2e::kHeader);
}

} // namespace
