#include "support/cut_elsewhere.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace testing_support {

bool cut_elsewhere(const std::string &name, recio::host::Offset size) {
  namespace host = recio::host;
#ifdef _WIN32
  host::OpenFailure failure;
  const host::Handle h =
      host::open_file(name.c_str(), host::Access::read_write, false, false, failure);
  const bool cut = h >= 0 && host::cut(h, size);
  if (h >= 0) host::close(h);
  return cut;
#else
  const pid_t child = ::fork();
  if (child == 0) {
    host::OpenFailure failure;
    const host::Handle h =
        host::open_file(name.c_str(), host::Access::read_write, false, false, failure);
    ::_exit(h >= 0 && host::cut(h, size) ? 0 : 1);
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
}

} // namespace testing_support
