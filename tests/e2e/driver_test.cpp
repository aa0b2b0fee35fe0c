// Whole runs of the driver: how the input is named and connected, and what
// happens to an existing list file.
#include "e2e/run_binary.h"
#include "e2e/run_texts.h"

#include <gtest/gtest.h>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using e2e::RunResult;
using e2e::ScratchDir;

RunResult run_with(const ScratchDir &dir, std::vector<std::string> args, std::string stdin_data = "") {
  return e2e::run_vornet(dir, {std::move(args), std::move(stdin_data), false});
}

TEST(DriverRun, ArgumentNamesTheInput) {
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  const RunResult r = run_with(dir, {"data.sao"});
  EXPECT_EQ(r.exit_status, 0);
  // The echo's line end comes with the stop; the end-of-run closing adds one more.
  EXPECT_EQ(r.out, "data.sao\r\nStop - Program terminated.\r\n\r\n");
  EXPECT_EQ(r.list, e2e::two_listings());
  EXPECT_EQ(r.err, "");
}

TEST(DriverRun, PromptedNameFromPipe) {
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  const RunResult r = run_with(dir, {}, "data.sao\ndata.sao\n");
  EXPECT_EQ(r.exit_status, 0);
  // Neither reply is echoed; the console read closed the prompt's line.
  EXPECT_EQ(r.out, "File name missing or blank - please enter file name\r\n"
                   "UNIT 1?  enter the input filename:\r\n"
                   "Stop - Program terminated.\r\n");
  EXPECT_EQ(r.list, e2e::two_listings());
  EXPECT_EQ(r.err, "");
}

TEST(DriverRun, SecondRunAppendsSecondHeader) {
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  ASSERT_EQ(run_with(dir, {"data.sao"}).exit_status, 0);
  const RunResult r = run_with(dir, {"data.sao"});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.list, e2e::two_listings() + e2e::two_listings());
}

struct ExistingList {
  const char *name;
  std::string before;
};

void PrintTo(const ExistingList &c, std::ostream *os) { *os << c.name; }

class DriverExistingList : public ::testing::TestWithParam<ExistingList> {};

TEST_P(DriverExistingList, ContentKeptAndAppendedTo) {
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  dir.write("preflist.s", GetParam().before);
  const RunResult r = run_with(dir, {"data.sao"});
  EXPECT_EQ(r.exit_status, 0);
  // Nothing is inserted: without a final line end the header continues the last line.
  EXPECT_EQ(r.list, GetParam().before + e2e::two_listings());
}

INSTANTIATE_TEST_SUITE_P(
    Files, DriverExistingList,
    ::testing::Values(ExistingList{"Empty", ""},
                      ExistingList{"EndsWithLineEnd", "  Date (Day of year) Time\r\n\r\nold\r\n"},
                      ExistingList{"NoFinalLineEnd", "first\r\nunfinished"},
                      ExistingList{"BinaryBytes", std::string("a\0b\n\x1a\r", 6)}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(DriverRun, ReadOnlyInputIsListed) {
  ScratchDir dir;
  const std::string content = e2e::two_records();
  dir.write("data.sao", content);
  ASSERT_EQ(::chmod(dir.file("data.sao").c_str(), 0444), 0);
  const RunResult r = run_with(dir, {"data.sao"});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, "data.sao\r\nStop - Program terminated.\r\n\r\n");
  EXPECT_EQ(r.list, e2e::two_listings());
  EXPECT_EQ(dir.read("data.sao"), content);
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("data.sao").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
}

// A missing input ends the run at the input's connect (statement 166) with
// the not-found error: no file is created under its name, and the list file,
// connected after the input, is neither created nor touched.
struct MissingInput {
  const char *name;
  std::vector<std::string> args;
  std::string stdin_data;
  std::string shown;                     // the name in the report
  std::optional<std::string> list_before; // "preflist.s" before the run
};

void PrintTo(const MissingInput &c, std::ostream *os) { *os << c.name; }

class DriverMissingInput : public ::testing::TestWithParam<MissingInput> {};

TEST_P(DriverMissingInput, IsAnErrorAndCreatesNothing) {
  ScratchDir dir;
  const MissingInput &p = GetParam();
  ASSERT_EQ(::symlink("nowhere.sao", dir.file("dangling.sao").c_str()), 0);
  if (p.list_before) dir.write("preflist.s", *p.list_before);
  const RunResult r = run_with(dir, p.args, p.stdin_data);
  EXPECT_EQ(r.exit_status, 1);
  const std::string report = "\r\nvornet(166) : run-time error F6416: OPEN(" + p.shown +
                             ")\r\n- open failed: file or path not found\r\n"
                             "\r\nExecution traceback:\r\n\t\tfrom main program in vornet(166)\r\n";
  EXPECT_EQ(r.err, report);
  EXPECT_EQ(r.out, p.args.empty() ? std::string(e2e::kNamePrompt) : "");
  EXPECT_NE(::access(dir.file(p.shown).c_str(), F_OK), 0) << "the input was created";
  EXPECT_NE(::access(dir.file("nowhere.sao").c_str(), F_OK), 0) << "the link's target was created";
  if (p.list_before) {
    EXPECT_EQ(r.list, *p.list_before);
  } else {
    EXPECT_NE(::access(dir.file("preflist.s").c_str(), F_OK), 0) << "the list file was created";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, DriverMissingInput,
    ::testing::Values(
        MissingInput{"Argument", {"missing.sao"}, "", "missing.sao", std::nullopt},
        MissingInput{"PromptReply", {}, "  missing.sao \n", "missing.sao", std::nullopt},
        MissingInput{"DanglingLink", {"dangling.sao"}, "", "dangling.sao", std::nullopt},
        MissingInput{"ListFileKept", {"missing.sao"}, "", "missing.sao",
                     std::string("  Date (Day of year) Time\r\n\r\nold")},
        MissingInput{"ListFileAsInput", {"preflist.s"}, "", "preflist.s", std::nullopt}),
    [](const auto &info) { return std::string(info.param.name); });

struct ListAsInput {
  const char *name;
  const char *argument; // "@" stands for the absolute path of preflist.s
  std::optional<std::string> before;
};

void PrintTo(const ListAsInput &c, std::ostream *os) { *os << c.name; }

class DriverListAsInput : public ::testing::TestWithParam<ListAsInput> {};

// Connecting the list file finds it already connected as the input: the run
// ends at the list connect, and the file is left exactly as it was.
TEST_P(DriverListAsInput, EndsWithAlreadyConnected) {
  ScratchDir dir;
  const ListAsInput &p = GetParam();
  if (p.before) dir.write("preflist.s", *p.before);
  const std::string argument =
      std::string_view(p.argument) == "@" ? dir.file("preflist.s") : std::string(p.argument);
  const RunResult r = run_with(dir, {argument});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_TRUE(e2e::is_report(r.err, "F6413: OPEN(preflist.s)", 167));
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.list, p.before.value_or(""));
  EXPECT_EQ(::access(dir.file("preflist.s").c_str(), F_OK), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Names, DriverListAsInput,
    ::testing::Values(
        ListAsInput{"Plain", "preflist.s", e2e::sao_record(e2e::kStamp1)},
        ListAsInput{"DotSlash", "./preflist.s", std::string("old list\r\nno end")},
        ListAsInput{"PaddedWithBlanks", "  preflist.s ", std::string("x\r\n")},
        ListAsInput{"AbsolutePath", "@", std::string("y\r\n")}),
    [](const auto &info) { return std::string(info.param.name); });

class DriverNullInput : public ::testing::TestWithParam<const char *> {};

TEST_P(DriverNullInput, ListsNothing) {
  ScratchDir dir;
  const RunResult r = run_with(dir, {GetParam()});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, std::string(GetParam()) + "\r\nStop - Program terminated.\r\n\r\n");
  EXPECT_EQ(r.list, e2e::kHeader);
  EXPECT_EQ(r.err, "");
  EXPECT_NE(::access(dir.file(GetParam()).c_str(), F_OK), 0) << "a file was created";
}

INSTANTIATE_TEST_SUITE_P(Names, DriverNullInput, ::testing::Values("NUL", "nul", "Nul.dat"));

struct ConsoleInput {
  const char *name;
  const char *argument;
  std::string stdin_data;
  std::string finding; // the pre-scan's record, "" for none
};

void PrintTo(const ConsoleInput &c, std::ostream *os) { *os << c.name; }

class DriverConsoleInput : public ::testing::TestWithParam<ConsoleInput> {};

// The console as the input: the pre-scan reads standard input to its end (or
// a finding), and the console cannot be rewound.
TEST_P(DriverConsoleInput, PrescanReadsStdinThenRewindFails) {
  ScratchDir dir;
  const ConsoleInput &p = GetParam();
  const RunResult r = run_with(dir, {p.argument}, p.stdin_data);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_TRUE(e2e::is_report(r.err, "F6403: REWIND(CON)", 196));
  if (p.finding.empty()) {
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.list, "");
  } else {
    // The console record is still open when the run ends.
    EXPECT_EQ(r.out, p.finding.substr(1) + "\r\n");
    EXPECT_EQ(r.list, p.finding + "\r\n");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, DriverConsoleInput,
    ::testing::Values(
        ConsoleInput{"Con", "CON", "one\ntwo\n", ""},
        ConsoleInput{"UserLowerCase", "user", e2e::two_records(), ""},
        ConsoleInput{"UserMixedCase", "User", "", ""},
        ConsoleInput{"FindingOnStdin", "CON", "ok\nwith * star\nmore\n",
                     " -----> \"*\" in sao file @ line        2 <-----"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
