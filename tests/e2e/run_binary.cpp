#include "e2e/run_binary.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/resource.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace e2e {

ScratchDir::ScratchDir() {
  const char *base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/vornet-e2e-XXXXXX";
  if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

ScratchDir::~ScratchDir() {
  const std::string cmd = "rm -rf '" + path_ + "'";
  (void)std::system(cmd.c_str());
}

void ScratchDir::write(const std::string &name, const std::string &content) const {
  std::ofstream f(file(name), std::ios::binary);
  f << content;
}

std::string ScratchDir::read(const std::string &name) const { return slurp(file(name)); }

std::string slurp(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

namespace {

RunResult run(const ScratchDir &dir, const std::string &script, const RunOptions &options) {
  int in[2], out[2], err[2];
  if (::pipe(in) || ::pipe(out) || ::pipe(err)) throw std::runtime_error("pipe failed");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
    if (options.close_stdout) ::close(1);
    if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
    std::vector<char *> argv;
    if (!script.empty()) {
      for (const char *a : {"bash", "-c", script.c_str(), VORNET_BINARY})
        argv.push_back(const_cast<char *>(a));
    } else {
      argv.push_back(const_cast<char *>("vornet"));
    }
    for (const std::string &a : options.args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(script.empty() ? VORNET_BINARY : "/bin/bash", argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  RunResult r;
  size_t written = 0;
  const std::string &input = options.stdin_data;
  if (input.empty()) ::close(in[1]);
  bool in_open = !input.empty();
  ::fcntl(in[1], F_SETFL, O_NONBLOCK);
  bool out_open = true, err_open = true;
  while (out_open || err_open) {
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
    fds[0].fd = out_open ? out[0] : -1;
    fds[1].fd = err_open ? err[0] : -1;
    fds[2].fd = in_open ? in[1] : -1;
    if (::poll(fds, 3, -1) < 0 && errno != EINTR) break;
    char buf[65536];
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
      } else {
        (i == 0 ? out_open : err_open) = false;
      }
    }
    if (in_open && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t n = ::write(in[1], input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n < 0 || written == input.size()) {
        ::close(in[1]);
        in_open = false;
      }
    }
  }
  if (in_open) ::close(in[1]);
  ::close(out[0]);
  ::close(err[0]);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  r.peak_rss_kib = usage.ru_maxrss;
  r.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.list = slurp(dir.file("preflist.s"));
  return r;
}

} // namespace

RunResult run_vornet(const ScratchDir &dir, const RunOptions &options) {
  return run(dir, "", options);
}

RunResult run_script(const ScratchDir &dir, const std::string &script,
                     const RunOptions &options) {
  return run(dir, script, options);
}

} // namespace e2e
