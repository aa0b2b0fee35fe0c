#include "recio/replay_store.h"

#include "recio/connection.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace recio {

namespace {

ssize_t read_retrying(int fd, char *dest, size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, dest, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

} // namespace

ReplayStore::ReplayStore(size_t memory_limit) : memory_limit_(memory_limit) {}

ReplayStore::~ReplayStore() {
  release();
}

void ReplayStore::release() {
  memory_.reset();
  if (spill_fd_ >= 0) ::close(spill_fd_);
  spill_fd_ = -1;
}

ssize_t ReplayStore::read(int fd, char *dest, size_t size) {
  if (replaying_) {
    const ssize_t n = give_back(dest, size);
    if (n != 0) return n;
    // Everything kept is given back: from here on the handle is read as it is.
    replaying_ = false;
    release();
  }
  if (source_ended_) return 0;
  const ssize_t n = read_retrying(fd, dest, size);
  if (!keeping_) return n;
  if (n == 0) source_ended_ = true;
  if (n > 0 && !keep(dest, static_cast<size_t>(n))) return -1;
  return n;
}

bool ReplayStore::keep(const char *data, size_t n) {
  if (memory_fill_ < memory_limit_) {
    // Allocated on first use and not cleared, so that only the pages written
    // become resident.
    if (!memory_) memory_.reset(new char[memory_limit_]);
    const size_t m = std::min(n, memory_limit_ - memory_fill_);
    std::memcpy(memory_.get() + memory_fill_, data, m);
    memory_fill_ += m;
    kept_ += m;
    data += m;
    n -= m;
  }
  if (n == 0) return true;
  if (spill_fd_ < 0 && !open_spill_file()) return false;
  if (!write_all(spill_fd_, data, n)) return false;
  kept_ += n;
  return true;
}

// An unlinked file in the temporary directory: it holds no name while it is
// written and goes with the process, however the run ends.
bool ReplayStore::open_spill_file() {
  const char *tmpdir = std::getenv("TMPDIR");
  const std::string dir = tmpdir && *tmpdir ? tmpdir : "/tmp";
  spill_fd_ = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (spill_fd_ >= 0) return true;
  // A file system without anonymous files: create a named one and unlink it.
  std::string path = dir + "/vornet-replay-XXXXXX";
  spill_fd_ = ::mkostemp(path.data(), O_CLOEXEC);
  if (spill_fd_ < 0) return false;
  ::unlink(path.c_str());
  return true;
}

bool ReplayStore::start_replay() {
  if (!keeping_) return false;
  if (spill_fd_ >= 0 && ::lseek(spill_fd_, 0, SEEK_SET) != 0) return false;
  keeping_ = false;
  replaying_ = true;
  given_ = 0;
  return true;
}

ssize_t ReplayStore::give_back(char *dest, size_t size) {
  if (given_ < memory_fill_) {
    const size_t m = std::min(size, memory_fill_ - given_);
    std::memcpy(dest, memory_.get() + given_, m);
    given_ += m;
    return static_cast<ssize_t>(m);
  }
  if (spill_fd_ < 0) return 0;
  return read_retrying(spill_fd_, dest, size);
}

} // namespace recio
