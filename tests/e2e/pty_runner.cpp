#include "e2e/pty_runner.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

namespace e2e {

namespace {

constexpr auto kTimeout = std::chrono::seconds(20);

} // namespace

RunResult run_vornet_on_terminal(const ScratchDir &dir, const std::vector<std::string> &args,
                                 const std::vector<TerminalStep> &steps) {
  int master = -1, slave = -1;
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
    throw std::runtime_error("openpty failed");
  termios t{};
  if (::tcgetattr(slave, &t) != 0) throw std::runtime_error("tcgetattr failed");
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  if (::tcsetattr(slave, TCSANOW, &t) != 0) throw std::runtime_error("tcsetattr failed");
  int err[2];
  if (::pipe(err) != 0) throw std::runtime_error("pipe failed");

  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(master);
    ::close(err[0]);
    if (::login_tty(slave) != 0) ::_exit(125);
    ::dup2(err[1], 2);
    ::close(err[1]);
    if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>("vornet"));
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(VORNET_BINARY, argv.data());
    ::_exit(127);
  }
  ::close(slave);
  ::close(err[1]);

  RunResult r;
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  size_t step = 0;
  size_t seen = 0; // terminal bytes already matched by earlier steps
  bool term_open = true, err_open = true;
  while (term_open || err_open) {
    while (step < steps.size()) {
      const size_t at = r.out.find(steps[step].wait_for, seen);
      if (at == std::string::npos) break;
      seen = at + steps[step].wait_for.size();
      const std::string &keys = steps[step].keys;
      for (size_t done = 0; done < keys.size();) {
        const ssize_t n = ::write(master, keys.data() + done, keys.size() - done);
        if (n < 0 && errno != EINTR) break;
        if (n > 0) done += static_cast<size_t>(n);
      }
      ++step;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ADD_FAILURE() << "terminal run timed out; waiting for step " << step << ", shown so far: "
                    << ::testing::PrintToString(r.out);
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd fds[2] = {{term_open ? master : -1, POLLIN, 0}, {err_open ? err[0] : -1, POLLIN, 0}};
    if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    char buf[4096];
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        (i == 0 ? term_open : err_open) = false; // EIO: the terminal's last user is gone
      }
    }
  }
  ::close(master);
  ::close(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.list = slurp(dir.file("preflist.s"));
  if (step < steps.size())
    ADD_FAILURE() << "never shown: " << ::testing::PrintToString(steps[step].wait_for);
  return r;
}

} // namespace e2e
