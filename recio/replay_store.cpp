#include "recio/replay_store.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace recio {

ReplayStore::ReplayStore(size_t memory_limit) : memory_limit_(memory_limit) {}

void ReplayStore::Free::operator()(char *p) const { std::free(p); }

ReplayStore::~ReplayStore() {
  release();
}

void ReplayStore::release() {
  memory_.reset();
  if (spill_fd_ >= 0) host::close(spill_fd_);
  spill_fd_ = host::kNoHandle;
}

host::ByteCount ReplayStore::read(host::Handle fd, char *dest, size_t size) {
  if (replaying_) {
    const host::ByteCount n = give_back(dest, size);
    if (n != 0) return n;
    // Everything kept is given back: from here on the handle is read as it is.
    replaying_ = false;
    release();
  }
  if (source_ended_) return 0;
  const host::ByteCount n = host::read(fd, dest, size);
  if (!keeping_) return n;
  if (n == 0) source_ended_ = true;
  if (n > 0 && !keep(dest, static_cast<size_t>(n))) return -1;
  return n;
}

bool ReplayStore::keep(const char *data, size_t n) {
  if (memory_fill_ < memory_limit_) {
    // Allocated on first use and not cleared, so that only the pages written
    // become resident. Where the host has no memory for it, everything goes
    // to the temporary file instead (malloc, not new: the process's
    // new-handler would end the run).
    if (!memory_) memory_.reset(static_cast<char *>(std::malloc(memory_limit_)));
    if (!memory_) memory_limit_ = 0;
  }
  if (memory_fill_ < memory_limit_) {
    const size_t m = std::min(n, memory_limit_ - memory_fill_);
    std::memcpy(memory_.get() + memory_fill_, data, m);
    memory_fill_ += m;
    kept_ += m;
    data += m;
    n -= m;
  }
  if (n == 0) return true;
  if (spill_fd_ < 0 && (spill_fd_ = host::open_spill_file()) < 0) return false;
  if (!host::write_all(spill_fd_, data, n)) return false;
  kept_ += n;
  return true;
}

bool ReplayStore::start_replay() {
  if (!keeping_) return false;
  if (spill_fd_ >= 0 && host::seek(spill_fd_, 0, host::From::start) != 0) return false;
  keeping_ = false;
  replaying_ = true;
  given_ = 0;
  return true;
}

host::ByteCount ReplayStore::give_back(char *dest, size_t size) {
  if (given_ < memory_fill_) {
    const size_t m = std::min(size, memory_fill_ - given_);
    std::memcpy(dest, memory_.get() + given_, m);
    given_ += m;
    return static_cast<host::ByteCount>(m);
  }
  if (spill_fd_ < 0) return 0;
  return host::read(spill_fd_, dest, size);
}

} // namespace recio
