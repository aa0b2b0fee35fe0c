// Real archives as stations and data centres keep them: every one-record file
// of many stations alone, all in one run, and joined into one archive in
// several orders, each record listed with its own line. And --report, which
// leaves every other byte of a run as it is.
#include "e2e/run_binary.h"
#include "e2e/run_texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using e2e::RunResult;
using e2e::ScratchDir;

std::vector<fs::path> station_files() {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const fs::directory_entry &e : fs::directory_iterator(SAO_STATIONS_DIR, ec))
    if (e.is_regular_file() && e.path().extension() != ".md") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

// The lines of a list file after its header and empty line.
std::string listing_of(const std::string &list) {
  const size_t at = list.find(e2e::kHeader);
  return at == std::string::npos ? list : list.substr(at + e2e::kHeader.size());
}

class RealStations : public testing::Test {
protected:
  void SetUp() override {
    files_ = station_files();
    if (files_.empty()) GTEST_SKIP() << "no station files in " << SAO_STATIONS_DIR;
  }

  // Lists `text` as one file; returns its listing lines.
  std::string list_joined(const std::string &text) {
    ScratchDir dir;
    dir.write("archive.sao", text);
    const RunResult r = e2e::run_vornet(dir, {{"archive.sao"}, "", false});
    EXPECT_EQ(r.exit_status, 0);
    return listing_of(r.list);
  }

  std::vector<fs::path> files_;
};

TEST_F(RealStations, EachAloneAllInOneRunAndJoinedListEveryRecord) {
  // Alone: one listing line each.
  std::vector<std::string> own;
  std::string loop_out, loop_list, loop_err;
  for (const fs::path &file : files_) {
    ScratchDir dir;
    const RunResult r = e2e::run_vornet(dir, {{file.string()}, "", false});
    SCOPED_TRACE(file.filename().string());
    EXPECT_EQ(r.exit_status, 0);
    const std::string line = listing_of(r.list);
    EXPECT_EQ(line.size(), 27u) << "not one listing line: " << line;
    own.push_back(line);
    loop_out += r.out;
    loop_list += r.list;
    loop_err += r.err;
  }

  // All in one run: as the loop of runs.
  std::vector<std::string> args;
  for (const fs::path &file : files_)
    args.push_back(file.string());
  ScratchDir dir;
  const RunResult all = e2e::run_vornet(dir, {args, "", false});
  EXPECT_EQ(all.exit_status, 0);
  EXPECT_EQ(all.out, loop_out);
  EXPECT_EQ(all.list, loop_list);
  EXPECT_EQ(all.err, loop_err);

  // Joined, in name order and in a seeded shuffle: each record's own line.
  std::vector<size_t> order(files_.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  for (const unsigned seed : {0u, 20261210u}) {
    if (seed != 0) std::shuffle(order.begin(), order.end(), std::mt19937(seed));
    std::string joined, expected;
    for (const size_t i : order) {
      joined += e2e::slurp(files_[i].string());
      expected += own[i];
    }
    EXPECT_EQ(list_joined(joined), expected) << "seed " << seed;
  }
}

// A record whose chain 51 to 53 ends with an empty group, written without a
// line for it, before every other record.
TEST_F(RealStations, EmptyChainGroupBeforeEachRecordLosesNone) {
  const fs::path empty_chain = fs::path(SAO_STATIONS_DIR) / "DW41K_2008020070000.SAO";
  if (!fs::exists(empty_chain)) GTEST_SKIP() << "no " << empty_chain;
  const std::string first = e2e::slurp(empty_chain.string());
  const std::string first_line = list_joined(first);
  std::string joined, expected;
  for (const fs::path &file : files_) {
    joined += first + e2e::slurp(file.string());
    expected += first_line + list_joined(e2e::slurp(file.string()));
  }
  EXPECT_EQ(list_joined(joined), expected);
}

// ---------------------------------------------------------------------------
// The options.

// Two records, the first with letters in its first index line, as a damaged
// transfer leaves them.
std::string damaged_records() {
  std::string text = e2e::two_records() + e2e::sao_record(e2e::kStamp3);
  text[4] = 'x';
  return text;
}

struct OptionCase {
  const char *name;
  std::vector<std::string> args;
  std::vector<std::string> plain;    // the same run without --report
  std::vector<std::string> reported; // the files the report names, in order
};

void PrintTo(const OptionCase &c, std::ostream *os) {
  *os << c.name;
}

class ReportOption : public testing::TestWithParam<OptionCase> {};

TEST_P(ReportOption, AddsItsLinesAndChangesNothingElse) {
  ScratchDir dir;
  dir.write("F", damaged_records());
  dir.write("--report", damaged_records());
  const RunResult with = e2e::run_vornet(dir, {GetParam().args, "", false});
  const std::string list = dir.read("preflist.s");
  ScratchDir plain_dir;
  plain_dir.write("F", damaged_records());
  plain_dir.write("--report", damaged_records());
  const RunResult plain = e2e::run_vornet(plain_dir, {GetParam().plain, "", false});
  EXPECT_EQ(with.exit_status, plain.exit_status);
  EXPECT_EQ(with.out, plain.out);
  EXPECT_EQ(list, plain.list);
  EXPECT_EQ(plain.err, "");
  std::string expected;
  for (const std::string &name : GetParam().reported) {
    expected += name +
                ":1: record not listed: count 2 of the index cannot be read at line 1, "
                "column 4 (invalid character in integer field)\n" +
                name + ": 2 records listed, 1 not listed, 5 lines passed over\n";
  }
  EXPECT_EQ(with.err, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportOption,
    testing::Values(OptionCase{"First", {"--report", "F"}, {"F"}, {"F"}},
                    OptionCase{"Last", {"F", "--report"}, {"F"}, {"F"}},
                    OptionCase{"AmongFiles", {"F", "--report", "F"}, {"F", "F"}, {"F", "F"}},
                    OptionCase{"FileNamedAfterDoubleDash",
                               {"--report", "--", "--report"},
                               {"--", "--report"},
                               {"--report"}},
                    OptionCase{
                        "DoubleDashMakesItAFile", {"--", "--report"}, {"--", "--report"}, {}}),
    [](const auto &info) { return std::string(info.param.name); });

// A pipe reports the lines of the file it carries.
TEST(ReportPipe, SameLinesAsTheFile) {
  ScratchDir dir;
  dir.write("F", damaged_records());
  const RunResult file = e2e::run_vornet(dir, {{"--report", "F"}, "", false});
  const RunResult pipe = e2e::run_script(dir, R"("$0" --report <(cat F))", {{}, "", false});
  auto after_names = [](std::string err) {
    std::string s;
    for (size_t at = 0, next; at < err.size(); at = next + 1) {
      next = err.find('\n', at);
      s += err.substr(err.find(':', at), next + 1 - err.find(':', at));
    }
    return s;
  };
  EXPECT_EQ(pipe.exit_status, 0);
  EXPECT_EQ(after_names(pipe.err), after_names(file.err));
}

// An error that ends a file's run: the report says so, and the summary follows.
TEST(ReportRunTimeError, MissingFileThenTheNext) {
  ScratchDir dir;
  dir.write("F", e2e::two_records());
  const RunResult r = e2e::run_vornet(dir, {{"--report", "missing.sao", "F"}, "", false});
  EXPECT_EQ(r.exit_status, 1);
  const std::string summary_missing = "missing.sao: 0 records listed, 0 not listed, 0 lines "
                                      "passed over\n";
  EXPECT_NE(r.err.find("F6416: OPEN(missing.sao)"), std::string::npos) << r.err;
  EXPECT_NE(
      r.err.find(summary_missing + "F: 2 records listed, 0 not listed, 0 lines passed over\n"),
      std::string::npos)
      << r.err;
}

} // namespace
