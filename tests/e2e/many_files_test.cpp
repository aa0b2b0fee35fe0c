// Many files named at once: one run lists each as a run of that file alone
// would, byte for byte on all three outputs and the exit status; in constant
// memory and descriptors; sharing the list file with other runs; and never
// holding the list file's lock while it waits for a console reply.
#include "e2e/run_binary.h"
#include "e2e/run_texts.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace {

using e2e::RunResult;
using e2e::ScratchDir;

// Every input a case may name, written into its directory.
void write_inputs(const ScratchDir &dir) {
  dir.write("a.sao", e2e::two_records());
  dir.write("b.sao", e2e::sao_record(e2e::kStamp3));
  dir.write("star.sao", e2e::sao_record(e2e::kStamp1) + "a * in a stray line\n" +
                            e2e::sao_record(e2e::kStamp2));
  dir.write("empty.sao", "");
  std::string damaged = e2e::two_records();
  damaged[4] = 'x'; // in the first index line: the index is read again line by line
  dir.write("damaged.sao", damaged);
  std::string ctrl_z = e2e::two_records();
  ctrl_z[ctrl_z.find(e2e::kStamp1) + e2e::kStamp1.size() + 4] = '\x1a';
  dir.write("ctrlz.sao", ctrl_z);
  ::mkdir(dir.file("sub").c_str(), 0755);
}

struct ManyCase {
  const char *name;
  std::string words;        // the file arguments, as bash words
  std::string console = ""; // standard input
};

void PrintTo(const ManyCase &c, std::ostream *os) { *os << c.name; }

class ManyFiles : public testing::TestWithParam<ManyCase> {};

// `vornet WORDS` against `for f in WORDS; do vornet "$f"; done`, each in a
// directory of its own holding the same inputs.
TEST_P(ManyFiles, ListEachFileAsARunOfItAlone) {
  const ManyCase &c = GetParam();
  ScratchDir one, each;
  write_inputs(one);
  write_inputs(each);
  const RunResult all = e2e::run_script(one, "\"$0\" " + c.words, {{}, c.console, false});
  const RunResult loop = e2e::run_script(
      each, "rc=0; for f in " + c.words + "; do \"$0\" \"$f\" || rc=1; done; exit $rc",
      {{}, c.console, false});
  EXPECT_EQ(all.out, loop.out);
  EXPECT_EQ(all.err, loop.err);
  EXPECT_EQ(all.list, loop.list);
  EXPECT_EQ(all.exit_status, loop.exit_status);
  EXPECT_NE(all.list, "") << "nothing was listed: the case tests nothing";
}

std::string samples() {
  const std::string dir = SAO_SAMPLES_DIR;
  if (::access((dir + "/TR169_2020064101500.SAO").c_str(), R_OK) != 0) return "";
  return " " + dir + "/TR169_2020064101500.SAO '" + dir + "/JI91J_20240511(132).SAO'";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ManyFiles,
    testing::Values(ManyCase{"Clean", "a.sao b.sao" + samples()},
                    ManyCase{"PrescanFinding", "a.sao star.sao b.sao"},
                    ManyCase{"MissingFirst", "missing.sao a.sao b.sao"},
                    ManyCase{"MissingInTheMiddle", "a.sao missing.sao b.sao"},
                    ManyCase{"MissingLast", "a.sao b.sao missing.sao"},
                    ManyCase{"Directory", "a.sao sub b.sao"},
                    ManyCase{"TheListFileItself", "a.sao preflist.s ./preflist.s b.sao"},
                    ManyCase{"TwoProcessSubstitutions", "<(cat a.sao) <(cat star.sao) b.sao"},
                    ManyCase{"EmptyFile", "empty.sao a.sao empty.sao"},
                    ManyCase{"DamagedRecord", "damaged.sao a.sao"},
                    ManyCase{"CtrlZ", "ctrlz.sao a.sao"},
                    ManyCase{"OneFileTwice", "a.sao a.sao"},
                    // A blank name asks on the console; what one run read
                    // there and did not use is gone for the next, as it is
                    // for the next process.
                    ManyCase{"BlankNamesAskTheConsole", "'' ' ' a.sao", "b.sao\n\na.sao\n\n"},
                    ManyCase{"TheConsoleAsInput", "CON a.sao", "line one\nline two\n"}),
    [](const testing::TestParamInfo<ManyCase> &info) { return std::string(info.param.name); });

// Whether `list` is whole blocks of a header, an empty line and one listing
// line, and how many of each listing it holds.
bool whole_blocks(const std::string &list, std::map<std::string, int> &listings) {
  const std::string header(e2e::kHeader);
  for (size_t at = 0; at < list.size();) {
    if (list.compare(at, header.size(), header) != 0) return false;
    at += header.size();
    const size_t end = list.find("\r\n", at);
    if (end == std::string::npos) return false;
    ++listings[list.substr(at, end + 2 - at)];
    at = end + 2;
  }
  return true;
}

// `count` one-record files f00000.sao ... in `dir`, the three stamps in turn.
void one_record_files(const ScratchDir &dir, int count) {
  const std::string_view stamps[] = {e2e::kStamp1, e2e::kStamp2, e2e::kStamp3};
  for (int i = 0; i < count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%05d.sao", i);
    dir.write(name, e2e::sao_record(stamps[i % 3]));
  }
}

TEST(ManyFilesAtScale, TenThousandFilesInSixteenDescriptorsAndSixteenMiB) {
  ScratchDir dir;
  one_record_files(dir, 10000);
  const RunResult r = e2e::run_script(dir, "ulimit -n 16 && \"$0\" f*.sao", {{}, "", false});
  ASSERT_EQ(r.exit_status, 0) << r.err.substr(0, 2000);
  EXPECT_EQ(r.err, "");
  std::map<std::string, int> listings;
  ASSERT_TRUE(whole_blocks(r.list, listings));
  EXPECT_EQ(listings[std::string(e2e::kListing1)], 3334);
  EXPECT_EQ(listings[std::string(e2e::kListing3)], 3333);
  EXPECT_EQ(r.out.size(), 10000 * std::string("f00000.sao\r\nStop - Program terminated.\r\n\r\n").size());
#ifndef VORNET_SANITIZED
  EXPECT_LE(r.peak_rss_kib, 16 * 1024);
#endif
}

TEST(ManyFilesAtScale, ParallelRunsOfManyFilesKeepEveryBlockWhole) {
  ScratchDir dir;
  one_record_files(dir, 3000);
  for (int round = 0; round < 5; ++round) {
    (void)::unlink(dir.file("preflist.s").c_str());
    const RunResult r = e2e::run_script(
        dir, "printf '%s\\0' f*.sao | xargs -0 -n 100 -P 8 \"$0\" >/dev/null", {{}, "", false});
    ASSERT_EQ(r.exit_status, 0) << r.err.substr(0, 2000);
    std::map<std::string, int> listings;
    ASSERT_TRUE(whole_blocks(r.list, listings)) << "round " << round;
    EXPECT_EQ(listings[std::string(e2e::kListing1)], 1000) << "round " << round;
    EXPECT_EQ(listings[std::string(e2e::kListing2)], 1000) << "round " << round;
    EXPECT_EQ(listings[std::string(e2e::kListing3)], 1000) << "round " << round;
  }
}

// Reads what `fd` gives until `text` has appeared or `seconds` have passed.
bool read_until(int fd, std::string &got, const std::string &text, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (got.find(text) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[4096];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    got.append(buf, static_cast<size_t>(n));
  }
  return true;
}

// A run without an argument whose pre-scan wrote to the list file, waiting
// at " enter the input filename:", does not keep another run from listing.
TEST(ListFileLock, NotHeldWhileARunWaitsForItsReply) {
  ScratchDir dir;
  write_inputs(dir);
  int in[2], out[2];
  ASSERT_EQ(::pipe(in), 0);
  ASSERT_EQ(::pipe(out), 0);
  const pid_t waiting = ::fork();
  ASSERT_GE(waiting, 0);
  if (waiting == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    const int null_fd = ::open("/dev/null", O_WRONLY);
    ::dup2(null_fd, 2);
    if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
    ::execl(VORNET_BINARY, "vornet", static_cast<char *>(nullptr));
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  const std::string reply = "star.sao\n";
  ASSERT_EQ(::write(in[1], reply.data(), reply.size()), static_cast<ssize_t>(reply.size()));
  std::string shown;
  const bool asked = read_until(out[0], shown, std::string(e2e::kFilenamePrompt), 30);
  if (asked) {
    // Bounded, so that a run kept waiting fails the test instead of hanging it.
    const RunResult other =
        e2e::run_script(dir, "timeout 20 \"$0\" b.sao", {{}, "", false});
    EXPECT_EQ(other.exit_status, 0) << "the other run waited for the lock";
    EXPECT_EQ(other.list, std::string(e2e::kHeader) + std::string(e2e::kListing3));
  }
  ASSERT_EQ(::write(in[1], "\n", 1), 1);
  ::close(in[1]);
  int status = 0;
  ::waitpid(waiting, &status, 0);
  ::close(out[0]);
  ASSERT_TRUE(asked) << "the run never asked; it showed: " << shown;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // The waiting run's block, its pre-scan message first, follows whole.
  const std::string list = dir.read("preflist.s");
  EXPECT_EQ(list, std::string(e2e::kHeader) + std::string(e2e::kListing3) +
                      " -----> \"*\" in sao file @ line        6 <-----\r\n" +
                      std::string(e2e::kHeader) + std::string(e2e::kListing1) +
                      std::string(e2e::kListing2));
}

struct OptionCase {
  const char *name;
  std::vector<std::string> args;
  std::string out_start;
  int status;
  bool list_written;
};

void PrintTo(const OptionCase &c, std::ostream *os) { *os << c.name; }

class CommandLineOptions : public testing::TestWithParam<OptionCase> {};

TEST_P(CommandLineOptions, AloneTheyAnswerOtherwiseTheyNameFiles) {
  const OptionCase &c = GetParam();
  ScratchDir dir;
  write_inputs(dir);
  dir.write("--help", e2e::sao_record(e2e::kStamp2));
  const RunResult r = e2e::run_vornet(dir, {c.args, "", false});
  EXPECT_EQ(r.exit_status, c.status);
  EXPECT_EQ(r.out.substr(0, c.out_start.size()), c.out_start);
  EXPECT_EQ(r.list.empty(), !c.list_written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineOptions,
    testing::Values(
        OptionCase{"Help", {"--help"}, "Usage: vornet [--report] [--] [file ...]\n", 0, false},
        OptionCase{"Version", {"--version"}, "vornet ", 0, false},
        OptionCase{"HelpAsAPath", {"./--help"}, "./--help\r\nStop", 0, true},
        OptionCase{"HelpAmongFiles", {"--help", "a.sao"}, "--help\r\nStop", 0, true},
        OptionCase{"UnknownOptionIsAFile", {"--verbose"}, "", 1, false}),
    [](const testing::TestParamInfo<OptionCase> &info) { return std::string(info.param.name); });

} // namespace
