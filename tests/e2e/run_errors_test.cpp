// Run-time errors of whole runs: a floating-point trap after the record's
// listing line has been written, and counts past their storage that are none.
#include "e2e/run_binary.h"
#include "e2e/run_texts.h"

#include <gtest/gtest.h>

namespace {

using e2e::RunResult;
using e2e::ScratchDir;

constexpr const char *kNormalEnd = "data.sao\r\nStop - Program terminated.\r\n\r\n";

// Group 4 holds 120 reals: values past them are read and dropped, and the
// record after it is listed all the same.
class RunErrorsGroup4Count : public ::testing::TestWithParam<int> {};

TEST_P(RunErrorsGroup4Count, CountPastTheBoundIsNoError) {
  ScratchDir dir;
  const int count = GetParam();
  dir.write("data.sao", e2e::sao_record(e2e::kStamp1, {{4, count}}, e2e::f8_lines(count, "   1.500")) +
                            e2e::sao_record(e2e::kStamp2));
  const RunResult r = e2e::run_vornet(dir, {{"data.sao"}, "", false});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, kNormalEnd);
  EXPECT_EQ(r.list, e2e::two_listings());
}

INSTANTIATE_TEST_SUITE_P(Counts, RunErrorsGroup4Count, ::testing::Values(119, 120, 121, 135, 999),
                         [](const auto &info) { return "Count" + std::to_string(info.param); });

struct Group12Value {
  const char *name;
  const char *field; // an F8.3 field of group 12 in a version 2 record
  bool traps;
};

void PrintTo(const Group12Value &c, std::ostream *os) { *os << c.name; }

class RunErrorsGroup12Copy : public ::testing::TestWithParam<Group12Value> {};

// Copying group 12 to its integer form cannot convert a magnitude of 2**63 or
// more: the floating-point invalid condition at statement 401.
TEST_P(RunErrorsGroup12Copy, HugeRealTraps) {
  ScratchDir dir;
  const Group12Value &p = GetParam();
  dir.write("data.sao", e2e::sao_record(e2e::kStamp1, {{12, 1}}, std::string(p.field) + "\n") +
                            e2e::sao_record(e2e::kStamp2));
  const RunResult r = e2e::run_vornet(dir, {{"data.sao"}, "", false});
  if (!p.traps) {
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, kNormalEnd);
    EXPECT_EQ(r.list, e2e::two_listings());
  } else {
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, "\r\nvornet(401) : run-time error M6101: MATH\r\n"
                     "- floating-point error: invalid\r\n"
                     "\r\nExecution traceback:\r\n"
                     "\t\tfrom main program in vornet(401)\r\n");
    EXPECT_EQ(r.out, "data.sao\r\n");
    EXPECT_EQ(r.list, std::string(e2e::kHeader) + std::string(e2e::kListing1));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, RunErrorsGroup12Copy,
    ::testing::Values(Group12Value{"Huge", "1.00E+30", true},
                      Group12Value{"JustAbove2To63", "9.30E+18", true},
                      Group12Value{"NegativeHuge", "-9.3E+18", true},
                      Group12Value{"Below2To63", "9.20E+18", false},
                      Group12Value{"WrapsTo32Bits", "3.00E+09", false}),
    [](const auto &info) { return std::string(info.param.name); });

// A version 1 record reads group 12 as integers: no real to convert.
TEST(RunErrors, Group12BelowVersion2ReadsIntegers) {
  ScratchDir dir;
  dir.write("data.sao", e2e::sao_record(e2e::kStamp1, {{12, 3}, {80, 1}}, "  1  2  3\n") +
                            e2e::sao_record(e2e::kStamp2));
  const RunResult r = e2e::run_vornet(dir, {{"data.sao"}, "", false});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.list, e2e::two_listings());
}

} // namespace
