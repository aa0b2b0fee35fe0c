// The field kernels against the one-field conversion, at every kernel level
// this processor runs: a field a kernel takes must convert bit for bit as the
// one-field path converts it, and a kernel must stop at (never past) a field
// that is not canonical.
#include "recio/kernels/field_kernels.h"
#include "recio/kernels/exact_quotient.h"
#include "recio/real_conversion.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using recio::KernelLevel;

struct Descriptor {
  const char *name;
  char letter; // I, F or E
  int width;
  int digits;
  int exponent_digits; // E only
};

void PrintTo(const Descriptor &d, std::ostream *os) { *os << d.name; }

// Every descriptor the format table reads numbers with.
constexpr Descriptor kDescriptors[] = {
    {"I1", 'I', 1, 0, 0},         {"I2", 'I', 2, 0, 0},         {"I3", 'I', 3, 0, 0},
    {"F6.3", 'F', 6, 3, 0},       {"F7.3", 'F', 7, 3, 0},       {"F8.3", 'F', 8, 3, 0},
    {"E8.3E1", 'E', 8, 3, 1},     {"E9.4E1", 'E', 9, 4, 1},     {"E11.6E1", 'E', 11, 6, 1},
    {"E20.12", 'E', 20, 12, 2},
};

std::vector<KernelLevel> levels() {
  std::vector<KernelLevel> v;
  for (KernelLevel l : {KernelLevel::portable, KernelLevel::avx2, KernelLevel::avx512})
    if (recio::kernel_level_supported(l)) v.push_back(l);
  return v;
}

// What the one-field path makes of a field with no line end, comma or
// Ctrl-Z in it: its characters, blanks and tabs passed over.
struct Reference {
  bool ok = false;
  int32_t i = 0;
  float f = 0;
  double d = 0;
};

Reference reference(const Descriptor &desc, const std::string &field) {
  Reference r;
  recio::ErrorCode error;
  if (desc.letter == 'I') {
    recio::IntegerAccumulator acc;
    for (char c : field)
      if (c != ' ' && c != '\t') acc.add(c);
    r.ok = acc.finish(r.i, error);
    return r;
  }
  recio::RealAccumulator acc(desc.digits);
  for (char c : field)
    if (c != ' ' && c != '\t') acc.add(c);
  r.ok = acc.finish_double(r.d, error) && acc.finish_float(r.f, error);
  return r;
}

// A canonical field of the descriptor, random digits and sign.
std::string canonical_field(const Descriptor &d, std::mt19937_64 &rng) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto digits = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + pick(0, 9));
    return s;
  };
  std::string tail;
  int room = d.width;
  if (d.letter == 'E') {
    tail = std::string("E") + (pick(0, 1) ? "+" : "-") + digits(d.exponent_digits);
    room -= static_cast<int>(tail.size());
  }
  if (d.letter != 'I') {
    tail = "." + digits(d.digits) + tail;
    room -= d.digits + 1;
  }
  const int lead = room > 0 ? pick(0, room) : 0; // digits before the point
  std::string head = digits(lead);
  if (pick(0, 3) == 0 && static_cast<int>(head.size()) < room) head = (pick(0, 1) ? "-" : "+") + head;
  if (pick(0, 7) == 0 && !head.empty() && head.back() != '-' && head.back() != '+')
    head = std::string(head.size(), '0'); // zero, with or without a sign: -0.0 included
  return std::string(static_cast<size_t>(room) - head.size(), ' ') + head + tail;
}

// The fields as one run in a buffer with the padding the kernels may read.
struct Run {
  std::string bytes;
  explicit Run(const std::vector<std::string> &fields) {
    for (const std::string &f : fields) bytes += f;
    bytes.append(recio::kKernelPadding, '\0');
  }
  const char *data() const { return bytes.data(); }
};

// Runs the kernel of `d` over the fields at `level` and checks every field it
// took against the reference; returns how many it took.
size_t check_run(KernelLevel level, const Descriptor &d, const std::vector<std::string> &fields) {
  const Run run(fields);
  const size_t n = fields.size();
  size_t taken = 0;
  std::vector<int32_t> ints(n, 0x5A5A5A5A);
  std::vector<float> floats(n, -7.0f);
  std::vector<double> doubles(n, -7.0);
  if (d.letter == 'I') {
    taken = recio::convert_int_run(level, run.data(), n, d.width, ints.data());
  } else {
    taken = recio::convert_real_run(level, run.data(), n, d.width, d.digits, floats.data(), 1);
    const size_t taken_double =
        recio::convert_real_run(level, run.data(), n, d.width, d.digits, doubles.data(), 1);
    EXPECT_EQ(taken, taken_double) << d.name;
    // Every value into one variable: the same fields taken, the last one kept.
    float one = -7.0f;
    EXPECT_EQ(recio::convert_real_run(level, run.data(), n, d.width, d.digits, &one, 0), taken);
    if (taken > 0) {
      EXPECT_EQ(std::bit_cast<uint32_t>(one), std::bit_cast<uint32_t>(floats[taken - 1])) << d.name;
    }
  }
  EXPECT_LE(taken, n);
  for (size_t i = 0; i < n; ++i) {
    const std::string &f = fields[i];
    if (i >= taken) {
      // Not written past the run's end.
      if (d.letter == 'I') {
        EXPECT_EQ(ints[i], 0x5A5A5A5A) << d.name << " [" << f << "]";
      } else {
        EXPECT_EQ(floats[i], -7.0f) << d.name << " [" << f << "]";
      }
      continue;
    }
    EXPECT_EQ(f.find_first_of(std::string("\t,\r\n\x1a\0", 6)), std::string::npos)
        << d.name << " took [" << f << "]";
    const Reference r = reference(d, f);
    EXPECT_TRUE(r.ok) << d.name << " took a field the one-field path rejects: [" << f << "]";
    if (d.letter == 'I') {
      EXPECT_EQ(ints[i], r.i) << d.name << " [" << f << "]";
    } else {
      EXPECT_EQ(std::bit_cast<uint32_t>(floats[i]), std::bit_cast<uint32_t>(r.f))
          << d.name << " [" << f << "]";
      EXPECT_EQ(std::bit_cast<uint64_t>(doubles[i]), std::bit_cast<uint64_t>(r.d))
          << d.name << " [" << f << "]";
    }
  }
  return taken;
}

class FieldKernels : public ::testing::TestWithParam<Descriptor> {};

// Runs of canonical fields are taken whole, in blocks of every length.
TEST_P(FieldKernels, CanonicalRunsAreTakenWhole) {
  const Descriptor d = GetParam();
  std::mt19937_64 rng(1234 + static_cast<unsigned>(d.width));
  for (KernelLevel level : levels()) {
    for (int trial = 0; trial < 300; ++trial) {
      std::vector<std::string> fields(static_cast<size_t>(trial % 70 + 1));
      for (std::string &f : fields) f = canonical_field(d, rng);
      const size_t taken = check_run(level, d, fields);
      // E fields whose power of ten is not exact go to the one-field path.
      if (d.letter != 'E') {
        ASSERT_EQ(taken, fields.size()) << recio::kernel_level_name(level);
      }
    }
  }
}

// Every byte class at every column of a field in the middle of a run: the
// kernel stops there or converts exactly, and all levels agree.
TEST_P(FieldKernels, EveryByteAtEveryColumn) {
  const Descriptor d = GetParam();
  std::mt19937_64 rng(99);
  const std::string bytes = std::string(" \t,\r\n\x1a\0+-.0159EeDdx#\x7f\xff", 23);
  for (int column = 0; column < d.width; ++column) {
    for (char b : bytes) {
      std::vector<std::string> fields;
      for (int i = 0; i < 5; ++i) fields.push_back(canonical_field(d, rng));
      fields[2][static_cast<size_t>(column)] = b;
      size_t first = 0;
      for (KernelLevel level : levels()) {
        const size_t taken = check_run(level, d, fields);
        if (level == KernelLevel::portable) first = taken;
        EXPECT_EQ(taken, first) << d.name << " column " << column << " byte " << int(b);
      }
    }
  }
}

// Random bytes drawn from the characters fields are made of.
TEST_P(FieldKernels, RandomBytesAgreeWithTheOneFieldPath) {
  const Descriptor d = GetParam();
  std::mt19937_64 rng(4242);
  const std::string alphabet = "          0123456789000+-..EE";
  for (int trial = 0; trial < 3000; ++trial) {
    std::vector<std::string> fields(8);
    for (std::string &f : fields) {
      f = canonical_field(d, rng);
      if (trial % 2 == 0) f[rng() % f.size()] = alphabet[rng() % alphabet.size()];
    }
    size_t first = 0;
    for (KernelLevel level : levels()) {
      const size_t taken = check_run(level, d, fields);
      if (level == KernelLevel::portable) first = taken;
      ASSERT_EQ(taken, first) << d.name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Descriptors, FieldKernels, ::testing::ValuesIn(kDescriptors),
                         [](const auto &info) {
                           std::string name = info.param.name;
                           for (char &c : name)
                             if (c == '.') c = '_';
                           return name;
                         });

// Fields at the edges of exact conversion: each is either taken with the
// one-field path's value or left to it.
TEST(FieldKernelEdges, BoundaryFields) {
  struct Case {
    Descriptor d;
    const char *field;
  };
  const Case cases[] = {
      {kDescriptors[9], "  0.340282346600E+39"}, // the 4-byte limit: past the exact range
      {kDescriptors[9], "  0.340282346638E+39"},
      {kDescriptors[9], "  0.922337203685E+19"}, // about 2^63
      {kDescriptors[9], " -0.922337203685E+19"},
      {kDescriptors[9], "  0.999999999999E+10"},
      {kDescriptors[9], "  0.100000000000E-10"}, // power of ten -22: still exact
      {kDescriptors[9], "  0.100000000000E-11"}, // -23: left to the one-field path
      {kDescriptors[9], "  0.494065645841E-99"},
      {kDescriptors[9], " -0.000000000000E+00"},
      {kDescriptors[6], "0.999E+9"},
      {kDescriptors[6], "-.999E-9"},
      {kDescriptors[8], "-.272544E+3"},
      {kDescriptors[5], "  -0.000"},
      {kDescriptors[5], "9999.999"},
      {kDescriptors[5], "-999.999"},
      {kDescriptors[5], "    .500"},
      {kDescriptors[5], "   -.500"},
      {kDescriptors[2], "  -"},
      {kDescriptors[2], "  +"},
      {kDescriptors[2], "   "},
      {kDescriptors[2], "-99"},
      {kDescriptors[0], "-"},
  };
  for (const Case &c : cases)
    for (KernelLevel level : levels()) check_run(level, c.d, {c.field, c.field});
}

} // namespace

namespace {

// The lanes divide a fixed-point mantissa of up to seven digits by its power
// of ten with two fused multiply-adds; every such quotient must be the
// division's, bit for bit.
TEST(ExactQuotient, EveryMantissaOfSevenDigitsByEveryPower) {
  using namespace recio::kernels;
  for (int k = 1; k <= kMaxQuotientDigits; ++k) {
    int64_t wrong = 0;
    for (int64_t m = 0; m < 10'000'000; ++m) {
      const auto d = static_cast<double>(m);
      const double q = quotient_by_power_of_ten(d, k);
      const double want = d / kPowersOfTen[k];
      wrong += std::bit_cast<uint64_t>(q) != std::bit_cast<uint64_t>(want);
    }
    EXPECT_EQ(wrong, 0) << "10^" << k;
  }
}

} // namespace
