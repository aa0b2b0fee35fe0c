// A large input cut by another process while a run reads it, at any moment
// of the run: during the pre-scan or the listing, at the start of a
// time-stamp line or a few bytes into one. The run ends as it would on the
// file as it was or as it ends at the cut: status 0, whole listing lines,
// and no byte the file never held, neither in the listing nor in a pre-scan
// report of a NUL.
#include "e2e/run_binary.h"
#include "sao_generator.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// Where the first time-stamp line after byte `from` of `text` begins.
size_t time_stamp_line_after(const std::string &text, size_t from) {
  return text.find("\nFF", from) + 1;
}

// Runs vornet on `input` in `dir`; once it has run for `delay_us`, stops it,
// cuts the input to `cut_to` bytes and lets it go on.
e2e::RunResult run_cut_midway(const e2e::ScratchDir &dir, const std::string &input,
                              useconds_t delay_us, off_t cut_to) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null_fd = ::open("/dev/null", O_RDWR);
    const int out_fd = ::open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (null_fd < 0 || out_fd < 0 || ::chdir(dir.path().c_str()) != 0) ::_exit(126);
    ::dup2(null_fd, 0);
    ::dup2(out_fd, 1);
    ::dup2(out_fd, 2);
    ::execl(VORNET_BINARY, "vornet", input.c_str(), static_cast<char *>(nullptr));
    ::_exit(127);
  }
  ::usleep(delay_us);
  ::kill(pid, SIGSTOP);
  int status = 0;
  ::waitpid(pid, &status, WUNTRACED);
  if (WIFSTOPPED(status)) {
    EXPECT_EQ(::truncate(dir.file(input).c_str(), cut_to), 0);
    ::kill(pid, SIGCONT);
    ::waitpid(pid, &status, 0);
  }
  e2e::RunResult r;
  r.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = dir.read("out");
  r.list = dir.read("preflist.s");
  return r;
}

TEST(ChangingInput, CutWhileReadListsNoByteTheFileNeverHeld) {
  saogen::GeneratorOptions options;
  options.records = 0;
  options.target_bytes = 8 << 20;
  options.seed = 26;
  options.format_version = 5;
  const std::string text = saogen::generate_text(options);
  // In the pre-scan's first 9999 lines, and far past them.
  const size_t early = time_stamp_line_after(text, 300000);
  const size_t late = time_stamp_line_after(text, 2800000);
  for (const size_t cut_to : {early, early + 7, late, late + 7}) {
    for (const useconds_t delay_us : {0u, 500u, 2000u, 5000u, 15000u}) {
      SCOPED_TRACE("cut to " + std::to_string(cut_to) + " after " + std::to_string(delay_us) +
                   " us");
      e2e::ScratchDir dir;
      dir.write("in.sao", text);
      const e2e::RunResult r = run_cut_midway(dir, "in.sao", delay_us, static_cast<off_t>(cut_to));
      EXPECT_EQ(r.exit_status, 0) << r.out;
      EXPECT_EQ(r.out.find("Nul character"), std::string::npos) << r.out;
      EXPECT_EQ(r.list.find('\0'), std::string::npos) << "a NUL in the listing";
      // The pre-scan may find what the file holds (a blank line of it), never a NUL.
      const std::string header = "  Date (Day of year) Time\r\n\r\n";
      const size_t listing = r.list.find(header);
      ASSERT_NE(listing, std::string::npos) << r.list.substr(0, 200);
      EXPECT_EQ(r.list.substr(0, listing).find("Nul"), std::string::npos) << r.list.substr(0, 200);
      for (size_t at = listing + header.size(); at < r.list.size();) {
        const size_t end = r.list.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "a line without its end";
        ASSERT_EQ(end - at, 25u) << r.list.substr(at, end - at);
        at = end + 2;
      }
    }
  }
}

} // namespace
