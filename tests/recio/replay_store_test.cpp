#include "recio/replay_store.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

#ifdef _WIN32
int make_pipe(int fds[2]) { return ::_pipe(fds, 1 << 16, _O_BINARY); }
#else
int make_pipe(int fds[2]) { return ::pipe(fds); }
#endif

// Points the host's temporary directory at `dir` (empty: back to unset) and
// returns what it was.
std::string set_temp_dir(const std::string &dir) {
#ifdef _WIN32
  const char *name = "TMP"; // the first variable GetTempPath looks at
#else
  const char *name = "TMPDIR";
#endif
  const char *old = std::getenv(name);
  const std::string saved = old ? old : "";
#ifdef _WIN32
  ::_putenv_s(name, dir.c_str());
#else
  if (dir.empty()) {
    ::unsetenv(name);
  } else {
    ::setenv(name, dir.c_str(), 1);
  }
#endif
  return saved;
}

// A pipe that holds `bytes` and, unless `keep_open`, has no writer left.
struct FilledPipe {
  int read_end = -1;
  int write_end = -1;
  FilledPipe(const std::string &bytes, bool keep_open = false) {
    int fds[2];
    if (make_pipe(fds) != 0) throw std::runtime_error("pipe failed");
    read_end = fds[0];
    write_end = fds[1];
    if (::write(write_end, bytes.data(), static_cast<unsigned>(bytes.size())) !=
        static_cast<int>(bytes.size()))
      throw std::runtime_error("pipe write failed");
    if (!keep_open) close_writer();
  }
  void close_writer() {
    if (write_end >= 0) ::close(write_end);
    write_end = -1;
  }
  ~FilledPipe() {
    ::close(read_end);
    close_writer();
  }
};

std::string pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>('a' + i * 7 % 26);
  return s;
}

// Reads `limit` bytes (or to the end) in pieces of `chunk`.
std::string read_through(recio::ReplayStore &store, int fd, size_t chunk, size_t limit) {
  std::string got;
  std::string buf(chunk, '\0');
  while (got.size() < limit) {
    const ssize_t n = store.read(fd, buf.data(), std::min(chunk, limit - got.size()));
    EXPECT_GE(n, 0);
    if (n <= 0) break;
    got.append(buf.data(), static_cast<size_t>(n));
  }
  return got;
}

struct ReplayCase {
  const char *name;
  size_t memory_limit;
  size_t total;      // bytes in the pipe
  size_t read_first; // bytes read before the replay
  size_t chunk;
};

void PrintTo(const ReplayCase &c, std::ostream *os) {
  *os << c.name;
}

class ReplayStoreTest : public testing::TestWithParam<ReplayCase> {};

// The replay gives exactly the bytes read before it, then the rest of the
// stream, wherever the memory ends and however the reads are cut.
TEST_P(ReplayStoreTest, ReplayThenRestIsTheWholeStream) {
  const ReplayCase &c = GetParam();
  const std::string bytes = pattern(c.total);
  FilledPipe pipe(bytes);
  recio::ReplayStore store(c.memory_limit);
  const std::string first = read_through(store, pipe.read_end, c.chunk, c.read_first);
  ASSERT_EQ(first, bytes.substr(0, c.read_first));
  EXPECT_EQ(store.kept(), c.read_first);
  EXPECT_EQ(store.spilled(), c.read_first > c.memory_limit ? c.read_first - c.memory_limit : 0);

  ASSERT_TRUE(store.start_replay());
  EXPECT_EQ(read_through(store, pipe.read_end, c.chunk, SIZE_MAX), bytes);
  EXPECT_FALSE(store.start_replay()) << "one replay only";
}

INSTANTIATE_TEST_SUITE_P(Extents, ReplayStoreTest,
                         testing::Values(ReplayCase{"NothingReadFirst", 16, 40, 0, 8},
                                         ReplayCase{"WithinMemory", 64, 100, 50, 7},
                                         ReplayCase{"ExactlyTheMemory", 64, 100, 64, 16},
                                         ReplayCase{"OneByteSpilled", 64, 100, 65, 13},
                                         ReplayCase{"MostlySpilled", 16, 5000, 4000, 333},
                                         ReplayCase{"WholeStreamReadFirst", 16, 3000, 3000, 1000}),
                         [](const testing::TestParamInfo<ReplayCase> &info) {
                           return std::string(info.param.name);
                         });

// A handle that has ended is not asked again after the replay (a terminal
// would wait for another line).
TEST(ReplayStore, EndSeenWhileKeepingStaysTheEnd) {
  FilledPipe pipe("abc", true);
  recio::ReplayStore store(2);
  char buf[16];
  ASSERT_EQ(store.read(pipe.read_end, buf, sizeof buf), 3);
  pipe.close_writer();
  ASSERT_EQ(store.read(pipe.read_end, buf, sizeof buf), 0);
  ASSERT_TRUE(store.start_replay());
  EXPECT_EQ(read_through(store, pipe.read_end, 2, SIZE_MAX), "abc");
  EXPECT_EQ(store.read(pipe.read_end, buf, sizeof buf), 0);
}

// Bytes beyond the memory that find no temporary file fail the read.
TEST(ReplayStore, SpillFileThatCannotBeMadeFailsTheRead) {
  const std::string saved = set_temp_dir("/nonexistent/vornet-test");
  FilledPipe pipe(pattern(100));
  recio::ReplayStore store(64);
  char buf[100];
  EXPECT_EQ(store.read(pipe.read_end, buf, 64), 64);
  EXPECT_EQ(store.read(pipe.read_end, buf, 36), -1);
#ifndef _WIN32
  EXPECT_EQ(errno, ENOENT);
#endif
  set_temp_dir(saved);
}

// The spill file leaves nothing behind: on POSIX it never has a name, on
// Windows the system deletes it when the store closes it.
TEST(ReplayStore, SpillFileLeavesNothingInTheTemporaryDirectory) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("vornet-spill-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(dir);
  const std::string saved = set_temp_dir(dir.string());
  {
    const std::string bytes = pattern(5000);
    FilledPipe pipe(bytes);
    recio::ReplayStore store(16);
    EXPECT_EQ(read_through(store, pipe.read_end, 333, 4000), bytes.substr(0, 4000));
    EXPECT_EQ(store.spilled(), 4000u - 16u);
    ASSERT_TRUE(store.start_replay());
    EXPECT_EQ(read_through(store, pipe.read_end, 1000, SIZE_MAX), bytes);
  }
  set_temp_dir(saved);
  EXPECT_TRUE(std::filesystem::is_empty(dir));
  std::filesystem::remove_all(dir);
}

} // namespace
