// The yardstick must convert what it walks correctly and land on every
// record's first line, or the benchmark compares vornet with a pass that does
// less (or other) work.
#include "fixed_column_walk.h"
#include "sao_generator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

namespace {

TEST(FixedColumnWalk, IntegerFields) {
  struct Case {
    const char *text;
    size_t on_line; // characters of the field before the line ends
    int64_t value;
  } const cases[] = {
      {"  5", 3, 5}, {" -7", 3, -7}, {"+12", 3, 12}, {"999", 3, 999}, {"   ", 3, 0},
      {"-0", 2, 0},  {" 12", 2, 1},  {"", 0, 0},     {"0", 1, 0},     {"120", 3, 120},
  };
  for (const Case &c : cases)
    EXPECT_EQ(bench::fixed_int(c.text, c.on_line), c.value) << c.text;
}

TEST(FixedColumnWalk, RealFieldsAsWritten) {
  struct Case {
    const char *text;
    double value;
  } const cases[] = {
      {"   0.759", 0.759},
      {"9999.000", 9999.0},
      {"-38.154", -38.154},
      {" -.968", -0.968},
      {"+1.500", 1.5},
      {"        ", 0.0},
      {" 0.123456E+3", 123.456},
      {"-.123E-7", -0.123e-7},
      {"  0.123456789012E+15", 0.123456789012e15},
      {"  0.100000000000E-10", 0.1e-10},
      {" 90.123", 90.123}, // an F-form value in an E field
      {"0.5E+30", 0.5e30},
  };
  for (const Case &c : cases)
    EXPECT_DOUBLE_EQ(bench::fixed_real(c.text, std::char_traits<char>::length(c.text)), c.value)
        << c.text;
}

// Random fields of the widths the walk reads must convert to strtod's value,
// bit for bit, over the exponents the files hold (powers of ten up to 10^22).
TEST(FixedColumnWalk, RealFieldsMatchStrtod) {
  std::mt19937_64 rng(7);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto digits = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
      s += static_cast<char>('0' + pick(0, 9));
    return s;
  };
  struct Shape {
    int before, after, exponent_digits; // exponent_digits 0: an F field
  } const shapes[] = {{3, 3, 0}, {4, 3, 0}, {1, 3, 1}, {1, 6, 1}, {1, 12, 2}};
  for (const Shape &s : shapes) {
    for (int i = 0; i < 500; ++i) {
      std::string text;
      if (pick(0, 3) == 0) text += '-';
      text += digits(pick(0, s.before));
      text += '.';
      text += digits(s.after);
      if (s.exponent_digits > 0) {
        text += 'E';
        text += pick(0, 1) ? '+' : '-';
        // Two-digit exponents up to 10, as the files hold them.
        text += s.exponent_digits == 1 ? digits(1)
                : pick(0, 1)           ? std::string("10")
                                       : "0" + digits(1);
      }
      EXPECT_EQ(bench::fixed_real(text.data(), text.size()), std::strtod(text.c_str(), nullptr))
          << text;
    }
  }
}

std::string index_line(int first, const std::array<int32_t, 81> &dfi) {
  std::string s;
  char field[8];
  for (int k = first; k < first + 40; ++k) {
    std::snprintf(field, sizeof field, "%3d", dfi[static_cast<size_t>(k)]);
    s += field;
  }
  return s;
}

double text_sum(const std::string &s) {
  double sum = 0;
  for (unsigned char c : s)
    sum += c;
  return sum;
}

// One small record by hand: every value of it is known, so the sum shows that
// each group went through the right columns.
TEST(FixedColumnWalk, HandBuiltRecord) {
  std::array<int32_t, 81> dfi{};
  dfi[1] = 2;  // F7.3
  dfi[2] = 1;  // one A120 line
  dfi[3] = 19; // A1
  dfi[5] = 3;  // I2
  dfi[37] = 2; // E11.6E1
  dfi[40] = 1; // E20.12
  dfi[51] = 1; // E8.3E1, then one empty line each for groups 52 and 53
  dfi[80] = 2;
  const std::string description = "DPS-4D station";
  const std::string stamp = "FE20210320201093000";
  const std::string lines[] = {
      index_line(1, dfi),
      index_line(41, dfi),
      "  1.500 -0.250",
      description,
      stamp,
      " 1 2 3",
      "0.100000E+1-.200000E+2",
      "  0.500000000000E+00",
      "0.125E+2",
      "",
      "",
  };
  bench::WalkResult r;
  bench::FixedColumnWalker walker(r);
  for (int pass = 0; pass < 2; ++pass) // two records: the walk is back on an index
    for (const std::string &line : lines)
      walker.line(line.data(), line.size());

  EXPECT_EQ(r.lines, 22u);
  EXPECT_EQ(r.records, 2u);
  EXPECT_EQ(r.fields, 2u * (2 + 1 + 19 + 3 + 2 + 1 + 1));
  const double one = 1.25 + text_sum(description) + text_sum(stamp) + 6 - 19 + 0.5 + 12.5;
  EXPECT_DOUBLE_EQ(r.checksum, 2 * one);
}

TEST(FixedColumnWalk, SkipsRecordWhoseGroupOneCountIsOutOfRange) {
  std::array<int32_t, 81> dfi{};
  dfi[1] = 17;
  dfi[80] = 2;
  const std::string first = index_line(1, dfi), second = index_line(41, dfi);
  bench::WalkResult r;
  bench::FixedColumnWalker walker(r);
  walker.line(first.data(), first.size());
  walker.line(second.data(), second.size());
  walker.line(first.data(), first.size()); // read as the next index at once
  walker.line(second.data(), second.size());
  EXPECT_EQ(r.records, 0u);
  EXPECT_EQ(r.fields, 0u);
}

// Generated files of every version and line end, read through buffers that cut
// lines at many places: every record found, every line counted, and the same
// sum whatever the buffer.
TEST(FixedColumnWalk, GeneratedFilesThroughAnyBuffer) {
  struct Variant {
    int version;
    saogen::LineEnds ends;
  } const variants[] = {{2, saogen::LineEnds::crlf},
                        {2, saogen::LineEnds::lf},
                        {4, saogen::LineEnds::mixed},
                        {5, saogen::LineEnds::crlf}};
  const std::string path = testing::TempDir() + "fixed_column_walk_test.sao";
  for (const Variant &v : variants) {
    saogen::GeneratorOptions g;
    g.records = 40;
    g.seed = static_cast<uint64_t>(v.version) * 10 + static_cast<uint64_t>(v.ends);
    g.format_version = v.version;
    g.line_ends = v.ends;
    saogen::GenerationSummary summary;
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      summary = saogen::generate(g, out);
    }
    double checksum = 0;
    for (size_t buffer : {size_t{61}, size_t{4096}, size_t{256 * 1024}}) {
      const bench::WalkResult r = bench::walk_sao_file(path, buffer);
      SCOPED_TRACE("version " + std::to_string(v.version) + ", buffer " + std::to_string(buffer));
      EXPECT_EQ(r.bytes, summary.bytes);
      EXPECT_EQ(r.lines, summary.lines);
      EXPECT_EQ(r.records, summary.records);
      EXPECT_GT(r.fields, 40u * 500);
      if (buffer == 61) checksum = r.checksum;
      EXPECT_EQ(r.checksum, checksum);
    }
  }
  std::remove(path.c_str());
}

TEST(FixedColumnWalk, MissingFileIsReported) {
  EXPECT_THROW(bench::walk_sao_file("/nonexistent/input.sao", 4096), std::runtime_error);
}

} // namespace
