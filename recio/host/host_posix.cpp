// The host calls on POSIX systems (Linux).
#include "recio/host/host.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace recio::host {

namespace {

void describe(const struct stat &st, FileFacts &facts) {
  facts.identity = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  facts.has_identity = true;
  facts.is_directory = S_ISDIR(st.st_mode);
  facts.is_pipe = S_ISFIFO(st.st_mode);
  facts.is_regular = S_ISREG(st.st_mode);
}

OpenFailure failure_of(int err) {
  switch (err) {
  case ENOENT:
  case ENOTDIR:
    return OpenFailure::not_found;
  case EACCES:
  case EPERM:
  case EROFS:
  case EISDIR:
  case ETXTBSY:
    return OpenFailure::access_denied;
  case EEXIST:
    return OpenFailure::exists;
  case EINVAL:
  case ENAMETOOLONG:
  case ELOOP:
    return OpenFailure::invalid_argument;
  case EMFILE:
  case ENFILE:
    return OpenFailure::too_many_files;
  default:
    return OpenFailure::other;
  }
}

} // namespace

void start_process() {
  std::signal(SIGPIPE, SIG_IGN); // a closed pipe is a write failure, reported as such
}

void at_exit(void (*closing)()) {
  std::atexit(closing);
}

void command_line(int &, char **&) {}

bool facts_of(const char *path, FileFacts &facts) {
  struct stat st {};
  if (::stat(path, &st) != 0) return false;
  describe(st, facts);
  return true;
}

bool facts_of(Handle handle, FileFacts &facts) {
  struct stat st {};
  if (::fstat(handle, &st) != 0) return false;
  describe(st, facts);
  return true;
}

Handle open_file(const char *path, Access access, bool create, bool append, OpenFailure &failure) {
  int flags = access == Access::read_write  ? O_RDWR
              : access == Access::read_only ? O_RDONLY
                                            : O_WRONLY;
  if (create) flags |= O_CREAT;
  if (append) flags |= O_APPEND;
  const int fd = ::open(path, flags | O_CLOEXEC, 0666);
  failure = fd < 0 ? failure_of(errno) : OpenFailure::none;
  return fd;
}

bool close(Handle handle) {
  return ::close(handle) == 0;
}

bool is_open(Handle handle) {
  return ::fcntl(handle, F_GETFD) != -1;
}

void hold_on_null_device(Handle standard_stream) {
  if (standard_stream < 0 || standard_stream > 2) return;
  const int null_fd = ::open("/dev/null", O_RDWR);
  if (null_fd >= 0 && null_fd != standard_stream) {
    ::dup2(null_fd, standard_stream);
    ::close(null_fd);
  }
}

ByteCount read(Handle handle, void *dest, size_t size) {
  for (;;) {
    const ssize_t n = ::read(handle, dest, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

ByteCount write(Handle handle, const void *data, size_t size) {
  for (;;) {
    const ssize_t n = ::write(handle, data, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

bool write_all(Handle handle, const char *data, size_t size) {
  while (size > 0) {
    const ByteCount n = write(handle, data, size);
    if (n < 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

Offset seek(Handle handle, Offset offset, From from) {
  const int whence = from == From::start ? SEEK_SET : from == From::current ? SEEK_CUR : SEEK_END;
  return ::lseek(handle, static_cast<off_t>(offset), whence);
}

bool cut(Handle handle, Offset size) {
  return ::ftruncate(handle, static_cast<off_t>(size)) == 0;
}

bool size_of(Handle handle, Offset &size) {
  struct stat st {};
  if (::fstat(handle, &st) != 0) return false;
  size = st.st_size;
  return true;
}

namespace {

// Views are guarded against a file that another process cuts while it is
// read: a load from a page past the new end raises SIGBUS, and the handler
// puts zero pages in place of the rest of that view, so the load runs again
// and reads NULs. The reader goes on to the end of its view and then finds
// the file's new end, as a read would. Faults anywhere else go on to the
// action that was there before.
constexpr size_t kGuardedViews = 8;

struct GuardedView {
  std::atomic<uintptr_t> start{0};
  std::atomic<uintptr_t> end{0}; // 0: the slot is free
};

GuardedView g_guarded[kGuardedViews];
struct sigaction g_previous_bus_action {};
uintptr_t g_page_size = 0;
bool g_guard_installed = false;

void on_bus_error(int signal, siginfo_t *info, void *context) {
  const int saved_errno = errno;
  const auto at = reinterpret_cast<uintptr_t>(info->si_addr);
  for (const GuardedView &v : g_guarded) {
    const uintptr_t end = v.end.load(std::memory_order_acquire);
    const uintptr_t start = v.start.load(std::memory_order_relaxed);
    if (at < start || at >= end) continue;
    const uintptr_t page = at & ~(g_page_size - 1);
    if (::mmap(reinterpret_cast<void *>(page), end - page, PROT_READ,
               MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      errno = saved_errno;
      return;
    }
    break;
  }
  errno = saved_errno;
  const struct sigaction &previous = g_previous_bus_action;
  if (previous.sa_flags & SA_SIGINFO) {
    previous.sa_sigaction(signal, info, context);
  } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signal);
  } else {
    ::sigaction(SIGBUS, &previous, nullptr); // the fault recurs, with the default action
  }
}

bool guard(uintptr_t start, uintptr_t end) {
  if (!g_guard_installed) {
    g_page_size = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = on_bus_error;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (::sigaction(SIGBUS, &action, &g_previous_bus_action) != 0) return false;
    g_guard_installed = true;
  }
  for (GuardedView &v : g_guarded) {
    if (v.end.load(std::memory_order_relaxed) != 0) continue;
    v.start.store(start, std::memory_order_relaxed);
    v.end.store(end, std::memory_order_release);
    return true;
  }
  return false; // every slot taken: the caller reads instead
}

void unguard(uintptr_t start) {
  for (GuardedView &v : g_guarded)
    if (v.end.load(std::memory_order_relaxed) != 0 &&
        v.start.load(std::memory_order_relaxed) == start)
      v.end.store(0, std::memory_order_release);
}

} // namespace

size_t view_granularity() {
  return static_cast<size_t>(::sysconf(_SC_PAGESIZE));
}

bool map_view(Handle handle, Offset offset, size_t size, FileView &view) {
  if (size == 0) return false;
  void *p = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, handle, static_cast<off_t>(offset));
  if (p == MAP_FAILED) return false;
  const auto start = reinterpret_cast<uintptr_t>(p);
  const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  if (!guard(start, (start + size + page - 1) & ~(page - 1))) {
    ::munmap(p, size);
    return false;
  }
  view.data = static_cast<const char *>(p);
  view.mapping = p;
  view.mapped = size;
  return true;
}

void unmap_view(FileView &view) {
  if (!view.mapping) return;
  unguard(reinterpret_cast<uintptr_t>(view.mapping));
  ::munmap(view.mapping, view.mapped);
  view = FileView{};
}

bool is_console(Handle handle) {
  return ::isatty(handle) == 1;
}

// An unlinked file in the temporary directory: it holds no name while it is
// written and goes with the process, however the run ends.
Handle open_spill_file() {
  const char *tmpdir = std::getenv("TMPDIR");
  const std::string dir = tmpdir && *tmpdir ? tmpdir : "/tmp";
  const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  // A file system without anonymous files: create a named one and unlink it.
  std::string path = dir + "/vornet-replay-XXXXXX";
  const int named = ::mkostemp(path.data(), O_CLOEXEC);
  if (named < 0) return kNoHandle;
  ::unlink(path.c_str());
  return named;
}

// Printers are the parallel-port printer devices, serial ports the serial
// lines.
const char *device_path(Device device) {
  static constexpr const char *kPaths[] = {
      "/dev/null",  "/dev/lp0",   "/dev/lp1",   "/dev/lp2",   "/dev/lp3",
      "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3",
  };
  return kPaths[static_cast<size_t>(device)];
}

// flock where the file system has it; record locks (which NFS keeps) where it
// refuses flock.
bool lock(Handle handle) {
  for (;;) {
    if (::flock(handle, LOCK_EX) == 0) return true;
    if (errno != EINTR) break;
  }
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  for (;;) {
    if (::fcntl(handle, F_SETLKW, &whole) == 0) return true;
    if (errno != EINTR) return false;
  }
}

void unlock(Handle handle) {
  (void)::flock(handle, LOCK_UN);
  struct flock whole {};
  whole.l_type = F_UNLCK;
  whole.l_whence = SEEK_SET;
  (void)::fcntl(handle, F_SETLK, &whole);
}

} // namespace recio::host
