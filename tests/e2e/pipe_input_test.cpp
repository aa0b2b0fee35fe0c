// Inputs that cannot be positioned: a pipe named as /dev/stdin, process
// substitution and a named pipe. What the pre-scan reads is kept and given
// again at the rewind, so every run must give, byte for byte, what the same
// bytes give from a file.
#include "e2e/run_binary.h"
#include "e2e/run_texts.h"
#include "sao_generator.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

#ifdef VORNET_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

const std::string kHeader = "  Date (Day of year) Time\r\n\r\n";

// Two ways of giving vornet a file's bytes through a pipe, each with its
// counterpart that gives the file itself under the same argument, so that
// even the console's echo of the name must match. In the pipe scripts the
// shell function `feed` writes the bytes; $1 is the file.
struct Route {
  const char *name;
  const char *through_pipe;
  const char *from_file;
};

void PrintTo(const Route &c, std::ostream *os) {
  *os << c.name;
}

const Route kRoutes[] = {
    {"StandardInput", R"(feed "$1" | "$0" /dev/stdin)", R"("$0" /dev/stdin < "$1")"},
    {"ProcessSubstitution", R"(exec 3< <(feed "$1"); "$0" /dev/fd/3)",
     R"(exec 3< "$1"; "$0" /dev/fd/3)"},
};

e2e::RunResult run_script(const std::string &script, const std::string &file) {
  e2e::ScratchDir dir;
  e2e::RunOptions o;
  o.args = {file};
  return e2e::run_script(dir, script, o);
}

// Runs `route` on `file` through a pipe fed by `feed` and from `file_seen`
// (by default `file` itself), and expects the same status and bytes.
void expect_same_as_file(const Route &route, const std::string &file,
                         const std::string &feed = R"(cat "$1")",
                         const std::string &file_seen = "") {
  const e2e::RunResult piped = run_script("feed() { " + feed + "; }; " + route.through_pipe, file);
  const e2e::RunResult direct = run_script(route.from_file, file_seen.empty() ? file : file_seen);
  EXPECT_NE(direct.list.find(kHeader), std::string::npos) << "the file run listed nothing";
  EXPECT_EQ(piped.exit_status, direct.exit_status) << piped.err;
  EXPECT_EQ(piped.out, direct.out);
  EXPECT_EQ(piped.err, direct.err);
  // The listing may be megabytes: report where it differs, not all of it.
  EXPECT_TRUE(piped.list == direct.list)
      << "sizes " << piped.list.size() << " and " << direct.list.size()
      << ", first difference at byte "
      << std::mismatch(piped.list.begin(), piped.list.end(), direct.list.begin(), direct.list.end())
                 .first -
             piped.list.begin();
}

std::vector<std::string> sample_files() {
  std::vector<std::string> files = {std::string(VORNET_SOURCE_DIR) + "/examples/station.sao"};
  std::error_code ec;
  for (const fs::directory_entry &e : fs::directory_iterator(SAO_SAMPLES_DIR, ec))
    if (e.is_regular_file() && e.path().extension() != ".md") files.push_back(e.path().string());
  std::sort(files.begin() + 1, files.end());
  return files;
}

void write_generated(const std::string &path, uint64_t bytes) {
  saogen::GeneratorOptions o;
  o.records = 0;
  o.target_bytes = bytes;
  o.seed = 7;
  o.format_version = 4;
  std::ofstream out(path, std::ios::binary);
  saogen::generate(o, out);
}

class PipeInput : public testing::TestWithParam<Route> {};

TEST_P(PipeInput, SampleFilesGiveWhatTheFileGives) {
  const std::vector<std::string> files = sample_files();
  if (files.size() == 1)
    std::cerr << "no sample SAO files in " SAO_SAMPLES_DIR ", the example only\n";
  for (const std::string &file : files) {
    SCOPED_TRACE(file);
    expect_same_as_file(GetParam(), file);
  }
}

// Far more than the pre-scan reads: the rest of the stream follows the
// replayed part without a byte lost or doubled.
TEST_P(PipeInput, HundredMegabyteFileGivesWhatTheFileGives) {
  e2e::ScratchDir dir;
  write_generated(dir.file("big.sao"), kSanitized ? 8u << 20 : 100u << 20);
  expect_same_as_file(GetParam(), dir.file("big.sao"));
}

// What the pre-scan reads before it stops, from one line to more than the
// memory keeps: the part beyond it goes to the temporary file.
TEST_P(PipeInput, PrescanWindowsOfEveryExtent) {
  saogen::GeneratorOptions o;
  o.records = 20;
  const std::string records = saogen::generate_text(o);
  std::string plain_lines;
  for (int i = 0; i < 29; ++i)
    plain_lines += "x\n";
  const std::string long_line(2000, '7');
  std::string many_long_lines;
  for (int i = 0; i < 9999; ++i)
    many_long_lines += long_line + "\n";
  std::string one_huge_line;
  saogen::write_long_line(20u << 20, [&](std::string_view chunk) { one_huge_line += chunk; });
  struct Case {
    const char *name;
    std::string text;
  };
  const Case cases[] = {
      {"a blank first line", "\n" + records},
      {"an asterisk on line 30", plain_lines + "*\n" + records},
      {"9999 lines of 2000 characters", many_long_lines + records},
      {"a line of 20 MiB", one_huge_line + "\n" + records},
      {"a line of 20 MiB without a line end", one_huge_line},
      {"nothing", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    e2e::ScratchDir dir;
    dir.write("in.sao", c.text);
    expect_same_as_file(GetParam(), dir.file("in.sao"));
  }
}

// A writer that fails or stops early leaves what a file cut at the same byte
// holds: within the pre-scan's window, beyond it, inside a line.
TEST_P(PipeInput, WriterEndingEarlyGivesWhatTheCutFileGives) {
  saogen::GeneratorOptions o;
  o.records = 400;
  o.seed = 3;
  const std::string text = saogen::generate_text(o);
  e2e::ScratchDir dir;
  dir.write("whole.sao", text);
  for (size_t cut : {size_t{1}, size_t{4000}, size_t{4001}, text.size() / 3, text.size() - 2}) {
    SCOPED_TRACE("cut at byte " + std::to_string(cut));
    dir.write("cut.sao", text.substr(0, cut));
    expect_same_as_file(GetParam(), dir.file("whole.sao"),
                        "head -c " + std::to_string(cut) + R"( "$1"; exit 3)", dir.file("cut.sao"));
  }
}

INSTANTIATE_TEST_SUITE_P(Routes, PipeInput, testing::ValuesIn(kRoutes),
                         [](const testing::TestParamInfo<Route> &info) {
                           return std::string(info.param.name);
                         });

// Memory stays bounded whatever the pipe holds: what the pre-scan reads
// beyond a fixed amount goes to the temporary file.
TEST(PipeInputMemory, BoundedWhateverTheLinesHold) {
  const std::string line_bytes = std::to_string(kSanitized ? 32u << 20 : 256u << 20);
  struct Case {
    const char *name;
    std::string feed;
  };
  const Case cases[] = {
      {"a line of 256 MiB without a line end",
       "head -c " + line_bytes + R"( /dev/zero | tr '\0' 7)"},
      {"9999 lines of 4 KiB", R"sh(yes "$(printf '%04096d' 7)" | head -n 9999)sh"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const e2e::RunResult r = run_script(c.feed + R"( | "$0" /dev/stdin)", "");
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.list, kHeader);
    if (!kSanitized) { // the sanitizers' shadow memory says nothing of the program's
      EXPECT_LE(r.peak_rss_kib, 16 * 1024) << "kilobytes at most";
    }
  }
}

// Bytes that cannot be kept would make the replay lose data: the read that
// took them fails instead, with the host's read failure.
TEST(PipeInputFaults, NoTemporaryDirectoryForWhatIsKept) {
  const e2e::RunResult r = run_script(
      R"(export TMPDIR=/nonexistent/dir; head -c 8388608 /dev/zero | tr '\0' 7 | "$0" /dev/stdin)",
      "");
  EXPECT_TRUE(e2e::is_report(r.err, "F6500: READ(/dev/stdin)", 171)) << r.err;
  EXPECT_EQ(r.exit_status, 1);
}

// The whole memory is enough for a short pipe: no temporary file is needed.
TEST(PipeInputFaults, ShortPipeNeedsNoTemporaryDirectory) {
  const std::string example = std::string(VORNET_SOURCE_DIR) + "/examples/station.sao";
  const e2e::RunResult r =
      run_script(R"(export TMPDIR=/nonexistent/dir; cat "$1" | "$0" /dev/stdin)", example);
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_NE(r.list, kHeader);
}

// A named pipe is connected for reading only and listed like the file.
TEST(PipeInputNamed, FifoIsListed) {
  const std::string example = std::string(VORNET_SOURCE_DIR) + "/examples/station.sao";
  e2e::ScratchDir dir;
  ASSERT_EQ(::mkfifo(dir.file("in.fifo").c_str(), 0644), 0);
  dir.write("in.sao", e2e::slurp(example));
  const pid_t writer = ::fork();
  if (writer == 0) {
    const std::string text = e2e::slurp(example);
    const int fd = ::open(dir.file("in.fifo").c_str(), O_WRONLY);
    const bool ok =
        fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::_exit(ok ? 0 : 1);
  }
  e2e::RunOptions o;
  o.args = {"in.fifo"};
  const e2e::RunResult piped = e2e::run_vornet(dir, o);
  ::kill(writer, SIGKILL); // when the run never opened the pipe
  int status = 0;
  ::waitpid(writer, &status, 0);
  EXPECT_EQ(status, 0);
  e2e::ScratchDir file_dir;
  file_dir.write("in.fifo", e2e::slurp(example));
  const e2e::RunResult direct = e2e::run_vornet(file_dir, o);
  EXPECT_EQ(piped.exit_status, 0) << piped.err;
  EXPECT_EQ(piped.out, direct.out);
  EXPECT_EQ(piped.list, direct.list);
}

} // namespace
