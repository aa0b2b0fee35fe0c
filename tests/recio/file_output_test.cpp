// A failed write of the list file leaves it ending at a whole record: the host
// write is replaced by one that fails after a chosen number of bytes, and every
// such point is tried.
#include "driver/program_flow.h"
#include "e2e/run_texts.h"
#include "recio/connection.h"
#include "recio/file_output.h"
#include "recio/output_records.h"
#include "recio/run_errors.h"
#include "recio/units.h"
#include "support/runtime_fixture.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>
#include <fcntl.h>
#include <unistd.h>

#ifndef O_BINARY
#define O_BINARY 0 // POSIX has no text mode; on Windows the bytes must pass unchanged
#endif

namespace {

// Bytes the replaced host write still lets through before it fails.
size_t g_budget = 0;

ssize_t write_until_full(int fd, const void *data, size_t size) {
  if (g_budget == 0) {
    errno = ENOSPC;
    return -1;
  }
  const size_t n = std::min(size, g_budget);
  const ssize_t written = ::write(fd, data, n);
  if (written > 0) g_budget -= static_cast<size_t>(written);
  return written;
}

// `text` up to the end of its last whole record within the first `n` bytes.
std::string whole_records_within(const std::string &text, size_t n) {
  const size_t end = text.rfind("\r\n", n < 2 ? 0 : n - 2);
  return end == std::string::npos || end + 2 > n ? "" : text.substr(0, end + 2);
}

class FileOutput : public testing_support::RuntimeTest {
protected:
  void TearDown() override {
    recio::set_host_write(nullptr);
    RuntimeTest::TearDown();
  }

  // A whole run over `input` with "preflist.s" holding `before`; the host
  // write lets `budget` bytes through (all of them when it is npos).
  int run_program(const std::string &input, const std::string &before, size_t budget) {
    write_file("data.sao", input);
    write_file("preflist.s", before);
    start_run({"data.sao"});
    recio::set_host_write(budget == std::string::npos ? nullptr : write_until_full);
    g_budget = budget;
    return expect_end([] { driver::run_program(); });
  }
};

const std::string kBefore = "  Date (Day of year) Time\r\n\r\n2020.01.01 (001) 00:00:00\r\nno end";

TEST_F(FileOutput, EveryCutPointOfARunLeavesWholeRecords) {
  const std::string input = e2e::sao_record(e2e::kStamp1) + "  1  1  1\n" +
                            e2e::sao_record(e2e::kStamp2) + e2e::sao_record(e2e::kStamp3);
  ASSERT_EQ(run_program(input, kBefore, std::string::npos), 0);
  const std::string list = read_file("preflist.s");
  ASSERT_EQ(list.compare(0, kBefore.size(), kBefore), 0);
  const std::string run = list.substr(kBefore.size());
  ASSERT_GT(run.size(), 100u);

  for (size_t budget = 0; budget < run.size(); ++budget) {
    SCOPED_TRACE("fails after " + std::to_string(budget) + " bytes");
    EXPECT_EQ(run_program(input, kBefore, budget), 1);
    EXPECT_EQ(read_file("preflist.s"), kBefore + whole_records_within(run, budget));
    EXPECT_NE(console_err().find("run-time error F6502: WRITE(preflist.s)\r\n"),
              std::string::npos)
        << console_err();
    if (HasFailure()) return;
  }
  EXPECT_EQ(run_program(input, kBefore, run.size()), 0);
  EXPECT_EQ(read_file("preflist.s"), list);
}

// Records written while the buffer is refilled: the failure comes in the
// middle of the run, at the first, second or last write-out, and records
// that span two write-outs are cut whole.
TEST_F(FileOutput, FailuresAcrossSeveralWriteOuts) {
  std::string full;
  std::vector<std::string> records;
  for (int i = 0; i < 6000; ++i) {
    records.push_back("record " + std::to_string(i) + std::string(static_cast<size_t>(i % 23), '.'));
    full += records.back() + "\r\n";
  }
  const auto write_all_records = [&] {
    recio::connect_unit(20, "list.txt", "append");
    for (const std::string &r : records) recio::write_formatted(20, "(a)", {r});
    recio::close_all_units();
  };
  ASSERT_GT(full.size(), 2 * recio::kOutputBufferSize);
  const size_t buffer = recio::kOutputBufferSize;
  std::vector<size_t> budgets = {0, 1, full.size() - 1};
  for (size_t edge : {buffer, 2 * buffer, full.size() - full.size() % buffer})
    for (size_t d = 0; d < 60; ++d) budgets.push_back(edge - 30 + d);
  for (size_t budget : budgets) {
    SCOPED_TRACE("fails after " + std::to_string(budget) + " bytes");
    write_file("list.txt", "earlier\r\n");
    start_run();
    recio::set_host_write(write_until_full);
    g_budget = budget;
    EXPECT_EQ(expect_end(write_all_records), 1);
    EXPECT_EQ(read_file("list.txt"), "earlier\r\n" + whole_records_within(full, budget));
    if (HasFailure()) return;
  }
}

// Several runs may append to one file at once: every write-out of a full
// buffer ends at a record end, so no run's line is broken by another's.
std::vector<char> g_last_bytes;

ssize_t write_noting_last_byte(int fd, const void *data, size_t size) {
  if (size > 0) g_last_bytes.push_back(static_cast<const char *>(data)[size - 1]);
  return ::write(fd, data, size);
}

TEST_F(FileOutput, FullBufferIsWrittenOutAtARecordEnd) {
  std::string full;
  start_run();
  recio::set_host_write(write_noting_last_byte);
  g_last_bytes.clear();
  EXPECT_EQ(expect_end([&] {
              recio::connect_unit(20, "list.txt", "append");
              for (int i = 0; i < 6000; ++i) {
                const std::string r = std::to_string(i) + std::string(static_cast<size_t>(i % 37), '-');
                recio::write_formatted(20, "(a)", {r});
                full += r + "\r\n";
              }
              recio::close_all_units();
              recio::stop_run();
            }),
            0);
  EXPECT_EQ(read_file("list.txt"), full);
  ASSERT_GT(g_last_bytes.size(), 2u);
  for (char c : g_last_bytes) EXPECT_EQ(c, '\n');
}

// Without a lock, another run may append while this one's write fails: its
// lines stay, and so does this run's unfinished record, which cannot be cut
// without them.
std::string g_other_file;

ssize_t fail_after_another_appends(int fd, const void *data, size_t size) {
  // As on a file system without locks: the lock taken for this write is not held.
  recio::find_connection(20)->locked = false;
  const ssize_t n = ::write(fd, data, size / 2);
  const std::string other = "another run's line\r\n";
  const int other_fd = ::open(g_other_file.c_str(), O_WRONLY | O_APPEND | O_BINARY);
  EXPECT_EQ(::write(other_fd, other.data(), other.size()), static_cast<ssize_t>(other.size()));
  ::close(other_fd);
  (void)n;
  errno = ENOSPC;
  return -1;
}

TEST_F(FileOutput, WithoutTheLockAFailedWriteCutsNothingOfAnotherRun) {
  write_file("list.txt", "earlier\r\n");
  g_other_file = path("list.txt");
  start_run();
  EXPECT_EQ(expect_end([] {
              recio::connect_unit(20, "list.txt", "append");
              recio::write_formatted(20, "(a)", {"first"});
              recio::set_host_write(fail_after_another_appends);
              recio::write_formatted(20, "(a)", {"second"});
              recio::close_all_units();
            }),
            1);
  EXPECT_EQ(read_file("list.txt"), "earlier\r\nfirst\r\nanother run's line\r\n");
}

} // namespace
