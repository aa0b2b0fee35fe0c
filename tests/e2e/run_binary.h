// Runs the built vornet binary in a fresh temporary directory and captures
// every byte it writes.
#pragma once

#include <string>
#include <vector>

namespace e2e {

struct RunResult {
  int exit_status = -1; // exit status, or 128 + signal number
  std::string out;      // standard output
  std::string err;      // standard error
  std::string list;     // "preflist.s" after the run ("" when absent)
  // Peak resident memory of the child and of the processes it waited for,
  // in KiB: of this run alone, unlike getrusage(RUSAGE_CHILDREN), which
  // keeps the largest child the test process ever had.
  long peak_rss_kib = 0;
};

class ScratchDir {
public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;

  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }
  void write(const std::string &name, const std::string &content) const;
  std::string read(const std::string &name) const;

private:
  std::string path_;
};

struct RunOptions {
  std::vector<std::string> args; // after the program name
  std::string stdin_data;        // fed through a pipe, then closed
  bool close_stdout = false;     // start with standard output closed
};

// Runs vornet with its working directory at `dir`.
RunResult run_vornet(const ScratchDir &dir, const RunOptions &options);
// Runs `/bin/bash -c script` there instead, with $0 the binary's path and
// $1... the options' args: for pipes and process substitution.
RunResult run_script(const ScratchDir &dir, const std::string &script,
                     const RunOptions &options);

std::string slurp(const std::string &path);

} // namespace e2e
