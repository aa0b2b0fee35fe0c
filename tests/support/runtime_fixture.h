// In-process runs of the record services: a scratch directory, console
// streams captured in files, and a process end that throws instead of exiting.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testing_support {

// Thrown where the process would end.
struct ProcessEnded {
  int status;
};

class RuntimeTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Starts a fresh run with these command-line words after the program name
  // and `console_input` as standard input.
  void start_run(const std::vector<std::string> &args = {}, const std::string &console_input = "");

  // A file in the scratch directory (the working directory during the test).
  std::string path(const std::string &name) const { return dir_ + "/" + name; }
  void write_file(const std::string &name, const std::string &content) const;
  std::string read_file(const std::string &name) const;

  std::string console_out() const;
  std::string console_err() const;

  // Runs `body`, expecting it to end the process; returns the exit status.
  template <class F> int expect_end(F &&body) {
    try {
      body();
    } catch (const ProcessEnded &e) {
      return e.status;
    }
    ADD_FAILURE() << "the process did not end";
    return -1;
  }

private:
  std::string dir_;
  std::string old_cwd_;
  std::vector<std::string> words_;
  std::vector<char *> argv_;
  int in_fd_ = -1, out_fd_ = -1, err_fd_ = -1;
};

} // namespace testing_support
