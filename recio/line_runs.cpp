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

template <class T> bool takes(Op op) {
  if constexpr (std::is_same_v<T, int32_t>) return op == Op::int_field;
  else return op == Op::fixed_field || op == Op::exp_field;
}

template <class T>
size_t read_lines(int32_t unit, const LineShape &shape, T *values, size_t count) {
  if (!g_whole_lines || !shape || !takes<T>(shape.op)) return 0;
  Connection *c = find_connection(unit);
  if (!c || c->is_console || c->write_mode || c->end_of_file) return 0;
  InputCursor &in = c->input;
  const KernelLevel level = best_kernel_level();
  const size_t w = static_cast<size_t>(shape.width);
  size_t done = 0;
  while (done < count) {
    const size_t k = std::min(count - done, static_cast<size_t>(shape.per_line));
    const size_t span = k * w;
    const char *p = in.data();
    const size_t available = in.available();
    if (available <= span) break;
    const void *lf = std::memchr(p + span, '\n', available - span);
    if (!lf) break;
    size_t taken;
    if constexpr (std::is_same_v<T, int32_t>) {
      taken = convert_int_run(level, p, k, shape.width, values + done);
    } else {
      taken = convert_real_run(level, p, k, shape.width, shape.digits, values + done, 1);
    }
    if (taken < k) break;
    in.advance(static_cast<size_t>(static_cast<const char *>(lf) - p) + 1);
    done += k;
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

size_t read_whole_lines(int32_t unit, const LineShape &shape, int32_t *values, size_t count) {
  return read_lines(unit, shape, values, count);
}
size_t read_whole_lines(int32_t unit, const LineShape &shape, float *values, size_t count) {
  return read_lines(unit, shape, values, count);
}
size_t read_whole_lines(int32_t unit, const LineShape &shape, double *values, size_t count) {
  return read_lines(unit, shape, values, count);
}

} // namespace recio
