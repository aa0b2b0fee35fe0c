#include "recio/replay_store.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

// A pipe that holds `bytes` and, unless `keep_open`, has no writer left.
struct FilledPipe {
  int read_end = -1;
  int write_end = -1;
  FilledPipe(const std::string &bytes, bool keep_open = false) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    read_end = fds[0];
    write_end = fds[1];
    if (::write(write_end, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
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
  const char *old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  ::setenv("TMPDIR", "/nonexistent/vornet-test", 1);
  FilledPipe pipe(pattern(100));
  recio::ReplayStore store(64);
  char buf[100];
  EXPECT_EQ(store.read(pipe.read_end, buf, 64), 64);
  EXPECT_EQ(store.read(pipe.read_end, buf, 36), -1);
  EXPECT_EQ(errno, ENOENT);
  if (old) {
    ::setenv("TMPDIR", saved.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
}

} // namespace
