// Whole lines of one repeated numeric edit descriptor, read straight from a
// unit's buffer by the field kernels. A group of values read through a format
// such as "(15F8.3)" takes its lines one after the other, each line the
// format's fields and then the rest of the line skipped; where every field of
// a line is canonical and the line is wholly in the buffer, that is exactly
// what a read statement does, without the statement.
//
// The lines of a group go to the kernels together: their fields are gathered
// one after the other, without the line ends, and one call converts them all.
//
//   recio::WholeLines lines(1); // once for the groups of a record
//   size_t done = lines.read(shape, values, count);
//   // values[0, done) are read; a read statement takes the rest from here.
#pragma once

#include "recio/format.h"

#include <cstddef>
#include <cstdint>

namespace recio {

struct Connection;
namespace kernels {
struct LevelStages;
}

struct LineShape {
  Op op = Op::invalid; // int_field, fixed_field, exp_field or text_field; invalid: no shape
  int32_t per_line = 0;
  int32_t width = 0;
  int32_t digits = 0;
  explicit operator bool() const { return op != Op::invalid; }
};

// The shape of a format that is one numeric or text descriptor with a
// repeat count and a width and nothing else, such as "(40I3)" or "(120A1)";
// no shape for any other.
LineShape line_shape(const ParsedFormat &format);

// A unit's whole lines, bound once for the groups of a record: the unit's
// connection and the kernel level are found here rather than at every group.
// The unit stays connected while the object lives.
class WholeLines {
public:
  explicit WholeLines(int32_t unit);

  // Reads up to `count` values through whole lines of `shape` at the unit's
  // position and stops before the first line that is not wholly in the
  // buffer or holds a field the kernels do not take (or when the unit is
  // the console, holds output or is at its end). Returns the number of
  // values read; the unit then stands at the start of the next line, so a
  // read statement with the rest of the values and the same format goes on
  // exactly where the one statement would have. Values past the returned
  // count may have been written and are written again by that read.
  size_t read(const LineShape &shape, int32_t *values, size_t count);
  size_t read(const LineShape &shape, float *values, size_t count);
  size_t read(const LineShape &shape, double *values, size_t count);
  // The same with every value stored into `value`, so that the last one read
  // stays, as a read statement's items_into_one() leaves it.
  size_t read_into_one(const LineShape &shape, float &value, size_t count);
  // Reads `n` texts of `length` characters each through a text shape as
  // wide as they are, all from the current line, as a read statement does:
  // the line up to its carriage return or line feed, blanks past it, and
  // the rest of the line skipped. False, reading nothing, where the shape
  // is another or takes fewer than `n` a line, or where the line is not
  // wholly in the buffer (or the unit is the console, holds output or is at
  // its end).
  bool read_texts(const LineShape &shape, char *text, size_t length, size_t n);

private:
  template <class T>
  size_t read_lines(const LineShape &shape, T *values, size_t count, ptrdiff_t stride);

  Connection *connection_ = nullptr; // null: the unit takes no whole lines
  const kernels::LevelStages *level_ = nullptr;
};

// With false, WholeLines::read() reads nothing, so every value goes through
// a read statement: for tests that compare the two paths over the same input.
void set_whole_lines(bool enabled);
// With false, the kernels take one line per call, as they did before lines
// were gathered: for tests that compare the two.
void set_gathered_lines(bool enabled);

} // namespace recio
