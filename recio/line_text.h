// One record read whole into a text, as the format "(a)" reads it: the line
// up to its carriage return or line feed, at most the text's length, blank
// padded, and the rest of the line skipped. Taken straight from the unit's
// buffer when the whole line is there; otherwise, or at the end of the
// input, through a read statement, so the result is that statement's.
#pragma once

#include "recio/run_errors.h"

#include <cstddef>
#include <cstdint>

namespace recio {

class InputCursor;

// The read's status: 0, -1 at the end of the file, or the error number,
// for the conditions `handling` takes.
int32_t read_line_text(int32_t unit, char *text, size_t length, Handling handling);

// The same read straight from the buffer alone: false, reading nothing, when
// the line's line feed is not in it.
bool take_line_text(InputCursor &in, char *text, size_t length);

} // namespace recio
