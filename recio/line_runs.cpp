#include "recio/line_runs.h"

#include "recio/connection.h"
#include "recio/kernels/field_kernels.h"
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
size_t convert(KernelLevel level, const LineShape &shape, const char *p, size_t n, T *out,
               ptrdiff_t stride) {
  if constexpr (std::is_same_v<T, int32_t>) {
    return convert_int_run(level, p, n, shape.width, out);
  } else {
    return convert_real_run(level, p, n, shape.width, shape.digits, out, stride);
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

// The bytes of the line at `p`, of which `left` are buffered, through its
// line feed when its `span` bytes of fields are followed by one in the
// buffer; 0 otherwise. The usual line end stands right after the fields.
size_t line_length(const char *p, size_t left, size_t span) {
  if (left <= span) return 0;
  if (p[span] == '\n') return span + 1;
  if (p[span] == '\r' && left > span + 1 && p[span + 1] == '\n') return span + 2;
  const void *lf = std::memchr(p + span, '\n', left - span);
  return lf ? static_cast<size_t>(static_cast<const char *>(lf) - p) + 1 : 0;
}

template <class T>
size_t read_lines(int32_t unit, const LineShape &shape, T *values, size_t count, ptrdiff_t stride) {
  if (!g_whole_lines || !shape || !takes<T>(shape.op)) return 0;
  Connection *c = find_connection(unit);
  if (!c || c->is_console || c->write_mode || c->end_of_file) return 0;
  InputCursor &in = c->input;
  const KernelLevel level = best_kernel_level();
  const size_t w = static_cast<size_t>(shape.width);
  const size_t per_line = static_cast<size_t>(shape.per_line);
  const size_t most_lines = g_gathered_lines ? kGatherLines : 1;
  size_t ends[kGatherLines]; // where each line of the call ends, from its first
  size_t done = 0;
  while (done < count) {
    // The lines wholly in the buffer, as many as the gathering takes.
    const char *p = in.data();
    const size_t available = in.available();
    size_t lines = 0, fields = 0, used = 0;
    while (done + fields < count && lines < most_lines) {
      const size_t k = std::min(count - done - fields, per_line);
      if (lines > 0 && (fields + k) * w > kGatherBytes) break;
      // A window's next page is not in the cache yet: it is asked for a
      // page ahead, as the processor itself does not across pages (a line
      // spans about two cache lines).
      __builtin_prefetch(p + used + 4096);
      __builtin_prefetch(p + used + 4096 + 64);
      const size_t length = line_length(p + used, available - used, k * w);
      if (length == 0) break;
      used += length;
      fields += k;
      ends[lines++] = used;
    }
    if (lines == 0) break;
    // One line's fields are converted where they stand; more lines' from
    // where they are gathered.
    const char *from = p;
    if (lines > 1) {
      size_t start = 0;
      for (size_t i = 0; i < lines; ++i) {
        gather(g_gathered + i * per_line * w, p + start,
               std::min(per_line, fields - i * per_line) * w);
        start = ends[i];
      }
      from = g_gathered;
    }
    T *out = values + static_cast<ptrdiff_t>(done) * stride;
    const size_t taken = convert(level, shape, from, fields, out, stride);
    if (taken == fields) {
      in.advance_lines(used, lines);
      done += fields;
      continue;
    }
    // The lines before the one with the field not taken are read; that line
    // is the read statement's, from its start.
    const size_t whole = taken / per_line;
    if (whole > 0) in.advance_lines(ends[whole - 1], whole);
    done += whole * per_line;
    break;
  }
  return done;
}

} // namespace

LineShape line_shape(const ParsedFormat &format) {
  if (format.ops.size() != 2 || format.reversion != 0 || format.ops[1].op != Op::end) return {};
  const Descriptor &d = format.ops[0];
  if (d.op != Op::int_field && d.op != Op::fixed_field && d.op != Op::exp_field) return {};
  if (d.repeat < 1 || d.width < 1) return {};
  return {d.op, d.repeat, d.width, d.digits};
}

void set_whole_lines(bool enabled) { g_whole_lines = enabled; }
void set_gathered_lines(bool enabled) {
  g_gathered_lines = enabled;
}

size_t read_whole_lines(int32_t unit, const LineShape &shape, int32_t *values, size_t count) {
  return read_lines(unit, shape, values, count, 1);
}
size_t read_whole_lines(int32_t unit, const LineShape &shape, float *values, size_t count) {
  return read_lines(unit, shape, values, count, 1);
}
size_t read_whole_lines(int32_t unit, const LineShape &shape, double *values, size_t count) {
  return read_lines(unit, shape, values, count, 1);
}
size_t read_whole_lines_into_one(int32_t unit, const LineShape &shape, float &value, size_t count) {
  return read_lines(unit, shape, &value, count, 0);
}

} // namespace recio
