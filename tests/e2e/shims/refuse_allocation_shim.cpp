// Preloaded into vornet by the end-to-end tests to stand for a host that runs
// out of memory: the allocation numbered VORNET_REFUSE_ALLOCATION (from 1, in
// the order the process makes them) fails as the C library fails it, with
// ENOMEM; every other goes to the C library. With VORNET_COUNT_ALLOCATIONS
// naming a file, the number of allocations the process has made is kept
// there as it goes (the process may end without running destructors).
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *p, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
}

namespace {

unsigned long g_made = 0;
unsigned long g_refused = 0; // 0: none

unsigned long number_from(const char *text) {
  unsigned long n = 0;
  for (; text && *text >= '0' && *text <= '9'; ++text)
    n = n * 10 + static_cast<unsigned long>(*text - '0');
  return n;
}

void keep_count() {
  static int fd = -2;
  if (fd == -2) {
    const char *path = std::getenv("VORNET_COUNT_ALLOCATIONS");
    fd = path ? ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1;
  }
  if (fd < 0) return;
  char digits[24];
  size_t n = sizeof digits;
  unsigned long v = g_made;
  do {
    digits[--n] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v > 0);
  (void)!::pwrite(fd, digits + n, sizeof digits - n, 0);
}

// Whether the next allocation is the one to refuse.
bool refuse_next() {
  static bool read = false;
  if (!read) {
    read = true; // getenv allocates nothing
    g_refused = number_from(std::getenv("VORNET_REFUSE_ALLOCATION"));
  }
  ++g_made;
  keep_count();
  if (g_made != g_refused) return false;
  errno = ENOMEM;
  return true;
}

} // namespace

extern "C" void *malloc(size_t size) { return refuse_next() ? nullptr : __libc_malloc(size); }
extern "C" void *calloc(size_t count, size_t size) {
  return refuse_next() ? nullptr : __libc_calloc(count, size);
}
extern "C" void *realloc(void *p, size_t size) {
  return refuse_next() ? nullptr : __libc_realloc(p, size);
}
extern "C" void *aligned_alloc(size_t alignment, size_t size) {
  return refuse_next() ? nullptr : __libc_memalign(alignment, size);
}
extern "C" int posix_memalign(void **out, size_t alignment, size_t size) {
  if (refuse_next()) return ENOMEM;
  void *p = __libc_memalign(alignment, size);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}
