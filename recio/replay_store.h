// What an input that cannot be positioned (a pipe, a terminal device) gave
// before its first rewind, kept so that the rewind can start it over.
#pragma once

#include "recio/host/host.h"

#include <cstddef>
#include <memory>

namespace recio {

// Stands between an input cursor and a handle that cannot seek. While
// keeping, every byte read from the handle is also kept: the first
// `memory_limit` bytes in memory, the rest in a temporary file, so
// that memory stays bounded whatever the input holds. After start_replay()
// reads give the kept bytes again, from the first, and then go on with the
// handle where keeping left it.
class ReplayStore {
public:
  static constexpr size_t kMemoryLimit = 4u << 20;

  explicit ReplayStore(size_t memory_limit = kMemoryLimit);
  ~ReplayStore();
  ReplayStore(const ReplayStore &) = delete;
  ReplayStore &operator=(const ReplayStore &) = delete;

  // Reads up to `size` bytes like read(2): a count, 0 at the end, or -1 with
  // errno set. A byte that cannot be kept is a read failure, since a replay
  // without it would lose data.
  host::ByteCount read(host::Handle fd, char *dest, size_t size);

  // Whether a replay can still start: only once, and only while keeping.
  bool keeping() const { return keeping_; }
  // Starts giving back the kept bytes from the first. False when keeping has
  // already ended.
  bool start_replay();

  // Bytes kept so far, and how many of them went to the temporary file.
  size_t kept() const { return kept_; }
  size_t spilled() const { return kept_ > memory_fill_ ? kept_ - memory_fill_ : 0; }

private:
  bool keep(const char *data, size_t n);
  host::ByteCount give_back(char *dest, size_t size);
  void release();

  struct Free {
    void operator()(char *p) const;
  };
  size_t memory_limit_;
  std::unique_ptr<char, Free> memory_;
  size_t memory_fill_ = 0;
  size_t kept_ = 0;
  host::Handle spill_fd_ = host::kNoHandle;
  bool keeping_ = true;
  bool replaying_ = false;
  size_t given_ = 0;
  // The handle reported its end while keeping: a terminal reports it once per
  // end-of-file key, so after the replay it is not asked again.
  bool source_ended_ = false;
};

} // namespace recio
