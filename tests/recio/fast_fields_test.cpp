// Fields in their common form take a shortcut through the statement; it must
// give exactly what the general conversion gives, value for value.
#include "recio/field_input.h"
#include "recio/real_conversion.h"
#include "recio/units.h"
#include "support/runtime_fixture.h"

#include <bit>
#include <random>
#include <string>
#include <vector>

namespace {

class FastFields : public testing_support::RuntimeTest {};

// Short random real fields: signs, points, exponents of every spelling,
// blanks inside, and now and then a character the shortcut leaves alone.
std::string random_real_field(std::mt19937_64 &rng) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  std::string f;
  if (pick(0, 2) == 0) f += pick(0, 1) ? "-" : "+";
  const int digits = pick(0, 16);
  const int point = pick(-1, digits);
  for (int i = 0; i < digits; ++i) {
    if (i == point) f += '.';
    f += static_cast<char>('0' + pick(0, 9));
    if (pick(0, 15) == 0) f += ' ';
  }
  if (point == digits) f += '.';
  switch (pick(0, 5)) {
  case 0:
    f += "E" + std::to_string(pick(-30, 30));
    break;
  case 1:
    f += pick(0, 1) ? "D+" : "e-";
    f += std::to_string(pick(0, 25));
    break;
  case 2:
    f += pick(0, 1) ? "+" : "-";
    f += std::to_string(pick(0, 9));
    break;
  case 3:
    f += pick(0, 1) ? "E" : "-"; // a lone exponent letter or sign
    break;
  default:
    break;
  }
  if (pick(0, 30) == 0) f.insert(static_cast<size_t>(pick(0, static_cast<int>(f.size()))), "x");
  return f.substr(0, 20);
}

// Reads each field once as an 8-byte and once as a 4-byte real, and compares
// value and status with the general conversion of the same characters.
TEST_F(FastFields, RealsMatchTheGeneralConversion) {
  std::mt19937_64 rng(77);
  for (int implied : {0, 3, 6}) {
    std::vector<std::string> fields;
    std::string text;
    for (int i = 0; i < 3000; ++i) {
      std::string f = random_real_field(rng);
      f.insert(0, 20 - f.size(), ' ');
      fields.push_back(f);
      text += f + "\n" + f + "\n";
    }
    start_run();
    write_file("in.txt", text);
    recio::connect_unit(1, "in.txt", "", 120);
    const std::string format = "(E20." + std::to_string(implied) + ")";
    char rest[20];
    auto next_line = [&](recio::ReadStatement &read) {
      if (read.ok()) return (void)read.finish();
      recio::ReadStatement skip(1, "(a)", recio::kEndOnly); // the rest of the failed line
      skip.item(rest, sizeof rest);
      (void)skip.finish();
    };
    for (const std::string &f : fields) {
      recio::RealAccumulator acc(implied);
      for (char c : f)
        if (c != ' ') acc.add(c); // the collector passes blanks over
      double want = 0;
      float want_float = 0;
      recio::ErrorCode error;
      const bool ok = acc.finish_double(want, error);
      const bool float_ok = acc.finish_float(want_float, error);

      double got = 0;
      recio::ReadStatement as_double(1, format, recio::kErrorsAndEnd);
      as_double.item(got);
      ASSERT_EQ(as_double.ok(), ok) << "[" << f << "]";
      if (ok) {
        ASSERT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(want)) << "[" << f << "]";
      }
      next_line(as_double);

      float got_float = 0;
      recio::ReadStatement as_float(1, format, recio::kErrorsAndEnd);
      as_float.item(got_float);
      ASSERT_EQ(as_float.ok(), float_ok) << "[" << f << "]";
      if (float_ok) {
        ASSERT_EQ(std::bit_cast<uint32_t>(got_float), std::bit_cast<uint32_t>(want_float))
            << "[" << f << "]";
      }
      next_line(as_float);
    }
  }
}

} // namespace
