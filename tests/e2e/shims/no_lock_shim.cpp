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

// Locks fail; every other command goes to the C library's `symbol`.
int lock_or_forward(const char *symbol, int fd, int cmd, va_list &ap) {
  // Every fcntl() argument is an int or a pointer, passed in one register.
  void *arg = va_arg(ap, void *);
  if (is_lock_command(cmd)) {
    errno = ENOLCK;
    return -1;
  }
  using Fcntl = int (*)(int, int, ...);
  const auto real = reinterpret_cast<Fcntl>(::dlsym(RTLD_NEXT, symbol));
  return real(fd, cmd, arg);
}

} // namespace

extern "C" int flock(int, int) {
  errno = ENOLCK;
  return -1;
}

extern "C" int fcntl(int fd, int cmd, ...) {
  va_list ap;
  va_start(ap, cmd);
  const int result = lock_or_forward("fcntl", fd, cmd, ap);
  va_end(ap);
  return result;
}

extern "C" int fcntl64(int fd, int cmd, ...) {
  va_list ap;
  va_start(ap, cmd);
  const int result = lock_or_forward("fcntl64", fd, cmd, ap);
  va_end(ap);
  return result;
}
