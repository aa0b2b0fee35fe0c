// The lines of a group gathered for one kernel call against the same lines
// taken one call per line, and against read statements alone: over seeded
// random groups with damage of every kind where the kernels must hand over
// (a field they do not take on any line, first and last included, a line end
// moved, a Ctrl-Z, a layout that changes within the group), every value, the
// status and the position after each group are the same.
#include "recio/connection.h"
#include "recio/field_input.h"
#include "recio/line_runs.h"
#include "recio/units.h"
#include "support/runtime_fixture.h"

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Shape {
  const char *format;
  char letter; // I, F or E
  int per_line, width, digits;
};

const Shape kShapes[] = {
    {"(40I3)", 'I', 40, 3, 0},     {"(60I2)", 'I', 60, 2, 0},     {"(120I1)", 'I', 120, 1, 0},
    {"(15F8.3)", 'F', 15, 8, 3},   {"(16F7.3)", 'F', 16, 7, 3},   {"(10E11.6E1)", 'E', 10, 11, 6},
    {"(15E8.3E1)", 'E', 15, 8, 3}, {"(6E20.12)", 'E', 6, 20, 12},
};

enum class Kind { ints, floats, doubles, into_one };
enum class Path { gathered, line_by_line, statements };

using Rng = std::mt19937_64;
int pick(Rng &rng, int lo, int hi) {
  return std::uniform_int_distribution<int>(lo, hi)(rng);
}

std::string right_justified(std::string text, int width) {
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), ' ');
  return text.substr(0, static_cast<size_t>(width));
}

// A canonical field of the shape; `shift` moves an F field's point (another
// layout of the same width).
std::string canonical(const Shape &s, Rng &rng, int shift = 0) {
  char text[64];
  if (s.letter == 'I') {
    int most = 1;
    for (int i = 1; i < s.width; ++i)
      most *= 10;
    const int v = pick(rng, s.width == 1 ? 0 : -most + 1, most * (s.width == 1 ? 9 : 1) - 1);
    std::snprintf(text, sizeof text, "%d", v);
    return right_justified(text, s.width);
  }
  if (s.letter == 'F') {
    const int fraction = std::max(0, s.digits - shift);
    const double v = pick(rng, -999, 9999) / 1000.0 * (shift ? 10 : 1);
    std::snprintf(text, sizeof text, "%.*f", fraction, v);
    return right_justified(text, s.width);
  }
  // d.ddd...E+d, with as many exponent digits as the width leaves.
  const int exponent_digits = s.width - s.digits - 4 >= 2 ? 2 : 1;
  std::string f = std::to_string(pick(rng, 0, 9)) + ".";
  for (int i = 0; i < s.digits; ++i)
    f += static_cast<char>('0' + pick(rng, 0, 9));
  f += pick(rng, 0, 1) ? "E+" : "E-";
  for (int i = 0; i < exponent_digits; ++i)
    f += static_cast<char>('0' + pick(rng, 0, exponent_digits == 2 && i == 0 ? 3 : 9));
  if (static_cast<int>(f.size()) < s.width && pick(rng, 0, 2) == 0) f.insert(0, "-");
  return right_justified(f, s.width);
}

// A field the kernels do not take: one the field rules still read (blanks
// inside, a lowercase or D exponent, a lone sign, a tab) or one they do not
// (a letter, a second point), or a byte that ends the line, the field or the
// file early.
std::string damaged(const Shape &s, Rng &rng) {
  static const char *const kTokens[] = {"1 2", "1.5e1", "2.5D0", "+",   "\t7", "1x", "1..2",
                                        "3,",  "\x1a",  "4\r5",  "6\n", ".",   "-"};
  std::string token = kTokens[pick(rng, 0, static_cast<int>(std::size(kTokens)) - 1)];
  token = token.substr(0, static_cast<size_t>(s.width));
  const int at = pick(rng, 0, s.width - static_cast<int>(token.size()));
  std::string f(static_cast<size_t>(s.width), ' ');
  f.replace(static_cast<size_t>(at), token.size(), token);
  return f;
}

// One group of `count` values: its lines, with at most one kind of damage.
std::string group_text(const Shape &s, int count, Rng &rng, bool crlf) {
  const int lines = (count + s.per_line - 1) / s.per_line;
  const int damage = pick(rng, 0, 6);
  // The line and field hit: the first, the last or any.
  const int line = pick(rng, 0, 2) == 0 ? 0 : pick(rng, 0, 1) ? lines - 1 : pick(rng, 0, lines - 1);
  const int in_line = std::min(count - line * s.per_line, s.per_line);
  const int field = pick(rng, 0, 2) == 0 ? 0
                    : pick(rng, 0, 1)    ? in_line - 1
                                         : pick(rng, 0, in_line - 1);
  const int layout_from = pick(rng, 0, count - 1);
  std::string text;
  for (int i = 0; i < count; ++i) {
    const int l = i / s.per_line;
    const bool hit = l == line && i % s.per_line == field;
    if (hit && damage == 0)
      text += damaged(s, rng);
    else if (damage == 1 && s.letter == 'F' && i >= layout_from)
      text += canonical(s, rng, 1);
    else
      text += canonical(s, rng);
    if ((i + 1) % s.per_line == 0 || i + 1 == count) {
      if (l == line && damage == 2) text.pop_back(); // the line end moved into the fields
      if (l == line && damage == 3) text += "  9";   // and past them
      if (l == line && damage == 4) text += '\x1a';  // a Ctrl-Z after the fields
      text += crlf ? "\r\n" : "\n";
    }
  }
  return text;
}

struct Outcome {
  std::string values; // the destination's bytes, touched or not
  int32_t status = 0;
  int64_t position = 0;
  bool operator==(const Outcome &) const = default;
};

class GatheredLines : public testing_support::RuntimeTest {
protected:
  void TearDown() override {
    recio::set_whole_lines(true);
    recio::set_gathered_lines(true);
    RuntimeTest::TearDown();
  }

  template <class T>
  Outcome read_group(const Shape &s, const recio::LineShape &shape, Kind kind, int count) {
    std::vector<T> values(static_cast<size_t>(count) + 4);
    std::memset(values.data(), 0x5A, values.size() * sizeof(T)); // never a value read
    const auto n = static_cast<size_t>(count);
    size_t done = 0;
    if constexpr (std::is_same_v<T, float>) {
      done = kind == Kind::into_one ? recio::WholeLines(1).read_into_one(shape, values[0], n)
                                    : recio::WholeLines(1).read(shape, values.data(), n);
    } else {
      done = recio::WholeLines(1).read(shape, values.data(), n);
    }
    Outcome o;
    // The lines took every value, or a read statement takes the rest.
    if (done < n) {
      recio::ReadStatement read(1, s.format, recio::kErrorsAndEnd);
      if constexpr (std::is_same_v<T, float>) {
        if (kind == Kind::into_one)
          read.items_into_one(values[0], n - done);
        else
          read.items(values.data() + done, n - done);
      } else {
        read.items(values.data() + done, n - done);
      }
      o.status = read.finish();
    }
    o.values.assign(reinterpret_cast<const char *>(values.data()), values.size() * sizeof(T));
    o.position = recio::find_connection(1)->input.position();
    return o;
  }

  std::vector<Outcome> read_all(const std::string &text, const Shape &s, Kind kind,
                                const std::vector<int> &counts, Path path) {
    recio::set_whole_lines(path != Path::statements);
    recio::set_gathered_lines(path == Path::gathered);
    start_run();
    write_file("in.txt", text);
    recio::connect_unit(1, "in.txt", "", 120);
    const recio::LineShape shape = recio::line_shape(*recio::cached_format(s.format));
    std::vector<Outcome> out;
    for (int count : counts) {
      switch (kind) {
      case Kind::ints:
        out.push_back(read_group<int32_t>(s, shape, kind, count));
        break;
      case Kind::doubles:
        out.push_back(read_group<double>(s, shape, kind, count));
        break;
      default:
        out.push_back(read_group<float>(s, shape, kind, count));
        break;
      }
    }
    return out;
  }
};

TEST_F(GatheredLines, GroupsReadAsLineByLineAndAsStatements) {
  Rng rng(2026);
  for (int trial = 0; trial < 48; ++trial) {
    const Shape &s = kShapes[static_cast<size_t>(trial) % std::size(kShapes)];
    const Kind kind = s.letter == 'I' ? Kind::ints : static_cast<Kind>(1 + trial / 8 % 3);
    // Groups of one value to many lines; past 256 KiB some lines straddle
    // two buffers.
    std::string text;
    std::vector<int> counts;
    const bool crlf = trial % 3 == 0;
    while (text.size() < (trial % 4 == 0 ? 300000u : 40000u)) {
      const int count = pick(rng, 0, 3) == 0 ? pick(rng, 1, s.per_line) : pick(rng, 1, 1000);
      counts.push_back(count);
      text += group_text(s, count, rng, crlf);
    }
    const std::vector<Outcome> gathered = read_all(text, s, kind, counts, Path::gathered);
    const std::vector<Outcome> by_line = read_all(text, s, kind, counts, Path::line_by_line);
    const std::vector<Outcome> statements = read_all(text, s, kind, counts, Path::statements);
    for (size_t g = 0; g < counts.size(); ++g) {
      ASSERT_TRUE(gathered[g] == by_line[g])
          << "trial " << trial << " " << s.format << ", group " << g << ": status "
          << gathered[g].status << " / " << by_line[g].status << ", position "
          << gathered[g].position << " / " << by_line[g].position;
      ASSERT_TRUE(gathered[g] == statements[g]) << "trial " << trial << ", group " << g;
    }
  }
}

} // namespace
