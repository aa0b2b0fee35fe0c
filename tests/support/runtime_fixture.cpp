#include "support/runtime_fixture.h"

#include "recio/run_errors.h"
#include "recio/units.h"
#include "sao/reader_state.h"

#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#ifndef O_BINARY
#define O_BINARY 0 // POSIX has no text mode
#endif

namespace testing_support {

namespace {

[[noreturn]] void throw_process_ended(int status) { throw ProcessEnded{status}; }

std::string slurp(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

} // namespace

void RuntimeTest::SetUp() {
  namespace fs = std::filesystem;
  // A directory of this test's own: the clock and the fixture's address tell
  // parallel test processes apart.
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path dir = fs::temp_directory_path() /
                       ("vornet-unit-" + std::to_string(stamp) + "-" +
                        std::to_string(reinterpret_cast<uintptr_t>(this) & 0xffffff));
  ASSERT_TRUE(fs::create_directory(dir));
  dir_ = dir.generic_string();
  old_cwd_ = fs::current_path().string();
  fs::current_path(dir);
}

void RuntimeTest::TearDown() {
  recio::close_all_units();
  for (int fd : {in_fd_, out_fd_, err_fd_})
    if (fd >= 0) ::close(fd);
  in_fd_ = out_fd_ = err_fd_ = -1;
  std::error_code ignored;
  std::filesystem::current_path(old_cwd_, ignored);
  std::filesystem::remove_all(dir_, ignored);
}

void RuntimeTest::start_run(const std::vector<std::string> &args, const std::string &console_input) {
  for (int fd : {in_fd_, out_fd_, err_fd_})
    if (fd >= 0) ::close(fd);
  write_file(".console-in", console_input);
  in_fd_ = ::open(path(".console-in").c_str(), O_RDONLY | O_BINARY);
  out_fd_ = ::open(path(".console-out").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_BINARY, 0644);
  err_fd_ = ::open(path(".console-err").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_BINARY, 0644);
  words_.assign(1, "vornet");
  words_.insert(words_.end(), args.begin(), args.end());
  argv_.clear();
  for (std::string &w : words_) argv_.push_back(w.data());
  argv_.push_back(nullptr);
  recio::initialize_runtime(static_cast<int>(words_.size()), argv_.data(), in_fd_, out_fd_,
                            err_fd_);
  recio::set_exit_handler(throw_process_ended);
  sao::reset_reader();
}

void RuntimeTest::write_file(const std::string &name, const std::string &content) const {
  std::ofstream f(path(name), std::ios::binary | std::ios::trunc);
  f << content;
}

std::string RuntimeTest::read_file(const std::string &name) const { return slurp(path(name)); }
std::string RuntimeTest::console_out() const { return read_file(".console-out"); }
std::string RuntimeTest::console_err() const { return read_file(".console-err"); }

} // namespace testing_support
