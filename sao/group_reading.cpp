#include "sao/group_reading.h"

#include "recio/run_errors.h"
#include "recio/field_input.h"
#include "sao/pass_record.h"
#include "sao/reader_state.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace sao {

namespace {

using V = VersionCondition;

constexpr Destination kNoCopy{Element::scratch, nullptr, 0};

std::array<GroupRead, 68> make_rows(GroupStore &s) {
  auto row = [](int16_t stmt, uint8_t group, uint8_t guard, V v, uint8_t slot, Destination d) {
    return GroupRead{stmt, group, guard, v, slot, d, false, 0, kNoCopy};
  };
  auto with_copy = [](GroupRead r, int16_t stmt, Destination to) {
    r.copy_statement = stmt;
    r.copy_to = to;
    return r;
  };
  GroupRead first = row(344, 4, 4, V::any, 5, dest(s.group4_reals));
  first.ignores_errors = true;
  return {{
      first,
      row(349, 5, 5, V::any, 6, dest(s.group5_ints)),
      row(353, 6, 6, V::any, 2, dest(s.group6_reals)),
      with_copy(row(360, 7, 7, V::from_2, 1, dest(s.group7_reals)), 362, dest(s.group7_ints)),
      with_copy(row(365, 7, 7, V::below_2, 1, dest(s.group7_ints)), 368, dest(s.group7_reals)),
      row(376, 8, 8, V::from_2, 1, dest(s.group8_reals)),
      row(378, 8, 8, V::below_2, 1, dest(s.group8_ints)),
      row(384, 9, 9, V::any, 10, dest(s.group9_ints)),
      row(388, 10, 10, V::any, 7, dest(s.group10_ints)),
      row(392, 11, 11, V::any, 8, dest(s.group11_reals)),
      with_copy(row(399, 12, 12, V::from_2, 1, dest(s.group12_reals)), 401,
                dest(s.group12_ints)),
      with_copy(row(404, 12, 12, V::below_2, 1, dest(s.group12_ints)), 407,
                dest(s.group12_reals)),
      row(415, 13, 13, V::from_2, 1, dest(s.group13_reals)),
      row(417, 13, 13, V::below_2, 1, dest(s.group13_ints)),
      row(423, 14, 14, V::any, 10, dest(s.group14_ints)),
      row(427, 15, 15, V::any, 7, dest(s.group15_ints)),
      row(431, 16, 16, V::any, 8, dest(s.group16_reals)),
      with_copy(row(438, 17, 17, V::from_2, 1, dest(s.group17_reals)), 440,
                dest(s.group17_ints)),
      with_copy(row(443, 17, 17, V::below_2, 1, dest(s.group17_ints)), 446,
                dest(s.group17_reals)),
      row(454, 18, 18, V::from_2, 1, dest(s.group18_reals)),
      row(456, 18, 18, V::below_2, 1, dest(s.group18_ints)),
      row(462, 19, 19, V::any, 10, dest(s.group19_ints)),
      row(466, 20, 20, V::any, 7, dest(s.group20_ints)),
      row(470, 21, 21, V::any, 8, dest(s.group21_reals)),
      row(477, 22, 22, V::from_2, 1, dest(s.group22_reals)),
      row(479, 22, 22, V::below_2, 1, dest(s.group22_ints)),
      row(485, 23, 23, V::any, 10, dest(s.group23_ints)),
      row(489, 24, 24, V::any, 7, dest(s.group24_ints)),
      row(493, 25, 25, V::any, 8, dest(s.group25_reals)),
      row(500, 26, 26, V::from_2, 1, dest(s.group26_reals)),
      row(502, 26, 26, V::below_2, 1, dest(s.group26_ints)),
      row(508, 27, 27, V::any, 10, dest(s.group27_ints)),
      row(512, 28, 28, V::any, 7, dest(s.group28_ints)),
      row(516, 29, 29, V::any, 8, dest(s.group29_reals)),
      row(523, 30, 30, V::from_2, 1, dest(s.group30_reals)),
      row(525, 30, 30, V::below_2, 1, dest(s.group30_ints)),
      row(531, 31, 31, V::any, 10, dest(s.group31_ints)),
      row(535, 32, 32, V::any, 7, dest(s.group32_ints)),
      row(539, 33, 33, V::any, 8, dest(s.group33_reals)),
      row(543, 34, 34, V::any, 6, dest(s.group34_ints)),
      row(546, 35, 35, V::any, 6, dest(s.group35_ints)),
      row(549, 36, 36, V::any, 6, dest(s.group36_ints)),
      row(553, 37, 37, V::any, 9, dest(s.group37_reals)),
      row(557, 38, 38, V::any, 9, dest(s.group38_reals)),
      row(560, 39, 39, V::any, 9, dest(s.group39_reals)),
      row(566, 40, 40, V::below_2, 9, dest(s.group40_reals)),
      row(568, 40, 40, V::from_2, 12, dest(s.group40_doubles)),
      row(575, 41, 41, V::any, 7, dest(s.group41_ints)),
      row(578, 42, 42, V::any, 9, dest(s.group40_reals)),
      row(585, 43, 43, V::from_2, 1, dest(s.group43_reals)),
      row(587, 43, 43, V::below_2, 1, dest(s.group43_ints)),
      row(593, 44, 44, V::any, 10, dest(s.group44_ints)),
      row(597, 45, 45, V::any, 7, dest(s.group45_ints)),
      row(601, 46, 46, V::any, 8, dest(s.group46_reals)),
      row(607, 47, 47, V::any, 1, dest(s.group47_reals)),
      row(611, 48, 48, V::any, 10, dest(s.group48_ints)),
      row(615, 49, 49, V::any, 7, dest(s.group49_ints)),
      row(619, 50, 50, V::any, 8, dest(s.group50_reals)),
      row(624, 51, 51, V::any, 11, dest(s.group51_reals)),
      row(625, 52, 51, V::any, 11, dest(s.group52_reals)),
      row(626, 53, 51, V::any, 11, scratch(s.chain_scratch)),
      row(630, 54, 54, V::any, 4, dest(s.group54_chars)),
      row(632, 55, 55, V::any, 4, dest(s.group55_chars)),
      row(635, 56, 56, V::any, 7, dest(s.group56_ints)),
      row(639, 57, 57, V::any, 9, dest(s.group57_reals)),
      row(642, 58, 58, V::any, 11, dest(s.group58_reals)),
      row(643, 59, 58, V::any, 11, dest(s.group59_reals)),
      row(644, 60, 58, V::any, 11, scratch(s.chain_scratch)),
  }};
}

// Real to integer through a 64-bit integer, keeping the low 32 bits. A value
// no 64-bit integer holds is the floating-point invalid condition.
int32_t real_to_integer(float value) {
  constexpr float kTwoTo63 = 9223372036854775808.0f;
  if (std::isnan(value) || value >= kTwoTo63 || value <= -kTwoTo63) {
    recio::raise_floating_point_error(recio::FloatingPointCondition::invalid);
  }
  const auto wide = static_cast<int64_t>(value);
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
}

// Fills the other form of a group after its read: the elements the read
// stored, 1 to the smaller of the count and the bound.
void copy_forms(const GroupRead &row, int32_t count) {
  recio::set_statement(row.copy_statement);
  const Destination &to = row.copy_to;
  const int32_t stored = std::min({count, to.bound, row.destination.bound});
  if (stored < 1) return;
  const auto n = static_cast<size_t>(stored);
  if (row.destination.kind != Element::real4) {
    const auto *from = static_cast<const int32_t *>(row.destination.data);
    auto *into = static_cast<float *>(to.data);
    for (size_t i = 0; i < n; ++i)
      into[i] = static_cast<float>(from[i]);
    return;
  }
  const auto *from = static_cast<const float *>(row.destination.data);
  auto *into = static_cast<int32_t *>(to.data);
  // Reals of magnitude below 2^31 (the usual case) convert as 32-bit
  // integers directly, many at a time; any other goes through
  // real_to_integer(), which also reports the one it cannot convert.
  size_t large = 0; // counted, not searched for: the loop then vectorizes
  for (size_t i = 0; i < n; ++i)
    large += !(std::fabs(from[i]) < 2147483648.0f);
  if (large == 0) {
    for (size_t i = 0; i < n; ++i)
      into[i] = static_cast<int32_t>(from[i]);
    return;
  }
  for (size_t i = 0; i < n; ++i)
    into[i] = real_to_integer(from[i]);
}

bool version_holds(VersionCondition v, int32_t version) {
  switch (v) {
  case V::below_2:
    return version < 2;
  case V::from_2:
    return version >= 2;
  default:
    return true;
  }
}

} // namespace

std::span<const GroupRead> group_reads() {
  static const std::array<GroupRead, 68> rows = make_rows(reader().groups);
  return rows;
}

namespace {

// What whole lines of `shape` read a row's values into, when they can.
LinesInto lines_into(const GroupRead &row, const recio::LineShape &shape) {
  if (!shape) return LinesInto::none;
  switch (row.destination.kind) {
  case Element::scratch:
    return LinesInto::one_float;
  case Element::real4:
    return LinesInto::floats;
  case Element::real8:
    return LinesInto::doubles;
  case Element::int4:
    return LinesInto::ints;
  default:
    return LinesInto::none;
  }
}

// The plan for the current table and version side, compiled when either changes.
const GroupPlan &current_plan() {
  ReaderState &r = reader();
  GroupPlan &plan = r.group_plan;
  const bool from_2 = r.format_version() >= 2;
  if (plan.table_set == r.written_set && plan.from_version_2 == from_2 && plan.size > 0)
    return plan;
  plan.table_set = r.written_set;
  plan.from_version_2 = from_2;
  plan.size = 0;
  plan.groups = 0;
  for (const GroupRead &row : group_reads()) {
    if (!version_holds(row.version, r.format_version())) continue;
    const recio::LineShape shape = recio::line_shape(*r.slot_format(row.slot));
    plan.step_of_group[row.group] = static_cast<uint8_t>(plan.size);
    plan.groups |= uint64_t{1} << row.group;
    plan.steps[plan.size++] = {&row, shape, lines_into(row, shape)};
  }
  return plan;
}

// Reads one row's `count` values: whole lines through the kernels while they
// fit, the rest through a read statement with the remaining count. Returns the
// statement's status (0 when the lines took every value).
int32_t read_group(recio::WholeLines &lines, const PlanStep &step, int32_t count) {
  const GroupRead &row = *step.row;
  const Destination &d = row.destination;
  const auto n = static_cast<size_t>(count);
  const bool fits = count <= d.bound;
  size_t done = 0;
  switch (step.lines) {
  case LinesInto::one_float:
    done = lines.read_into_one(step.shape, *static_cast<float *>(d.data), n);
    break;
  case LinesInto::floats:
    if (fits) done = lines.read(step.shape, static_cast<float *>(d.data), n);
    break;
  case LinesInto::doubles:
    if (fits) done = lines.read(step.shape, static_cast<double *>(d.data), n);
    break;
  case LinesInto::ints:
    if (fits) done = lines.read(step.shape, static_cast<int32_t *>(d.data), n);
    break;
  case LinesInto::none:
    break;
  }
  if (done == n) return 0;
  recio::ReadStatement read(kInputUnit, reader().slot_format(row.slot), recio::kErrorsAndEnd);
  read_elements(read, advanced(d, done), count - static_cast<int32_t>(done));
  const int32_t status = read.finish();
  if (status < 0 || (status > 0 && !row.ignores_errors)) note_group_stop(status, row.group, read);
  return status;
}

// The index entries from 0 to 63 whose count is at least 1, as bits. A byte
// for each first, which compilers vectorize; then eight bytes of 0 or 1 at
// a time become eight bits in the top byte of one product.
static_assert(std::endian::native == std::endian::little, "the bytes' order in a word");
uint64_t counted_entries(const std::array<int32_t, 81> &dfi) {
  uint8_t counted[64];
  for (size_t i = 0; i < 64; ++i)
    counted[i] = dfi[i] >= 1;
  uint64_t bits = 0;
  for (size_t i = 0; i < 64; i += 8) {
    uint64_t eight;
    std::memcpy(&eight, counted + i, 8);
    bits |= (eight * 0x0102040810204080) >> 56 << i;
  }
  return bits;
}

} // namespace

Outcome read_groups() {
  ReaderState &r = reader();
  const GroupPlan &plan = current_plan();
  recio::WholeLines lines(kInputUnit);
  // A group whose own count is below 1 reads nothing and takes no line; a
  // chain's later groups run only after its first.
  const uint64_t counted = counted_entries(r.dfi);
  const GroupRead *const rows = group_reads().data();
  for (uint64_t todo = plan.groups & counted; todo != 0; todo &= todo - 1) {
    const PlanStep &step = plan.steps[plan.step_of_group[std::countr_zero(todo)]];
    const GroupRead &row = *step.row;
    if ((counted >> row.guard & 1) == 0) continue;
    const int32_t count = r.dfi[row.group];
    // The row may store its first `count` elements: the next run clears them.
    int32_t &stored = r.rows_stored[static_cast<size_t>(&row - rows)];
    stored = std::max(stored, count);
    recio::set_statement(row.statement);
    const int32_t status = read_group(lines, step, count);
    if (status < 0) return Outcome::end_of_input;
    if (status > 0) {
      if (row.ignores_errors) continue;
      return Outcome::record_abandoned;
    }
    if (row.copy_statement != 0) copy_forms(row, count);
  }
  return Outcome::record_complete;
}

} // namespace sao
