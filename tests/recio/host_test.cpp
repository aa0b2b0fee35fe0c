// The host layer, on whichever host the tests are built for: the same
// expectations hold for the POSIX and the Windows implementation.
#include "recio/host/host.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;
namespace host = recio::host;
using host::Access;
using host::ByteCount;
using host::Device;
using host::FileFacts;
using host::From;
using host::Handle;
using host::kNoHandle;
using host::Offset;
using host::OpenFailure;

// A fresh directory of the test's own, removed afterwards.
class Host : public ::testing::Test {
protected:
  void SetUp() override {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    dir_ = fs::temp_directory_path() / ("vornet-host-" + std::to_string(stamp));
    ASSERT_TRUE(fs::create_directory(dir_));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string path(const std::string &name) const { return (dir_ / name).string(); }
  void write_file(const std::string &name, const std::string &text) const {
    std::ofstream(path(name), std::ios::binary) << text;
  }
  std::string read_file(const std::string &name) const {
    std::ifstream in(path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  Handle open_existing(const std::string &name, Access access = Access::read_write,
                       bool append = false) const {
    OpenFailure failure = OpenFailure::other;
    const Handle h = host::open_file(path(name).c_str(), access, false, append, failure);
    if (h >= 0) {
      EXPECT_EQ(failure, OpenFailure::none);
    }
    return h;
  }

  fs::path dir_;
};

struct FailureCase {
  const char *name;
  const char *path; // within the test's directory
  Access access;
  bool create;
  OpenFailure expected;
};

void PrintTo(const FailureCase &c, std::ostream *os) {
  *os << c.name;
}

class HostOpenFailure : public Host, public ::testing::WithParamInterface<FailureCase> {};

// The reason of a failed open, in the terms the connect reports.
TEST_P(HostOpenFailure, GivesItsReason) {
  const FailureCase &c = GetParam();
  fs::create_directory(dir_ / "folder");
  OpenFailure failure = OpenFailure::none;
  const Handle h = host::open_file(path(c.path).c_str(), c.access, c.create, false, failure);
  EXPECT_EQ(h, kNoHandle);
  EXPECT_EQ(failure, c.expected);
  if (h >= 0) host::close(h);
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, HostOpenFailure,
    ::testing::Values(FailureCase{"MissingFile", "missing.sao", Access::read_write, false,
                                  OpenFailure::not_found},
                      FailureCase{"MissingFileReadOnly", "missing.sao", Access::read_only, false,
                                  OpenFailure::not_found},
                      FailureCase{"MissingDirectory", "nowhere/new.sao", Access::read_write, true,
                                  OpenFailure::not_found},
                      FailureCase{"DirectoryForWriting", "folder", Access::read_write, false,
                                  OpenFailure::access_denied}),
    [](const ::testing::TestParamInfo<FailureCase> &info) { return std::string(info.param.name); });

TEST_F(Host, CreatesAMissingFileEmpty) {
  OpenFailure failure = OpenFailure::other;
  const Handle h = host::open_file(path("new.s").c_str(), Access::read_write, true, false, failure);
  ASSERT_GE(h, 0);
  EXPECT_EQ(failure, OpenFailure::none);
  Offset size = -1;
  EXPECT_TRUE(host::size_of(h, size));
  EXPECT_EQ(size, 0);
  EXPECT_TRUE(host::close(h));
  EXPECT_TRUE(fs::exists(dir_ / "new.s"));
}

// One file under two names has one identity; two files have two.
TEST_F(Host, IdentityFindsTheSameFileUnderAnotherName) {
  fs::create_directory(dir_ / "sub");
  write_file("a.s", "a");
  write_file("b.s", "b");
  FileFacts a, a_again, b;
  ASSERT_TRUE(host::facts_of(path("a.s").c_str(), a));
  ASSERT_TRUE(host::facts_of(path("sub/../a.s").c_str(), a_again));
  ASSERT_TRUE(host::facts_of(path("b.s").c_str(), b));
  EXPECT_TRUE(a.has_identity && a_again.has_identity && b.has_identity);
  EXPECT_TRUE(a.is_regular);
  EXPECT_FALSE(a.is_directory || a.is_pipe);
  EXPECT_EQ(a.identity, a_again.identity);
  EXPECT_NE(a.identity, b.identity);

  const Handle h = open_existing("a.s");
  ASSERT_GE(h, 0);
  FileFacts open_a;
  ASSERT_TRUE(host::facts_of(h, open_a));
  EXPECT_EQ(open_a.identity, a.identity);
  host::close(h);

  FileFacts missing;
  EXPECT_FALSE(host::facts_of(path("missing").c_str(), missing));
  FileFacts folder;
  ASSERT_TRUE(host::facts_of(path("sub").c_str(), folder));
  EXPECT_TRUE(folder.is_directory);
  EXPECT_FALSE(folder.is_regular);
}

// Positions past 4 GiB, and the cut, which moves no position.
TEST_F(Host, SeeksWithSixtyFourBitOffsetsAndCuts) {
  write_file("f.s", "0123456789");
  const Handle h = open_existing("f.s");
  ASSERT_GE(h, 0);
  constexpr Offset kFar = (Offset{5} << 30) + 7;
  EXPECT_EQ(host::seek(h, kFar, From::start), kFar);
  EXPECT_EQ(host::seek(h, 0, From::current), kFar);
  EXPECT_EQ(host::seek(h, 0, From::end), 10);
  EXPECT_TRUE(host::cut(h, 4));
  Offset size = -1;
  ASSERT_TRUE(host::size_of(h, size));
  EXPECT_EQ(size, 4);
  EXPECT_EQ(host::seek(h, 0, From::current), 10);
  EXPECT_EQ(host::seek(h, 2, From::start), 2);
  EXPECT_TRUE(host::write_all(h, "xy", 2));
  char buf[8] = {};
  EXPECT_EQ(host::seek(h, 0, From::start), 0);
  EXPECT_EQ(host::read(h, buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf, 4), "01xy");
  EXPECT_TRUE(host::close(h));
}

// Opened for appending, every write goes to the end, wherever the position
// stood; and such a handle can still be cut.
TEST_F(Host, AppendingWritesAtTheEndAndCanBeCut) {
  write_file("list.s", "first\r\n");
  const Handle h = open_existing("list.s", Access::read_write, true);
  ASSERT_GE(h, 0);
  EXPECT_EQ(host::seek(h, 0, From::start), 0);
  EXPECT_TRUE(host::write_all(h, "second\r\n", 8));
  EXPECT_TRUE(host::write_all(h, "thi", 3)); // an unfinished record, cut away next
  EXPECT_TRUE(host::cut(h, 15));
  EXPECT_TRUE(host::write_all(h, "third\r\n", 7));
  EXPECT_TRUE(host::close(h));
  EXPECT_EQ(read_file("list.s"), "first\r\nsecond\r\nthird\r\n");
}

TEST_F(Host, AFileOrTheNullDeviceIsNoConsole) {
  write_file("f.s", "x");
  const Handle file = open_existing("f.s");
  ASSERT_GE(file, 0);
  EXPECT_FALSE(host::is_console(file));
  EXPECT_TRUE(host::is_open(file));
  host::close(file);
  EXPECT_FALSE(host::is_open(file));

  OpenFailure failure = OpenFailure::other;
  const Handle null = host::open_file(host::device_path(Device::null_device), Access::read_write,
                                      false, false, failure);
  ASSERT_GE(null, 0) << host::device_path(Device::null_device);
  EXPECT_FALSE(host::is_console(null));
  char buf[4];
  EXPECT_EQ(host::read(null, buf, sizeof buf), 0);
  EXPECT_TRUE(host::write_all(null, "gone", 4));
  FileFacts facts;
  ASSERT_TRUE(host::facts_of(null, facts));
  EXPECT_FALSE(facts.is_regular) << "the null device cannot be positioned like a file";
  host::close(null);
}

// Every host device has a path of its own.
TEST(HostDevices, EachDeviceHasItsOwnPath) {
  std::set<std::string> paths;
  for (const Device d :
       {Device::null_device, Device::printer1, Device::printer2, Device::printer3, Device::printer4,
        Device::serial1, Device::serial2, Device::serial3, Device::serial4}) {
    const std::string p = host::device_path(d);
    EXPECT_FALSE(p.empty());
    EXPECT_TRUE(paths.insert(p).second) << p << " twice";
  }
}

// The spill file reads back what was written and leaves nothing behind.
TEST_F(Host, SpillFileReadsBackAndLeavesNothing) {
#ifdef _WIN32
  const char *variable = "TMP";
  const char *old = std::getenv(variable);
  const std::string saved = old ? old : "";
  ::_putenv_s(variable, dir_.string().c_str());
#else
  const char *variable = "TMPDIR";
  const char *old = std::getenv(variable);
  const std::string saved = old ? old : "";
  ::setenv(variable, dir_.string().c_str(), 1);
#endif
  const Handle h = host::open_spill_file();
#ifdef _WIN32
  ::_putenv_s(variable, saved.c_str());
#else
  if (old) {
    ::setenv(variable, saved.c_str(), 1);
  } else {
    ::unsetenv(variable);
  }
#endif
  ASSERT_GE(h, 0);
  const std::string text(100000, 'k');
  EXPECT_TRUE(host::write_all(h, text.data(), text.size()));
  EXPECT_EQ(host::seek(h, 0, From::start), 0);
  std::string back(text.size(), '\0');
  size_t got = 0;
  while (got < back.size()) {
    const ByteCount n = host::read(h, back.data() + got, back.size() - got);
    ASSERT_GT(n, 0);
    got += static_cast<size_t>(n);
  }
  EXPECT_EQ(back, text);
  EXPECT_TRUE(host::close(h));
  EXPECT_TRUE(fs::is_empty(dir_));
}

// The lock is taken, given back and taken again by the same process.
TEST_F(Host, LockIsTakenAndGivenBack) {
  write_file("list.s", "");
  const Handle h = open_existing("list.s", Access::read_write, true);
  ASSERT_GE(h, 0);
  EXPECT_TRUE(host::lock(h));
  EXPECT_TRUE(host::write_all(h, "a\r\n", 3)); // the holder writes freely
  host::unlock(h);
  EXPECT_TRUE(host::lock(h));
  EXPECT_TRUE(host::close(h));
  EXPECT_EQ(read_file("list.s"), "a\r\n");
}

} // namespace
