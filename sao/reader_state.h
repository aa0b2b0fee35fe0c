// The SAO reader's storage: one owner for the whole run. Nothing is cleared
// between records; numbers start at zero, texts and format slots at NULs.
#pragma once

#include "recio/format.h"
#include "sao/group_plan.h"
#include "sao/pass_facts.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace sao {

// The input unit every read of the SAO file goes to.
inline constexpr int32_t kInputUnit = 1;
// The list file unit.
inline constexpr int32_t kListUnit = 20;

inline constexpr size_t kSlotLength = 12;
inline constexpr size_t kTimeStampTextLength = 200;

// Groups 4 to 60. Arrays are indexed from 0: element i of a group is [i - 1].
struct GroupStore {
  std::array<float, 120> group4_reals{};
  std::array<int32_t, 60> group5_ints{};
  std::array<float, 16> group6_reals{};
  std::array<float, 400> group7_reals{};
  std::array<int32_t, 400> group7_ints{};
  std::array<float, 1000> group8_reals{};
  std::array<int32_t, 400> group8_ints{};
  std::array<int32_t, 400> group9_ints{};
  std::array<int32_t, 400> group10_ints{};
  std::array<float, 400> group11_reals{};
  std::array<float, 999> group12_reals{};
  std::array<int32_t, 999> group12_ints{};
  std::array<float, 1000> group13_reals{};
  std::array<int32_t, 999> group13_ints{};
  std::array<int32_t, 999> group14_ints{};
  std::array<int32_t, 999> group15_ints{};
  std::array<float, 999> group16_reals{};
  std::array<float, 999> group17_reals{};
  std::array<int32_t, 999> group17_ints{};
  std::array<float, 1000> group18_reals{};
  std::array<int32_t, 999> group18_ints{};
  std::array<int32_t, 999> group19_ints{};
  std::array<int32_t, 999> group20_ints{};
  std::array<float, 999> group21_reals{};
  std::array<float, 400> group22_reals{};
  std::array<int32_t, 400> group22_ints{};
  std::array<int32_t, 400> group23_ints{};
  std::array<int32_t, 400> group24_ints{};
  std::array<float, 400> group25_reals{};
  std::array<float, 999> group26_reals{};
  std::array<int32_t, 999> group26_ints{};
  std::array<int32_t, 999> group27_ints{};
  std::array<int32_t, 999> group28_ints{};
  std::array<float, 999> group29_reals{};
  std::array<float, 999> group30_reals{};
  std::array<int32_t, 999> group30_ints{};
  std::array<int32_t, 999> group31_ints{};
  std::array<int32_t, 999> group32_ints{};
  std::array<float, 999> group33_reals{};
  std::array<int32_t, 20> group34_ints{};
  std::array<int32_t, 20> group35_ints{};
  std::array<int32_t, 20> group36_ints{};
  std::array<float, 20> group37_reals{};
  std::array<float, 20> group38_reals{};
  std::array<float, 20> group39_reals{};
  std::array<float, 20> group40_reals{}; // also group 42
  std::array<double, 121> group40_doubles{};
  std::array<int32_t, 120> group41_ints{};
  std::array<float, 999> group43_reals{};
  std::array<int32_t, 999> group43_ints{};
  std::array<int32_t, 999> group44_ints{};
  std::array<int32_t, 999> group45_ints{};
  std::array<float, 999> group46_reals{};
  std::array<float, 999> group47_reals{};
  std::array<int32_t, 999> group48_ints{};
  std::array<int32_t, 999> group49_ints{};
  std::array<float, 999> group50_reals{};
  std::array<float, 999> group51_reals{};
  std::array<float, 999> group52_reals{};
  float chain_scratch = 0; // every value of groups 53 and 60
  std::array<char, 120> group54_chars{};
  std::array<char, 120> group55_chars{};
  std::array<int32_t, 120> group56_ints{};
  std::array<float, 20> group57_reals{};
  std::array<float, 999> group58_reals{};
  std::array<float, 999> group59_reals{};
};

// What a record writes before its groups, and the index carried between
// records: small, so a new run clears it whole.
struct RecordHead {
  std::array<int32_t, 81> dfi{}; // DFI(1) to DFI(80); [0] unused
  // DFI(1) to DFI(40) already hold the next index's first line: the second
  // line of a rejected index, read and carried over instead of read again.
  bool index_first_line_carried = false;
  std::array<std::array<char, kSlotLength>, 13> slots{}; // slots 1 to 12; [0] unused
  std::array<float, 16> group1_reals{};
  std::array<char, 120> group2_first_line{};
  std::array<char, 120> group2_second_line{};
  std::array<char, 120> time_stamp_chars{};
  std::array<char, kTimeStampTextLength> time_stamp_text{};
  PassFacts pass; // the pass under way, or the last one
};

struct ReaderState : RecordHead {
  GroupStore groups;
  // For each row of the group table, how many leading elements of its
  // storage (and of the other form it is copied to) this run may have
  // written: a new run clears those alone instead of the whole store.
  std::array<int32_t, 68> rows_stored{};

  // The parsed form of each slot, bound when the slot is written (or, for a
  // slot never written, at its first use), so a read does not look its text
  // up again. The set of slot texts last written: -1 none yet, 0, 1, or 2 for
  // every version from 2 on.
  std::array<recio::FormatHandle, 13> slot_formats;
  int32_t written_set = -1;
  // The group reads compiled for the table and the version side in use.
  GroupPlan group_plan;

  int32_t format_version() const { return dfi[80]; }
  std::string_view slot(int n) const { return {slots[n].data(), kSlotLength}; }
  const recio::FormatHandle &slot_format(int n) {
    if (!slot_formats[n]) slot_formats[n] = recio::cached_format(slot(n));
    return slot_formats[n];
  }
};

ReaderState &reader();
// The facts of the record loop's current (or last) pass.
inline const PassFacts &pass_facts() { return reader().pass; }
// Back to the state at the start of a run (numbers zero, texts and slots
// NULs), for the next run in the same process. Costs what the last run wrote.
void reset_reader();

} // namespace sao
