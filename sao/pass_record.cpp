#include "sao/pass_record.h"

#include "recio/field_input.h"
#include "recio/units.h"
#include "sao/reader_state.h"

namespace sao {

void begin_pass(bool carried) {
  const recio::InputPlace place = recio::input_place(kInputUnit);
  reader().pass = PassFacts{};
  reader().pass.first_line = place.line - (carried ? 1 : 0);
}

void note_stop(PassStop stop, bool in_index, int32_t part, const recio::ReadStatement &read) {
  PassFacts &pass = reader().pass;
  pass.stop = stop;
  pass.in_index = in_index;
  pass.part = part;
  pass.error = read.status();
  // The field stands on the current line: a read stops within a line, or at
  // the end of the input.
  const recio::InputPlace place = recio::input_place(kInputUnit);
  pass.line = place.line;
  const int64_t at = read.failed_at();
  pass.column = at >= place.line_start ? static_cast<uint64_t>(at - place.line_start) + 1 : 1;
}

void note_group_stop(int32_t status, int32_t group, const recio::ReadStatement &read) {
  note_stop(status < 0 ? PassStop::input_ended : PassStop::group_unreadable, false, group, read);
}

void note_listed() {
  reader().pass.listed = true;
}

} // namespace sao
