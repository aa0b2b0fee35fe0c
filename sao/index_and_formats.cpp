#include "sao/index_and_formats.h"

#include "recio/field_input.h"
#include "recio/line_runs.h"
#include "recio/output_records.h"
#include "recio/run_errors.h"
#include "sao/destination.h"
#include "sao/pass_record.h"
#include "sao/reader_state.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace sao {

namespace {

struct SlotText {
  uint8_t slot;
  std::string_view write_format;
  std::string_view text;
};

constexpr std::array<SlotText, 10> kVersion0And1{{
    {1, "(4X,A8)", "(40I3)"},
    {2, "(2X,A10)", "(16F7.3)"},
    {3, "(4X,A8)", "(A120)"},
    {4, "(3X,A9)", "(120A1)"},
    {5, "(2X,A10)", "(15F8.3)"},
    {6, "(4X,A8)", "(60I2)"},
    {7, "(3X,A9)", "(120I1)"},
    {8, "(2X,A10)", "(20F6.3)"},
    {9, "(A12)", "(13E9.4E1)"}, // version 1: "(10E11.6E1)"
    {10, "(3X,A8)", "(60I2)"},
}};

constexpr std::array<SlotText, 12> kVersion2{{
    {1, "(2X,A10)", "(15F8.3)"},
    {2, "(2X,A10)", "(16F7.3)"},
    {3, "(4X,A8)", "(A120)"},
    {4, "(3X,A9)", "(120A1)"},
    {5, "(2X,A10)", "(15F8.3)"},
    {6, "(4X,A8)", "(60I2)"},
    {7, "(3X,A9)", "(120I1)"},
    {8, "(2X,A10)", "(15F8.3)"},
    {9, "(A12)", "(10E11.6E1)"},
    {10, "(3X,A8)", "(40I3)"},
    {11, "(A12)", "(15E8.3E1)"},
    {12, "(A11)", "(6E20.12)"},
}};

// The slots a version set writes, as they were written the first time: a
// set writes the same texts every time, so a later table (in a later run of
// the same process) is copied from here instead of written again.
struct WrittenSet {
  bool filled = false;
  std::array<std::array<char, kSlotLength>, 13> slots{};
  std::array<recio::FormatHandle, 13> formats;
};
std::array<WrittenSet, 3> g_written_sets;

void write_slot(WrittenSet &set, const SlotText &s, std::string_view text) {
  ReaderState &r = reader();
  std::array<char, kSlotLength> &slot = r.slots[s.slot];
  recio::write_internal(slot.data(), slot.size(), s.write_format, {text});
  set.slots[s.slot] = slot;
  set.formats[s.slot] = recio::cached_format(r.slot(s.slot));
}

template <size_t N> void write_slots(WrittenSet &set, const std::array<SlotText, N> &texts,
                                     int32_t version) {
  ReaderState &r = reader();
  for (const SlotText &s : texts) {
    if (set.filled) {
      r.slots[s.slot] = set.slots[s.slot];
    } else {
      write_slot(set, s,
                 s.slot == 9 && version == 1 ? std::string_view("(10E11.6E1)") : s.text);
    }
    r.slot_formats[s.slot] = recio::FormatHandle::borrow(set.formats[s.slot]);
  }
  set.filled = true;
}

// Status of one read of leading group `group`.
Outcome leading_outcome(int32_t status, int32_t group, const recio::ReadStatement &read) {
  if (status == 0) return Outcome::leading_groups_read;
  note_group_stop(status, group, read);
  return status < 0 ? Outcome::end_of_input : Outcome::record_abandoned;
}

} // namespace

Outcome read_index() {
  ReaderState &r = reader();
  recio::set_statement(234);
  // After a rejected index its second line is already in DFI(1) to DFI(40),
  // so only the line after it is read.
  const bool carried = std::exchange(r.index_first_line_carried, false);
  begin_pass(carried);
  const size_t first = carried ? 41 : 1;
  const size_t count = 81 - first;
  // Whole lines of 40 canonical I3 fields need no read statement.
  static const recio::FormatHandle format = recio::cached_format("(40I3)");
  static const recio::LineShape shape = recio::line_shape(*format);
  const size_t done = recio::WholeLines(kInputUnit).read(shape, &r.dfi[first], count);
  if (done == count) return Outcome::index_read;
  recio::ReadStatement read(kInputUnit, format, recio::kErrorsAndEnd);
  read.items(&r.dfi[first + done], count - done);
  const int32_t status = read.finish();
  if (status == 0) return Outcome::index_read;
  const auto entry = static_cast<int32_t>(first + done + read.items_read());
  if (status < 0) {
    note_stop(PassStop::input_ended, true, entry, read);
    // A blank line at the end of the input reads as counts of 0.
    r.pass.no_counts = std::all_of(&r.dfi[first], &r.dfi[static_cast<size_t>(entry)],
                                   [](int32_t n) { return n == 0; });
    return Outcome::end_of_input;
  }
  note_stop(PassStop::index_unreadable, true, entry, read);
  return Outcome::index_error;
}

Outcome resync_read() {
  std::array<char, 120> &line = reader().group2_first_line;
  recio::set_statement(237);
  recio::ReadStatement read(kInputUnit, "(A120)", recio::kEndOnly);
  read.item(line.data(), line.size());
  return read.finish() < 0 ? Outcome::end_of_input : Outcome::resynced;
}

void reject_index() {
  ReaderState &r = reader();
  PassFacts &pass = r.pass;
  pass.stop = PassStop::index_rejected;
  pass.in_index = true;
  pass.part = 1;
  pass.rejected_count = r.dfi[1];
  pass.no_counts =
      std::all_of(r.dfi.begin() + 1, r.dfi.begin() + 41, [](int32_t n) { return n == 0; });
  std::copy(r.dfi.begin() + 41, r.dfi.end(), r.dfi.begin() + 1);
  r.index_first_line_carried = true;
}

bool index_valid() {
  const int32_t n = reader().dfi[1];
  return n >= 1 && n <= 16;
}

void build_format_table() {
  ReaderState &r = reader();
  const int32_t version = r.format_version();
  // The table a version set writes is the same every time: written again
  // only when the set changes. A negative version writes nothing.
  const int32_t set = version < 0 ? r.written_set : std::min(version, 2);
  if (set == r.written_set) return;
  r.written_set = set;
  if (version == 0 || version == 1) write_slots(g_written_sets[set], kVersion0And1, version);
  if (version >= 2) write_slots(g_written_sets[set], kVersion2, version);
}

Outcome read_leading_groups() {
  ReaderState &r = reader();
  // Whole lines of canonical fields, and lines of text wholly in the
  // buffer, need no read statement.
  recio::WholeLines lines(kInputUnit);
  if (r.dfi[1] >= 1) {
    recio::set_statement(288);
    const Destination reals = dest(r.group1_reals);
    const int32_t count = r.dfi[1];
    size_t done = 0;
    if (count <= reals.bound) {
      const recio::LineShape shape = recio::line_shape(*r.slot_format(2));
      done = lines.read(shape, r.group1_reals.data(), static_cast<size_t>(count));
    }
    if (done < static_cast<size_t>(count)) {
      recio::ReadStatement read(kInputUnit, r.slot_format(2), recio::kErrorsAndEnd);
      read_elements(read, advanced(reals, done), count - static_cast<int32_t>(done));
      const Outcome o = leading_outcome(read.finish(), 1, read);
      if (o != Outcome::leading_groups_read) return o;
    }
  }
  // Group 2: DFI(2) description lines, each one read through slot 3; the
  // first goes to the first group-2 line, every further one to the second.
  const recio::LineShape description = recio::line_shape(*r.slot_format(3));
  for (int32_t i = 1; i <= r.dfi[2]; ++i) {
    recio::set_statement(i == 1 ? 292 : 295);
    std::array<char, 120> &line = i == 1 ? r.group2_first_line : r.group2_second_line;
    if (lines.read_texts(description, line.data(), line.size(), 1)) continue;
    recio::ReadStatement read(kInputUnit, r.slot_format(3), recio::kErrorsAndEnd);
    read.item(line.data(), line.size());
    const Outcome o = leading_outcome(read.finish(), 2, read);
    if (o != Outcome::leading_groups_read) return o;
  }
  // Group 3: the time stamp's characters, one line of them when there are
  // no more than the storage holds.
  const int32_t stamp = r.dfi[3];
  if (stamp >= 1) {
    recio::set_statement(300);
    const auto n = static_cast<size_t>(stamp);
    if (n <= r.time_stamp_chars.size() &&
        lines.read_texts(recio::line_shape(*r.slot_format(4)), r.time_stamp_chars.data(), 1, n))
      return Outcome::leading_groups_read;
    recio::ReadStatement read(kInputUnit, r.slot_format(4), recio::kErrorsAndEnd);
    read_elements(read, dest(r.time_stamp_chars), stamp);
    const Outcome o = leading_outcome(read.finish(), 3, read);
    if (o != Outcome::leading_groups_read) return o;
  }
  return Outcome::leading_groups_read;
}

} // namespace sao
