#include "recio/line_text.h"

#include "recio/connection.h"
#include "recio/field_input.h"
#include "recio/units.h"

#include <algorithm>
#include <cstring>

namespace recio {

bool take_line_text(InputCursor &in, char *text, size_t length) {
  const char *p = in.data();
  const void *lf = in.available() > 0 ? std::memchr(p, '\n', in.available()) : nullptr;
  if (!lf) return false;
  const size_t line = static_cast<size_t>(static_cast<const char *>(lf) - p);
  size_t taken = std::min(line, length);
  if (const void *cr = std::memchr(p, '\r', taken))
    taken = static_cast<size_t>(static_cast<const char *>(cr) - p);
  std::memcpy(text, p, taken);
  std::memset(text + taken, ' ', length - taken);
  in.advance_lines(line + 1, 1);
  return true;
}

int32_t read_line_text(int32_t unit, char *text, size_t length, Handling handling) {
  Connection *c = find_connection(unit);
  if (c && !c->is_console && !c->write_mode && !c->end_of_file &&
      take_line_text(c->input, text, length))
    return 0;
  static const FormatHandle format = cached_format("(a)");
  ReadStatement read(unit, format, handling);
  read.item(text, length);
  return read.finish();
}

} // namespace recio
