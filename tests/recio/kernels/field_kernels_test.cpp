// The field kernels against the one-field conversion, at every kernel level
// this build can run here, natively or emulated: a field a kernel takes must
// convert bit for bit as the one-field path converts it, and a kernel must
// stop at (never past) a field that is not canonical.
#include "kernel_check.h"

#include "recio/kernels/exact_quotient.h"

#include <gtest/gtest.h>

#include <bit>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace kernel_check;

class FieldKernels : public ::testing::TestWithParam<Descriptor> {};

// Runs of canonical fields are taken whole, in blocks of every length.
TEST_P(FieldKernels, CanonicalRunsAreTakenWhole) {
  const Descriptor d = GetParam();
  std::mt19937_64 rng(1234 + static_cast<unsigned>(d.width));
  for (const Level &level : levels()) {
    for (int trial = 0; trial < 300; ++trial) {
      std::vector<std::string> fields(static_cast<size_t>(trial % 70 + 1));
      for (std::string &f : fields) f = canonical_field(d, rng);
      const size_t taken = check_run(level, d, fields);
      // E fields whose power of ten is not exact go to the one-field path.
      if (d.letter != 'E') {
        ASSERT_EQ(taken, fields.size()) << level.name;
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
      for (const Level &level : levels()) {
        const size_t taken = check_run(level, d, fields);
        if (&level == &levels().front()) first = taken;
        EXPECT_EQ(taken, first) << level.name << " " << d.name << " column " << column << " byte " << int(b);
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
    for (const Level &level : levels()) {
      const size_t taken = check_run(level, d, fields);
      if (&level == &levels().front()) first = taken;
      ASSERT_EQ(taken, first) << level.name << " " << d.name;
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
    for (const Level &level : levels()) check_run(level, c.d, {c.field, c.field});
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
