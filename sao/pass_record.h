// Keeps the facts of the record loop's pass as the reader meets them.
#pragma once

#include "sao/pass_facts.h"

#include <cstdint>

namespace recio {
class ReadStatement;
}

namespace sao {

// A new pass begins at the input's position; with `carried`, on the line
// before it, whose counts the last pass read and left for this one.
void begin_pass(bool carried);
// The read statement `read` stopped the pass with `stop`, at a count of the
// index or a group (`part`).
void note_stop(PassStop stop, bool in_index, int32_t part, const recio::ReadStatement &read);
// A read of group `group` ended with `status`: the end of the input (-1) or
// an error.
void note_group_stop(int32_t status, int32_t group, const recio::ReadStatement &read);
// The record's listing line is written.
void note_listed();

} // namespace sao
