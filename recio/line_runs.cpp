#include "recio/line_runs.h"

#include "recio/connection.h"
#include "recio/kernels/run_loop.h"
#include "recio/line_text.h"
#include "recio/units.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace recio {

namespace {

bool g_whole_lines = true;
bool g_gathered_lines = true;

// The fields of the lines of one call, one line after the other: the lines
// of the largest groups fit (a thousand values of 15 fields a line take
// 67 lines of 120 bytes). Kernels load up to kKernelPadding bytes past them.
constexpr size_t kGatherBytes = 16 * 1024;
constexpr size_t kGatherLines = 256;
alignas(64) char g_gathered[kGatherBytes + kKernelPadding];

template <class T> bool takes(Op op) {
  if constexpr (std::is_same_v<T, int32_t>) return op == Op::int_field;
  else return op == Op::fixed_field || op == Op::exp_field;
}

template <class T>
size_t convert(const kernels::LevelStages &level, int32_t width, const char *p, size_t n, T *out,
               ptrdiff_t stride) {
  if constexpr (std::is_same_v<T, int32_t>) {
    return kernels::convert_int_run(level, p, n, width, out);
  } else {
    // Every canonical real has its point, which overrides d.
    return kernels::convert_real_run(level, p, n, width, out, stride);
  }
}

// Copies the `n` bytes of a line's fields, 64 at a time: up to 63 bytes
// more are read (the line's end and what follows it, or the buffer's
// padding) and written (over the next line's place, or the padding).
static_assert(kKernelPadding >= 64);
void gather(char *to, const char *from, size_t n) {
  for (size_t i = 0; i < n; i += 64)
    std::memcpy(to + i, from + i, 64);
}

// line_length() past the usual cases: more bytes before the line feed, or
// the end of the buffer.
[[gnu::noinline]] size_t unusual_line_length(const char *p, size_t left, size_t span) {
  if (left <= span) return 0;
  if (p[span] == '\r' && left > span + 1 && p[span + 1] == '\n') return span + 2;
  const void *lf = std::memchr(p + span, '\n', left - span);
  return lf ? static_cast<size_t>(static_cast<const char *>(lf) - p) + 1 : 0;
}

// The bytes of the line at `p`, of which `left` are buffered, through its
// line feed when its `span` bytes of fields are followed by one in the
// buffer; 0 otherwise. The usual line end, LF or CR LF (as many stations
// write), stands right after the fields.
inline size_t line_length(const char *p, size_t left, size_t span) {
  if (left > span + 1) {
    if (p[span] == '\n') return span + 1;
    if (p[span] == '\r' && p[span + 1] == '\n') return span + 2;
  }
  return unusual_line_length(p, left, span);
}

} // namespace

WholeLines::WholeLines(int32_t unit) {
  Connection *c = find_connection(unit);
  if (!g_whole_lines || !c || c->is_console || c->write_mode) return;
  connection_ = c;
  level_ = &kernels::stages_of(best_kernel_level());
}

template <class T>
size_t WholeLines::read_lines(const LineShape &shape, T *values, size_t count, ptrdiff_t stride) {
  if (!connection_ || connection_->end_of_file || !takes<T>(shape.op)) return 0;
  InputCursor &in = connection_->input;
  const size_t w = static_cast<size_t>(shape.width);
  const size_t per_line = static_cast<size_t>(shape.per_line);
  if (count <= per_line) {
    // One line, the usual group: its fields are converted where they stand.
    const char *p = in.data();
    const size_t length = line_length(p, in.available(), count * w);
    if (length == 0 || convert(*level_, shape.width, p, count, values, stride) < count) return 0;
    in.advance_lines(length, 1);
    return count;
  }
  const size_t line_span = per_line * w; // the fields of a full line
  const size_t most_lines =
      g_gathered_lines ? std::clamp<size_t>(kGatherBytes / line_span, 1, kGatherLines) : 1;
  size_t done = 0;
  while (done < count) {
    // The lines wholly in the buffer, as many as the gathering takes: full
    // ones, then one with the fields left. When more than one is expected,
    // each line's fields are copied as it is found.
    const char *p = in.data();
    const size_t available = in.available();
    size_t full = (count - done) / per_line;
    size_t short_fields = (count - done) % per_line;
    if (full >= most_lines) {
      full = most_lines;
      short_fields = 0;
    }
    const bool gathering = full + (short_fields > 0) > 1;
    char *to = g_gathered;
    size_t lines = 0, used = 0;
    for (; lines < full; ++lines) {
      const size_t length = line_length(p + used, available - used, line_span);
      if (length == 0) break;
      if (gathering) gather(to, p + used, line_span);
      to += line_span;
      used += length;
    }
    size_t fields = lines * per_line;
    if (lines == full && short_fields > 0) {
      const size_t span = short_fields * w;
      const size_t length = line_length(p + used, available - used, span);
      if (length > 0) {
        if (gathering) gather(to, p + used, span);
        used += length;
        fields += short_fields;
        ++lines;
      }
    }
    if (lines == 0) break;
    T *out = values + static_cast<ptrdiff_t>(done) * stride;
    const size_t taken =
        convert(*level_, shape.width, gathering ? g_gathered : p, fields, out, stride);
    if (taken == fields) {
      in.advance_lines(used, lines);
      done += fields;
      continue;
    }
    // The lines before the one with the field not taken are read (each a
    // full one); that line is the read statement's, from its start.
    const size_t whole = taken / per_line;
    size_t bytes = 0;
    for (size_t i = 0; i < whole; ++i)
      bytes += line_length(p + bytes, available - bytes, line_span);
    if (whole > 0) in.advance_lines(bytes, whole);
    done += whole * per_line;
    break;
  }
  return done;
}

size_t WholeLines::read(const LineShape &shape, int32_t *values, size_t count) {
  return read_lines(shape, values, count, 1);
}
size_t WholeLines::read(const LineShape &shape, float *values, size_t count) {
  return read_lines(shape, values, count, 1);
}
size_t WholeLines::read(const LineShape &shape, double *values, size_t count) {
  return read_lines(shape, values, count, 1);
}
size_t WholeLines::read_into_one(const LineShape &shape, float &value, size_t count) {
  return read_lines(shape, &value, count, 0);
}

bool WholeLines::read_texts(const LineShape &shape, char *text, size_t length, size_t n) {
  if (!connection_ || connection_->end_of_file || shape.op != Op::text_field ||
      static_cast<size_t>(shape.width) != length || static_cast<size_t>(shape.per_line) < n)
    return false;
  return take_line_text(connection_->input, text, length * n);
}

LineShape line_shape(const ParsedFormat &format) {
  if (format.ops.size() != 2 || format.reversion != 0 || format.ops[1].op != Op::end) return {};
  const Descriptor &d = format.ops[0];
  if (d.op != Op::int_field && d.op != Op::fixed_field && d.op != Op::exp_field &&
      d.op != Op::text_field)
    return {};
  if (d.repeat < 1 || d.width < 1) return {};
  return {d.op, d.repeat, d.width, d.digits};
}

void set_whole_lines(bool enabled) { g_whole_lines = enabled; }
void set_gathered_lines(bool enabled) {
  g_gathered_lines = enabled;
}

} // namespace recio
