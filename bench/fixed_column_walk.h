// The benchmark's yardstick: a plain scalar fixed-column walk over an SAO file.
//
// It reads the file through a buffer, cuts it into lines, walks each record by
// its data file index and converts every numeric field at its fixed columns
// with a hand-written digit loop (sign, digits, point, exponent): no strtod, no
// format strings, no checks. It knows the layouts of format version 2 and
// above only, which is what the generator writes, and takes well-formed input
// only: a field it cannot read gives a meaningless value, not an error.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace bench {

struct WalkResult {
  uint64_t bytes = 0;
  uint64_t lines = 0;
  uint64_t records = 0; // records whose index passed, so the ones vornet lists
  uint64_t fields = 0;  // numeric fields converted and text fields taken
  double checksum = 0;  // the sum of every value, so that no conversion is dead
};

// Iw: blanks, an optional sign, digits. `n` characters of the field are on the
// line; the rest of it lies past the line's end and counts as blank.
inline int64_t fixed_int(const char *p, size_t n) {
  size_t i = 0;
  while (i < n && p[i] == ' ')
    ++i;
  bool negative = false;
  if (i < n && (p[i] == '-' || p[i] == '+')) negative = p[i++] == '-';
  int64_t v = 0;
  for (; i < n; ++i)
    v = v * 10 + (p[i] - '0');
  return negative ? -v : v;
}

// Fw.d and Ew.dEe as written: blanks, an optional sign, digits, a point,
// digits, then for E fields an "E", a sign and exponent digits.
double fixed_real(const char *p, size_t n);

// Walks lines handed over one at a time (without their line feed).
class FixedColumnWalker {
public:
  explicit FixedColumnWalker(WalkResult &result) : r_(result) {}
  void line(const char *p, size_t n);

  enum class Kind : uint8_t { integer, real, text };
  struct Layout {
    uint8_t per_line;
    uint8_t width;
    Kind kind;
  };

private:
  // What the next lines of the record hold.
  struct Task {
    int32_t remaining; // values still to read; 0 for a line read without values
    Layout layout;
  };
  enum class State : uint8_t { first_index, second_index, groups };

  void start_record();
  void add(int32_t count, Layout layout) { tasks_[task_count_++] = {count, layout}; }

  WalkResult &r_;
  State state_ = State::first_index;
  std::array<int32_t, 81> dfi_{};
  std::array<Task, 64> tasks_{};
  size_t task_count_ = 0;
  size_t next_task_ = 0;
};

// The whole file through a buffer of `buffer_bytes`. Throws std::runtime_error
// when the file cannot be read.
WalkResult walk_sao_file(const std::string &path, size_t buffer_bytes);

} // namespace bench
