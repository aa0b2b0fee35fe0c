// Preloaded into vornet by the end-to-end tests to stand for a file system
// that refuses locks, as some network file systems do: flock() and fcntl()'s
// record locks fail with ENOLCK; every other fcntl() goes to the C library.
#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>

namespace {

bool is_lock_command(int cmd) {
  return cmd == F_SETLK || cmd == F_SETLKW || cmd == F_OFD_SETLK || cmd == F_OFD_SETLKW;
}

int forward(const char *symbol, int fd, int cmd, void *arg) {
  using Fcntl = int (*)(int, int, ...);
  const auto real = reinterpret_cast<Fcntl>(::dlsym(RTLD_NEXT, symbol));
  return real(fd, cmd, arg);
}

// Every fcntl() argument is an int or a pointer, passed in one register.
void *argument(va_list &ap) { return va_arg(ap, void *); }

} // namespace

extern "C" int flock(int, int) {
  errno = ENOLCK;
  return -1;
}

extern "C" int fcntl(int fd, int cmd, ...) {
  va_list ap;
  va_start(ap, cmd);
  void *arg = argument(ap);
  va_end(ap);
  if (is_lock_command(cmd)) {
    errno = ENOLCK;
    return -1;
  }
  return forward("fcntl", fd, cmd, arg);
}

extern "C" int fcntl64(int fd, int cmd, ...) {
  va_list ap;
  va_start(ap, cmd);
  void *arg = argument(ap);
  va_end(ap);
  if (is_lock_command(cmd)) {
    errno = ENOLCK;
    return -1;
  }
  return forward("fcntl64", fd, cmd, arg);
}
