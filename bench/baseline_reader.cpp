#include "baseline_reader.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace bench {

namespace {

enum class Kind : uint8_t { integer, real, text };

struct Layout {
  int per_line;
  int width;
  Kind kind;
};

constexpr Layout kF83{15, 8, Kind::real};
constexpr Layout kF73{16, 7, Kind::real};
constexpr Layout kI3{40, 3, Kind::integer};
constexpr Layout kI2{60, 2, Kind::integer};
constexpr Layout kI1{120, 1, Kind::integer};
constexpr Layout kE11{10, 11, Kind::real};
constexpr Layout kE8{15, 8, Kind::real};
constexpr Layout kE20{6, 20, Kind::real};
constexpr Layout kA1{120, 1, Kind::text};
constexpr Layout kA120{1, 120, Kind::text};

struct GroupRow {
  int group;
  int guard;
  Layout layout;
};

// Groups 4 to 60 of a record of format version 2 or above, in reading order.
constexpr GroupRow kRows[] = {
    {4, 4, kF83},   {5, 5, kI2},    {6, 6, kF73},   {7, 7, kF83},   {8, 8, kF83},   {9, 9, kI3},
    {10, 10, kI1},  {11, 11, kF83}, {12, 12, kF83}, {13, 13, kF83}, {14, 14, kI3},  {15, 15, kI1},
    {16, 16, kF83}, {17, 17, kF83}, {18, 18, kF83}, {19, 19, kI3},  {20, 20, kI1},  {21, 21, kF83},
    {22, 22, kF83}, {23, 23, kI3},  {24, 24, kI1},  {25, 25, kF83}, {26, 26, kF83}, {27, 27, kI3},
    {28, 28, kI1},  {29, 29, kF83}, {30, 30, kF83}, {31, 31, kI3},  {32, 32, kI1},  {33, 33, kF83},
    {34, 34, kI2},  {35, 35, kI2},  {36, 36, kI2},  {37, 37, kE11}, {38, 38, kE11}, {39, 39, kE11},
    {40, 40, kE20}, {41, 41, kI1},  {42, 42, kE11}, {43, 43, kF83}, {44, 44, kI3},  {45, 45, kI1},
    {46, 46, kF83}, {47, 47, kF83}, {48, 48, kI3},  {49, 49, kI1},  {50, 50, kF83}, {51, 51, kE8},
    {52, 51, kE8},  {53, 51, kE8},  {54, 54, kA1},  {55, 55, kA1},  {56, 56, kI1},  {57, 57, kE11},
    {58, 58, kE8},  {59, 58, kE8},  {60, 58, kE8},
};

// What the next lines of the record hold.
struct Task {
  int remaining; // values still to read; 0 for a line read without values
  Layout layout;
};

class Walker {
public:
  explicit Walker(BaselineResult &result) : r_(result) {}

  void line(const char *p, size_t n) {
    ++r_.lines;
    // A carriage return ends the line's data.
    if (const void *cr = std::memchr(p, '\r', n))
      n = static_cast<size_t>(static_cast<const char *>(cr) - p);
    if (state_ == State::first_index || state_ == State::second_index) {
      const int base = state_ == State::first_index ? 1 : 41;
      for (int i = 0; i < 40; ++i)
        dfi_[base + i] = static_cast<int32_t>(integer(p, n, i * 3, 3));
      if (state_ == State::first_index) {
        state_ = State::second_index;
      } else {
        start_record();
      }
      return;
    }
    Task &t = tasks_[next_task_];
    const int take = std::min(t.remaining, t.layout.per_line);
    for (int i = 0; i < take; ++i) {
      const size_t at = static_cast<size_t>(i * t.layout.width);
      if (t.layout.kind == Kind::integer) {
        r_.checksum += static_cast<double>(integer(p, n, at, t.layout.width));
      } else if (t.layout.kind == Kind::real) {
        r_.checksum += real(p, n, at, t.layout.width);
      } else {
        for (size_t j = at; j < std::min(n, at + static_cast<size_t>(t.layout.width)); ++j)
          r_.checksum += static_cast<unsigned char>(p[j]);
      }
      ++r_.fields;
    }
    t.remaining -= take;
    if (t.remaining <= 0 && ++next_task_ == tasks_.size()) state_ = State::first_index;
  }

private:
  enum class State : uint8_t { first_index, second_index, groups };

  // The field of `width` characters at `at`, blank past the end of the line.
  static size_t field(const char *p, size_t n, size_t at, int width, char *buf) {
    const size_t len = at >= n ? 0 : std::min(n - at, static_cast<size_t>(width));
    std::memcpy(buf, p + std::min(at, n), len);
    buf[len] = '\0';
    return len;
  }
  long integer(const char *p, size_t n, size_t at, int width) {
    char buf[128];
    field(p, n, at, width, buf);
    return std::strtol(buf, nullptr, 10);
  }
  double real(const char *p, size_t n, size_t at, int width) {
    char buf[128];
    field(p, n, at, width, buf);
    return std::strtod(buf, nullptr);
  }

  void add(int count, Layout layout) { tasks_.push_back({count, layout}); }

  void start_record() {
    tasks_.clear();
    next_task_ = 0;
    state_ = State::first_index;
    if (dfi_[1] < 1 || dfi_[1] > 16) return;
    ++r_.records;
    add(dfi_[1], kF73);
    if (dfi_[2] >= 1) add(1, kA120);
    if (dfi_[2] == 2) add(1, kA120);
    if (dfi_[3] >= 1) add(std::min(dfi_[3], 120), kA1);
    for (const GroupRow &row : kRows) {
      if (dfi_[row.guard] < 1) continue;
      add(std::max(dfi_[row.group], 0), row.layout);
    }
    if (!tasks_.empty()) state_ = State::groups;
  }

  BaselineResult &r_;
  State state_ = State::first_index;
  std::array<int32_t, 81> dfi_{};
  std::vector<Task> tasks_;
  size_t next_task_ = 0;
};

} // namespace

BaselineResult scan_sao_file(const std::string &path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  BaselineResult result;
  Walker walker(result);
  std::vector<char> buffer(1 << 20);
  std::string carry; // a line that runs across the end of the buffer
  for (;;) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got < 0) {
      ::close(fd);
      throw std::runtime_error("cannot read " + path);
    }
    if (got == 0) break;
    result.bytes += static_cast<uint64_t>(got);
    const char *p = buffer.data();
    const char *end = p + got;
    while (p < end) {
      const char *nl =
          static_cast<const char *>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      if (!nl) {
        carry.append(p, end);
        break;
      }
      if (carry.empty()) {
        walker.line(p, static_cast<size_t>(nl - p));
      } else {
        carry.append(p, nl);
        walker.line(carry.data(), carry.size());
        carry.clear();
      }
      p = nl + 1;
    }
  }
  ::close(fd);
  if (!carry.empty()) walker.line(carry.data(), carry.size());
  return result;
}

} // namespace bench
