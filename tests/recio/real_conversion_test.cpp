// Decimal to binary conversion of real fields, checked against the C
// library's correctly rounded strtod: bit for bit for 8-byte reals, and for
// 4-byte reals the nearest double rounded again to the nearest float.
#include "recio/error_codes.h"
#include "recio/field_input.h"
#include "recio/real_conversion.h"
#include "recio/units.h"
#include "support/runtime_fixture.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

struct Converted {
  bool ok;
  double d;
  float f;
  bool float_ok;
};

Converted convert(std::string_view text, int32_t implied = 0) {
  recio::RealAccumulator acc(implied);
  for (char c : text)
    acc.add(c);
  Converted r{};
  recio::ErrorCode error;
  r.ok = acc.finish_double(r.d, error);
  r.float_ok = acc.finish_float(r.f, error);
  return r;
}

// The reference reading of a text that strtod understands.
struct Reference {
  bool ok;
  double d;
  bool float_ok;
  float f;
};

Reference reference(const std::string &text) {
  Reference r{};
  r.d = std::strtod(text.c_str(), nullptr);
  r.ok = std::isfinite(r.d);
  r.float_ok = r.ok && std::fabs(r.d) <= 3.402823466e38;
  r.f = static_cast<float>(r.d);
  return r;
}

void expect_same(std::string_view text, const Converted &got, const Reference &want) {
  ASSERT_EQ(got.ok, want.ok) << text;
  if (want.ok) {
    ASSERT_EQ(std::bit_cast<uint64_t>(got.d), std::bit_cast<uint64_t>(want.d))
        << text << "\n got " << got.d << " want " << want.d;
  }
  ASSERT_EQ(got.float_ok, want.float_ok) << text;
  if (want.float_ok) {
    ASSERT_EQ(std::bit_cast<uint32_t>(got.f), std::bit_cast<uint32_t>(want.f))
        << text << "\n got " << got.f << " want " << want.f;
  }
}

// Random fields: 1 to 40 digits (leading zeros now and then), a point
// anywhere or none (then the implied fraction counts), an exponent letter of
// either kind and case or a bare sign, and magnitudes from below the smallest
// subnormal to above the largest double.
TEST(RealConversion, RandomFieldsMatchTheReference) {
  std::mt19937_64 rng(20240305);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const char *letters[] = {"E", "e", "D", "d", ""};
  for (int n = 0; n < 200000; ++n) {
    const int length = uniform(1, 40);
    std::string digits;
    for (int i = 0; i < length; ++i)
      digits += static_cast<char>('0' + uniform(0, 9));
    if (uniform(0, 9) == 0) digits.insert(0, std::string(uniform(1, 30), '0'));
    const bool point = uniform(0, 3) != 0;
    const int point_at = point ? uniform(0, static_cast<int>(digits.size())) : 0;
    const int implied = point ? 0 : uniform(0, 12);
    const int before = point ? point_at : static_cast<int>(digits.size());
    // Decimal magnitude of the value: mostly the whole range, sometimes small.
    const int magnitude = uniform(0, 3) == 0 ? uniform(-25, 25) : uniform(-345, 312);
    const int exponent = magnitude - before;
    const char *letter = letters[uniform(0, 4)];
    const bool negative = uniform(0, 1) == 1;

    std::string field = negative ? "-" : (uniform(0, 1) ? "+" : "");
    std::string ref = negative ? "-" : "";
    if (point) {
      const std::string m = digits.substr(0, point_at) + "." + digits.substr(point_at);
      field += m;
      ref += m;
    } else {
      field += digits;
      ref += digits;
    }
    const int shown = exponent == 0 && uniform(0, 1) ? INT32_MIN : exponent;
    if (shown != INT32_MIN) {
      // A bare sign needs a signed exponent; a letter may have none on a positive one.
      const bool sign_needed = *letter == '\0' || exponent < 0 || uniform(0, 1);
      field += letter;
      field += sign_needed ? (exponent < 0 ? "-" : "+") : "";
      field += std::to_string(std::abs(exponent));
    }
    ref += "e" + std::to_string((shown == INT32_MIN ? 0 : exponent) - implied);
    expect_same(field, convert(field, implied), reference(ref));
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// The long-digit fallback takes the C library's strtod where it took the C++
// library's from_chars: both round correctly; over the whole range,
// subnormals included, they agree bit for bit, and what from_chars calls out
// of range is what strtod rounds to infinity or to zero.
TEST(RealConversion, TheFallbackAgreesWithFromChars) {
  std::mt19937_64 rng(20261209);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int n = 0; n < 100000; ++n) {
    std::string text(1, static_cast<char>('1' + uniform(0, 8)));
    text += '.';
    for (int i = uniform(15, 60); i > 0; --i) text += static_cast<char>('0' + uniform(0, 9));
    text += "e" + std::to_string(uniform(-345, 310));
    double from_chars = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), from_chars,
                                   std::chars_format::scientific);
    const double from_strtod = std::strtod(text.c_str(), nullptr);
    const Converted ours = convert(text);
    if (r.ec == std::errc::result_out_of_range) {
      ASSERT_TRUE(std::isinf(from_strtod) || from_strtod == 0) << text;
      ASSERT_EQ(ours.ok, from_strtod == 0) << text;
    } else {
      ASSERT_EQ(std::bit_cast<uint64_t>(from_chars), std::bit_cast<uint64_t>(from_strtod)) << text;
      ASSERT_TRUE(ours.ok) << text;
      ASSERT_EQ(std::bit_cast<uint64_t>(ours.d), std::bit_cast<uint64_t>(from_chars)) << text;
    }
  }
}

// Digits that start like the extremes of both kinds, followed by random ones.
TEST(RealConversion, FieldsNearTheLimitsOfBothKinds) {
  struct Edge {
    const char *prefix; // digits of d.ddd...
    int exponent;
  };
  const Edge edges[] = {
      {"17976931348623157", 308},
      {"17976931348623158", 308},
      {"1797693134862315807", 308},
      {"17976931348623159", 308},
      {"22250738585072011", -308},
      {"22250738585072014", -308},
      {"4940656458412465", -324},
      {"2470328229206232", -324},
      {"2470328229206233", -324},
      {"24703282292062327", -324},
      {"34028234663852886", 38},
      {"3402823466", 38},
      {"34028235677973366", 38},
      {"11754943508222875", -38},
      {"1401298464324817", -45},
      {"7006492321624085", -46},
      {"1", -324},
      {"9", -325},
  };
  std::mt19937_64 rng(7);
  for (const Edge &e : edges) {
    for (int n = 0; n < 400; ++n) {
      std::string field = std::string(e.prefix, 1) + "." + (e.prefix + 1);
      const int tail = static_cast<int>(rng() % 25);
      for (int i = 0; i < tail; ++i)
        field += static_cast<char>('0' + rng() % 10);
      field += "E" + std::to_string(e.exponent);
      expect_same(field, convert(field), reference(field));
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

// The mantissa text of a printed number, without its exponent part.
std::pair<std::string, std::string> split_exponent(const std::string &printed) {
  const size_t e = printed.find('e');
  return {printed.substr(0, e), printed.substr(e)};
}

// Ties between neighbouring doubles: the exact decimal midpoint rounds to the
// even neighbour; one non-zero digit far beyond the 800th significant digit
// decides for the upper one, and the midpoint made a hair smaller (its last
// non-zero digit lowered by one, then nines) for the lower one.
TEST(RealConversion, DoubleMidpointsRoundToEvenUnlessADigitFarRightDecides) {
  std::mt19937_64 rng(42);
  static char printed[4096];
  for (int n = 0; n < 3000; ++n) {
    double a;
    do {
      uint64_t bits = rng() & 0x7FFFFFFFFFFFFFFFull;
      if (n % 5 == 0) bits &= 0x000FFFFFFFFFFFFFull; // subnormals
      a = std::bit_cast<double>(bits);
    } while (!std::isfinite(a) || a == DBL_MAX);
    const double b = std::nextafter(a, INFINITY);
    const long double mid = (static_cast<long double>(a) + b) / 2; // exact in 64 bits
    const double even = (std::bit_cast<uint64_t>(a) & 1) == 0 ? a : b;

    std::snprintf(printed, sizeof printed, "%.1200Le", mid); // exact, zeros at the end
    auto [mantissa, exponent] = split_exponent(printed);
    const size_t last = mantissa.find_last_not_of('0');
    if (mantissa[last] == '.') continue; // a power of ten: no digit to lower
    ASSERT_LT(last, 800u) << "the midpoint needs more digits than a field keeps";

    const std::string exact = mantissa.substr(0, last + 1) + exponent;
    std::string above = mantissa;
    above.back() = '1';
    above += exponent;
    std::string below = mantissa.substr(0, last) + static_cast<char>(mantissa[last] - 1) +
                        std::string(mantissa.size() - last - 1, '9');
    below += exponent;

    struct Tie {
      const std::string &text;
      double expected;
    };
    for (const Tie &t : {Tie{exact, even}, Tie{above, b}, Tie{below, a}}) {
      const Converted got = convert(t.text);
      ASSERT_TRUE(got.ok) << t.text;
      ASSERT_EQ(std::bit_cast<uint64_t>(got.d), std::bit_cast<uint64_t>(t.expected)) << t.text;
      expect_same(t.text, got, reference(t.text));
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

// Ties between neighbouring floats are exact doubles. A 4-byte destination
// rounds twice, so a digit far beyond the midpoint does not move the result
// off the even float: the nearest double is the midpoint itself.
TEST(RealConversion, FloatMidpointsRoundTwice) {
  std::mt19937 rng(99);
  static char printed[2048];
  for (int n = 0; n < 3000; ++n) {
    float f;
    do {
      uint32_t bits = rng() & 0x7FFFFFFFu;
      if (n % 5 == 0) bits &= 0x007FFFFFu;
      f = std::bit_cast<float>(bits);
    } while (!std::isfinite(f) || f == FLT_MAX);
    const float g = std::nextafter(f, INFINITY);
    const double mid = (static_cast<double>(f) + g) / 2;
    const float even = (std::bit_cast<uint32_t>(f) & 1) == 0 ? f : g;

    std::snprintf(printed, sizeof printed, "%.900e", mid);
    auto [mantissa, exponent] = split_exponent(printed);
    const size_t last = mantissa.find_last_not_of('0');
    const std::string exact = mantissa.substr(0, last + 1) + exponent;
    std::string above = mantissa;
    above.back() = '1';
    above += exponent;
    std::snprintf(printed, sizeof printed, "%.17g", mid);
    const std::string short_form = printed;

    for (const std::string &text : {exact, above, short_form}) {
      const Converted got = convert(text);
      ASSERT_TRUE(got.float_ok) << text;
      ASSERT_EQ(std::bit_cast<uint32_t>(got.f), std::bit_cast<uint32_t>(even)) << text;
      expect_same(text, got, reference(text));
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

TEST(RealConversion, ManyDigitsAndLeadingZeros) {
  const std::string many_ones(2000, '1');
  const std::string zeros(5000, '0');
  const std::string texts[] = {
      many_ones,
      "0." + many_ones,
      zeros + "1.5",
      "0." + zeros + "15E5000",
      many_ones + "E-2000",
      "1" + zeros + "E-5000",
      "." + zeros + "1E5001",
      "1E-99999999999",
      "1E+99999999999",
      "0E999999999999",
      "-" + many_ones + "E-9999999",
  };
  for (const std::string &t : texts)
    expect_same(t.substr(0, 40), convert(t), reference(t));
}

// Real fields read from a file give the reference values too.
class RealFields : public testing_support::RuntimeTest {};

TEST_F(RealFields, ExponentAndFixedFieldsMatchTheReference) {
  start_run();
  std::mt19937_64 rng(5);
  std::vector<std::string> fields;
  std::string content;
  char text[64];
  for (int n = 0; n < 60; ++n) {
    const double v =
        std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 200) - 150);
    std::snprintf(text, sizeof text, n % 2 ? "%.19E" : "%.18e", n % 3 ? v : -v);
    fields.push_back(text);
    std::snprintf(text, sizeof text, "%30s", fields.back().c_str());
    content += text;
    if (n % 6 == 5) content += "\n";
  }
  write_file("in.txt", content);
  recio::connect_unit(1, "in.txt", "", 120);
  std::vector<double> d(60);
  {
    recio::ReadStatement r(1, "(6E30.12)", recio::kErrorsAndEnd);
    r.items(d.data(), d.size());
    EXPECT_EQ(r.finish(), 0);
  }
  recio::rewind_unit(1);
  std::vector<float> f(60);
  {
    recio::ReadStatement r(1, "(6F30.3)", recio::kErrorsAndEnd);
    r.items(f.data(), f.size());
    EXPECT_EQ(r.finish(), 0);
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    const Reference want = reference(fields[i]);
    EXPECT_EQ(std::bit_cast<uint64_t>(d[i]), std::bit_cast<uint64_t>(want.d)) << fields[i];
    if (want.float_ok) {
      EXPECT_EQ(f[i], want.f) << fields[i];
    }
  }
}

} // namespace
