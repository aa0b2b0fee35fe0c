// The lanes that check their own groups of fields as they convert them, with
// no block classified first: a field that breaks a group anywhere, every
// byte value in every column, and bytes after the run that look like more
// fields. At every level the fields taken are the portable level's, and
// each converts as the one-field path converts it.
#include "kernel_check.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace kernel_check;

// The descriptors of the format table, and wider fields whose groups span
// three and four vectors.
std::vector<Descriptor> descriptors() {
  std::vector<Descriptor> all(std::begin(kDescriptors), std::end(kDescriptors));
  all.push_back({"F12.8", 'F', 12, 8, 0});
  all.push_back({"F16.8", 'F', 16, 8, 0});
  all.push_back({"E18.10", 'E', 18, 10, 2});
  return all;
}

std::vector<std::string> canonical_run(const Descriptor &d, size_t n, std::mt19937_64 &rng) {
  std::vector<std::string> fields(n);
  for (std::string &f : fields) f = canonical_field(d, rng);
  return fields;
}

// Takes `fields` at every level; all must take what the portable level takes.
size_t take_everywhere(const Descriptor &d, const std::vector<std::string> &fields,
                       const std::string &after = "") {
  size_t first = 0;
  for (const Level &level : levels()) {
    const size_t taken = check_run(level, d, fields, after);
    if (&level == &levels().front()) first = taken;
    EXPECT_EQ(taken, first) << level.name << " " << d.name;
  }
  return first;
}

// A byte no column takes, in any column of any field of runs of every
// length up to well past a group: the run ends exactly there.
TEST(LaneGroups, AFieldBreaksTheRunWhereverItStands) {
  std::mt19937_64 rng(616);
  for (const Descriptor &d : descriptors()) {
    for (size_t n = 1; n <= 20; ++n) {
      const std::vector<std::string> fields = canonical_run(d, n, rng);
      for (size_t bad = 0; bad < n; ++bad) {
        std::vector<std::string> broken = fields;
        broken[bad][rng() % broken[bad].size()] = rng() % 2 ? 'x' : '\xb0';
        const size_t taken = take_everywhere(d, broken);
        if (d.letter != 'E') {
          EXPECT_EQ(taken, bad) << d.name << " x" << n << " @" << bad;
        } else {
          EXPECT_LE(taken, bad) << d.name << " x" << n << " @" << bad;
        }
      }
    }
  }
}

// Every byte that shares a nibble with a character of the fields, with and
// without its high bit, in every column of a field of the second group.
TEST(LaneGroups, EveryByteValueInEveryColumn) {
  std::string bytes = std::string("\0\x0b\x10\x55\x7f\xff", 6);
  for (int c = 0x20; c < 0x50; ++c) {
    bytes += static_cast<char>(c);
    bytes += static_cast<char>(c | 0x80);
  }
  std::mt19937_64 rng(255);
  for (const Descriptor &d : descriptors()) {
    if (d.width < 6) continue;
    for (int column = 0; column < d.width; ++column) {
      for (char b : bytes) {
        std::vector<std::string> fields = canonical_run(d, 13, rng);
        fields[9][static_cast<size_t>(column)] = b;
        take_everywhere(d, fields);
      }
    }
  }
}

// Bytes after the run that continue it with more canonical fields: no level
// takes, or writes, a value past the run's last field.
TEST(LaneGroups, RunsEndWhereTheyEndNotWhereTheBytesDo) {
  std::mt19937_64 rng(64);
  for (const Descriptor &d : descriptors()) {
    for (size_t n = 1; n <= 20; ++n) {
      std::string after;
      while (after.size() < 64) after += canonical_field(d, rng);
      const size_t taken = take_everywhere(d, canonical_run(d, n, rng), after);
      if (d.letter != 'E') {
        EXPECT_EQ(taken, n) << d.name << " x" << n;
      }
    }
  }
}

} // namespace
