#include "fixed_column_walk.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace bench {

namespace {

using Kind = FixedColumnWalker::Kind;
using Layout = FixedColumnWalker::Layout;

// The fields of format version 2 and above, with the fields a line holds.
constexpr Layout kF73{16, 7, Kind::real};
constexpr Layout kF83{15, 8, Kind::real};
constexpr Layout kE83{15, 8, Kind::real};
constexpr Layout kE116{10, 11, Kind::real};
constexpr Layout kE2012{6, 20, Kind::real};
constexpr Layout kI1{120, 1, Kind::integer};
constexpr Layout kI2{60, 2, Kind::integer};
constexpr Layout kI3{40, 3, Kind::integer};
constexpr Layout kA1{120, 1, Kind::text};
constexpr Layout kA120{1, 120, Kind::text};

struct GroupRow {
  uint8_t group;
  uint8_t guard; // the count that decides whether the group is read at all
  Layout layout;
};

// Groups 4 to 60 in reading order. The rows of a chain (52, 53 and 59, 60)
// follow their first group's count and take one line even when their own
// count is below 1.
constexpr GroupRow kRows[] = {
    {4, 4, kF83},    {5, 5, kI2},      {6, 6, kF73},   {7, 7, kF83},    {8, 8, kF83},
    {9, 9, kI3},     {10, 10, kI1},    {11, 11, kF83}, {12, 12, kF83},  {13, 13, kF83},
    {14, 14, kI3},   {15, 15, kI1},    {16, 16, kF83}, {17, 17, kF83},  {18, 18, kF83},
    {19, 19, kI3},   {20, 20, kI1},    {21, 21, kF83}, {22, 22, kF83},  {23, 23, kI3},
    {24, 24, kI1},   {25, 25, kF83},   {26, 26, kF83}, {27, 27, kI3},   {28, 28, kI1},
    {29, 29, kF83},  {30, 30, kF83},   {31, 31, kI3},  {32, 32, kI1},   {33, 33, kF83},
    {34, 34, kI2},   {35, 35, kI2},    {36, 36, kI2},  {37, 37, kE116}, {38, 38, kE116},
    {39, 39, kE116}, {40, 40, kE2012}, {41, 41, kI1},  {42, 42, kE116}, {43, 43, kF83},
    {44, 44, kI3},   {45, 45, kI1},    {46, 46, kF83}, {47, 47, kF83},  {48, 48, kI3},
    {49, 49, kI1},   {50, 50, kF83},   {51, 51, kE83}, {52, 51, kE83},  {53, 51, kE83},
    {54, 54, kA1},   {55, 55, kA1},    {56, 56, kI1},  {57, 57, kE116}, {58, 58, kE83},
    {59, 58, kE83},  {60, 58, kE83},
};

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kLastExactPower = 22;

bool is_digit(char c) {
  return static_cast<unsigned char>(c - '0') <= 9;
}

} // namespace

double fixed_real(const char *p, size_t n) {
  size_t i = 0;
  while (i < n && p[i] == ' ')
    ++i;
  bool negative = false;
  if (i < n && (p[i] == '-' || p[i] == '+')) negative = p[i++] == '-';
  uint64_t mantissa = 0;
  int scale = 0;
  for (; i < n && is_digit(p[i]); ++i)
    mantissa = mantissa * 10 + static_cast<uint64_t>(p[i] - '0');
  if (i < n && p[i] == '.') {
    for (++i; i < n && is_digit(p[i]); ++i, --scale)
      mantissa = mantissa * 10 + static_cast<uint64_t>(p[i] - '0');
  }
  if (i < n && p[i] == 'E') {
    ++i;
    bool exponent_negative = false;
    if (i < n && (p[i] == '-' || p[i] == '+')) exponent_negative = p[i++] == '-';
    int exponent = 0;
    for (; i < n; ++i)
      exponent = exponent * 10 + (p[i] - '0');
    scale += exponent_negative ? -exponent : exponent;
  }
  // Below 2^53 the mantissa is exact, and so is a power of ten up to 10^22, so
  // one multiplication or division rounds correctly.
  double v = static_cast<double>(mantissa);
  if (scale < 0) {
    v = -scale <= kLastExactPower ? v / kPowersOfTen[-scale] : v * std::pow(10.0, scale);
  } else if (scale > 0) {
    v = scale <= kLastExactPower ? v * kPowersOfTen[scale] : v * std::pow(10.0, scale);
  }
  return negative ? -v : v;
}

void FixedColumnWalker::line(const char *p, size_t n) {
  ++r_.lines;
  if (n > 0 && p[n - 1] == '\r') --n; // a carriage return ends the line's data
  if (state_ != State::groups) {
    const int base = state_ == State::first_index ? 1 : 41;
    for (int i = 0; i < 40; ++i) {
      const size_t at = static_cast<size_t>(i) * 3;
      dfi_[static_cast<size_t>(base + i)] =
          at < n ? static_cast<int32_t>(fixed_int(p + at, std::min<size_t>(3, n - at))) : 0;
    }
    if (state_ == State::first_index) {
      state_ = State::second_index;
    } else {
      start_record();
    }
    return;
  }
  Task &t = tasks_[next_task_];
  const int take = std::min<int>(t.remaining, t.layout.per_line);
  const size_t width = t.layout.width;
  double sum = 0;
  for (int i = 0; i < take; ++i) {
    const size_t at = static_cast<size_t>(i) * width;
    const size_t have = at < n ? std::min(width, n - at) : 0;
    switch (t.layout.kind) {
    case Kind::integer:
      sum += static_cast<double>(fixed_int(p + at, have));
      break;
    case Kind::real:
      sum += fixed_real(p + at, have);
      break;
    case Kind::text:
      for (size_t j = 0; j < have; ++j)
        sum += static_cast<unsigned char>(p[at + j]);
      break;
    }
  }
  r_.checksum += sum;
  r_.fields += static_cast<uint64_t>(std::max(take, 0));
  t.remaining -= take;
  if (t.remaining <= 0 && ++next_task_ == task_count_) state_ = State::first_index;
}

void FixedColumnWalker::start_record() {
  task_count_ = 0;
  next_task_ = 0;
  state_ = State::first_index;
  // Only records whose group-1 count lies in 1 to 16 are read and listed.
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
  if (task_count_ > 0) state_ = State::groups;
}

WalkResult walk_sao_file(const std::string &path, size_t buffer_bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  WalkResult result;
  FixedColumnWalker walker(result);
  const std::unique_ptr<char[]> buffer(new char[buffer_bytes]);
  std::string carry; // a line that runs across the end of the buffer
  for (;;) {
    const ssize_t got = ::read(fd, buffer.get(), buffer_bytes);
    if (got < 0) {
      ::close(fd);
      throw std::runtime_error("cannot read " + path);
    }
    if (got == 0) break;
    result.bytes += static_cast<uint64_t>(got);
    const char *p = buffer.get();
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
