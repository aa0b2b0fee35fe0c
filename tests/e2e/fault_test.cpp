// Faults of the host around a run: files that cannot be opened or written,
// a working directory that is gone, a closed standard output. Each ends the
// run with status 1 and a report that names the operation and the file.
#include "e2e/run_binary.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <string>

namespace {

const std::string kRecord =
    "  1  1 19  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0"
    "  0  0  0  0  0  0  0  0  0  0\n"
    "  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0  0"
    "  0  0  0  0  0  0  0  0  0  2\n"
    "  1.000\nstation\nFE20210320201093000\n";

// Ignores a signal for the life of the object, then restores what was there.
class IgnoredSignal {
public:
  explicit IgnoredSignal(int signal) : signal_(signal), previous_(std::signal(signal, SIG_IGN)) {}
  ~IgnoredSignal() { std::signal(signal_, previous_); }
  IgnoredSignal(const IgnoredSignal &) = delete;
  IgnoredSignal &operator=(const IgnoredSignal &) = delete;

private:
  int signal_;
  void (*previous_)(int);
};

// The first lines of the report for a failure at `statement`, up to the
// message, and its traceback.
void expect_report(const e2e::RunResult &r, int statement, const std::string &error) {
  EXPECT_EQ(r.exit_status, 1) << r.err;
  const std::string position = "vornet(" + std::to_string(statement) + ")";
  EXPECT_EQ(r.err.rfind("\r\n" + position + " : run-time error " + error + "\r\n- ", 0), 0u)
      << r.err;
  EXPECT_NE(r.err.find("\r\n\r\nExecution traceback:\r\n\t\tfrom main program in " + position +
                       "\r\n"),
            std::string::npos)
      << r.err;
}

// Runs vornet with its working directory at `dir` and standard input on the
// null device; standard output and standard error go to files in `capture`.
// With `remove_dir` the directory is removed once the child stands in it.
// Unlike e2e::run_vornet it never reads "preflist.s", which may lead to a
// device that reads without end.
// With `file_size_limit` above 0 no file of the run grows past that many
// bytes: a write beyond it stops short and then fails, as on a full device.
e2e::RunResult run_in(const std::string &dir, const e2e::ScratchDir &capture,
                      const std::string &input, bool remove_dir, rlim_t file_size_limit = 0) {
  const std::string out = capture.file("out"), err = capture.file("err");
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (file_size_limit > 0) {
      const rlimit limit{file_size_limit, file_size_limit};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(124);
      std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
    }
    const int in_fd = ::open("/dev/null", O_RDONLY);
    const int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in_fd < 0 || out_fd < 0 || err_fd < 0) ::_exit(125);
    ::dup2(in_fd, 0);
    ::dup2(out_fd, 1);
    ::dup2(err_fd, 2);
    if (::chdir(dir.c_str()) != 0 || (remove_dir && ::rmdir(dir.c_str()) != 0)) ::_exit(126);
    ::execl(VORNET_BINARY, "vornet", input.c_str(), static_cast<char *>(nullptr));
    ::_exit(127);
  }
  // A run that has not ended after 20 seconds is taken as a hang.
  int status = 0;
  for (int waited = 0; ::waitpid(pid, &status, WNOHANG) == 0; ++waited) {
    if (waited == 2000) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    ::usleep(10000);
  }
  e2e::RunResult r;
  r.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = capture.read("out");
  r.err = capture.read("err");
  return r;
}

TEST(Fault, WorkingDirectoryRemoved) {
  e2e::ScratchDir scratch;
  scratch.write("in.sao", kRecord);
  const std::string gone = scratch.file("gone");
  ASSERT_EQ(::mkdir(gone.c_str(), 0755), 0);
  const e2e::RunResult r = run_in(gone, scratch, scratch.file("in.sao"), true);
  ASSERT_NE(r.exit_status, 126) << "the child could not remove its directory";
  expect_report(r, 167, "F6416: OPEN(preflist.s)");
  EXPECT_EQ(r.out, "");
}

TEST(Fault, ListFileIsADirectory) {
  e2e::ScratchDir dir;
  dir.write("in.sao", kRecord);
  ASSERT_EQ(::mkdir(dir.file("preflist.s").c_str(), 0755), 0);
  const e2e::RunResult r = e2e::run_vornet(dir, {{"in.sao"}, "", false});
  expect_report(r, 167, "F6414: OPEN(preflist.s)");
}

TEST(Fault, InputIsADirectory) {
  e2e::ScratchDir dir;
  ASSERT_EQ(::mkdir(dir.file("in.sao").c_str(), 0755), 0);
  const e2e::RunResult r = e2e::run_vornet(dir, {{"in.sao"}, "", false});
  expect_report(r, 166, "F6414: OPEN(in.sao)");
  EXPECT_EQ(r.list, ""); // the list file is connected after the input
}

// A closed standard output must not lend its descriptor to a file: the echo of
// the input name fails and the input stays as it was.
TEST(Fault, StandardOutputClosed) {
  e2e::ScratchDir dir;
  dir.write("in.sao", kRecord);
  const e2e::RunResult r = e2e::run_vornet(dir, {{"in.sao"}, "", true});
  expect_report(r, 209, "F6502: WRITE(CON)");
  EXPECT_EQ(dir.read("in.sao"), kRecord);
  EXPECT_EQ(r.list, "");
}

// Without an argument the first console write is the file-name prompt.
TEST(Fault, StandardOutputClosedAtThePrompt) {
  e2e::ScratchDir dir;
  dir.write("in.sao", kRecord);
  // The run may end before it reads the reply fed to it: the feed's broken
  // pipe must not end this test process. The old disposition comes back
  // afterwards, so later tests in the same process see the default.
  const IgnoredSignal ignored(SIGPIPE);
  const e2e::RunResult r = e2e::run_vornet(dir, {{}, "in.sao\n", true});
  EXPECT_EQ(r.exit_status, 1) << r.err;
  EXPECT_NE(r.err.find("run-time error F6502: WRITE(CON)\r\n- "), std::string::npos) << r.err;
  EXPECT_EQ(dir.read("in.sao"), kRecord);
}

// The list output is held and written out at the end of the run; a list file
// that cannot take it makes the run a failure.
TEST(Fault, ListFileOnAFullDevice) {
  e2e::ScratchDir dir;
  dir.write("in.sao", kRecord);
  ASSERT_EQ(::symlink("/dev/full", dir.file("preflist.s").c_str()), 0);
  const e2e::ScratchDir capture;
  const e2e::RunResult r = run_in(dir.path(), capture, "in.sao", false);
  expect_report(r, 652, "F6502: WRITE(preflist.s)");
  EXPECT_NE(r.out.find("Stop - Program terminated.\r\n"), std::string::npos) << r.out;
}

// A list file that fills its device part way through a record is cut back to
// the end of its last whole record: it keeps its earlier content and ends with
// CR LF, so the next run's header starts a line of its own. (The limit holds
// for the captured standard streams too, hence the long earlier content.)
TEST(Fault, ListFileFillingItsDeviceEndsAtAWholeRecord) {
  std::string before = "  Date (Day of year) Time\r\n\r\n";
  for (int i = 0; i < 200; ++i) before += "2020.01.01 (001) 00:00:00\r\n";
  const std::string run = "  Date (Day of year) Time\r\n\r\n"
                          "2021.02.01 (032) 09:30:00\r\n2021.02.01 (032) 09:30:00\r\n"
                          "2021.02.01 (032) 09:30:00\r\n";
  for (const size_t room : {size_t{10}, size_t{27}, size_t{28}, size_t{60}, run.size() - 1}) {
    SCOPED_TRACE("room for " + std::to_string(room) + " bytes");
    e2e::ScratchDir dir;
    dir.write("in.sao", kRecord + kRecord + kRecord);
    dir.write("preflist.s", before);
    const e2e::ScratchDir capture;
    const e2e::RunResult r =
        run_in(dir.path(), capture, "in.sao", false, static_cast<rlim_t>(before.size() + room));
    ASSERT_NE(r.exit_status, 124) << "the file size limit could not be set";
    expect_report(r, 652, "F6502: WRITE(preflist.s)");
    const size_t last = run.rfind("\r\n", room - 2);
    const std::string whole = last == std::string::npos ? "" : run.substr(0, last + 2);
    const std::string list = dir.read("preflist.s");
    EXPECT_EQ(list.substr(0, before.size()), before);
    EXPECT_EQ(list.substr(std::min(before.size(), list.size())), whole);
  }
}

// The same when the run was already ending with an error of its own: the
// first report stands, the failed write-out is reported after it, status 1.
TEST(Fault, ListFileOnAFullDeviceAfterAnError) {
  e2e::ScratchDir dir;
  std::string record = kRecord;
  record.replace(18, 3, "  1"); // DFI(7): one group-7 value, too large for an integer
  dir.write("in.sao", record + "  1.0E19\n");
  ASSERT_EQ(::symlink("/dev/full", dir.file("preflist.s").c_str()), 0);
  const e2e::ScratchDir capture;
  const e2e::RunResult r = run_in(dir.path(), capture, "in.sao", false);
  expect_report(r, 362, "M6101: MATH");
  EXPECT_NE(r.err.find("\r\nrun-time error F6502: WRITE(preflist.s)\r\n- "), std::string::npos)
      << r.err;
}

} // namespace
