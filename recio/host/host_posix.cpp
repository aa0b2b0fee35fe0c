// The host calls on POSIX systems (Linux).
#include "recio/host/host.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
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
  facts.size = static_cast<Offset>(st.st_size);
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
