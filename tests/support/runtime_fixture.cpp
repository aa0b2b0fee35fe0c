#include "support/runtime_fixture.h"

#include "recio/run_errors.h"
#include "recio/units.h"
#include "sao/reader_state.h"

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

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
  char templ[] = "/tmp/vornet-unit-XXXXXX";
  ASSERT_NE(::mkdtemp(templ), nullptr);
  dir_ = templ;
  char cwd[PATH_MAX];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  old_cwd_ = cwd;
  ASSERT_EQ(::chdir(dir_.c_str()), 0);
}

void RuntimeTest::TearDown() {
  recio::close_all_units();
  for (int fd : {in_fd_, out_fd_, err_fd_})
    if (fd >= 0) ::close(fd);
  (void)::chdir(old_cwd_.c_str());
  const std::string cmd = "rm -rf '" + dir_ + "'";
  (void)std::system(cmd.c_str());
}

void RuntimeTest::start_run(const std::vector<std::string> &args, const std::string &console_input) {
  for (int fd : {in_fd_, out_fd_, err_fd_})
    if (fd >= 0) ::close(fd);
  write_file(".console-in", console_input);
  in_fd_ = ::open(path(".console-in").c_str(), O_RDONLY);
  out_fd_ = ::open(path(".console-out").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  err_fd_ = ::open(path(".console-err").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
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
