// Whole-line text reads against the read statement they stand for, "(a)"
// into a text of the same length, and texts through a format of one text
// descriptor as wide as them (WholeLines::read_texts), on seeded random and
// adversarial files.
#include "recio/connection.h"
#include "recio/field_input.h"
#include "recio/line_runs.h"
#include "recio/line_text.h"
#include "recio/units.h"
#include "support/runtime_fixture.h"

#include <random>
#include <string>
#include <vector>

namespace {

class LineText : public testing_support::RuntimeTest {
protected:
  struct Read {
    int32_t status;
    std::string text;
    bool operator==(const Read &) const = default;
  };

  // Every read of the file until the end, by one way or the other.
  std::vector<Read> read_all(const std::string &content, size_t length, bool whole_lines) {
    start_run();
    write_file("in.txt", content);
    recio::connect_unit(1, "in.txt", "", 120);
    std::vector<Read> reads;
    for (;;) {
      std::string text(length, '?');
      int32_t status;
      if (whole_lines) {
        status = recio::read_line_text(1, text.data(), length, recio::kEndOnly);
      } else {
        recio::ReadStatement read(1, "(a)", recio::kEndOnly);
        read.item(text.data(), length);
        status = read.finish();
      }
      reads.push_back({status, status == 0 ? text : ""});
      if (status != 0 || reads.size() > content.size() + 2) return reads;
    }
  }
};

// The text lines of a file read as `n` texts of `length` through `format`,
// until the end: straight where the whole lines take them, or by statements
// alone. Each read's status, texts, position and line.
std::vector<std::string> read_texts_all(const std::string &format, size_t length, size_t n,
                                        bool whole_lines, size_t reads) {
  const recio::FormatHandle handle = recio::cached_format(format);
  const recio::LineShape shape = recio::line_shape(*handle);
  std::vector<std::string> out;
  for (size_t k = 0; k < reads; ++k) {
    std::string text(length * n, '?');
    int32_t status = 0;
    if (!whole_lines || !recio::WholeLines(1).read_texts(shape, text.data(), length, n)) {
      recio::ReadStatement read(1, handle, recio::kEndOnly);
      read.texts(text.data(), length, n);
      status = read.finish();
    }
    const recio::InputPlace place = recio::input_place(1);
    out.push_back(std::to_string(status) + " " + text + " " +
                  std::to_string(recio::find_connection(1)->input.position()) + " " +
                  std::to_string(place.line));
    if (status != 0) break;
  }
  return out;
}

TEST_F(LineText, TextsThroughAFormatReadAsTheStatementDoes) {
  struct Case {
    const char *format;
    size_t length, n;
  };
  // Those the lines take, and those they leave to the statement: a width
  // other than the texts', fewer texts a line than asked for.
  const Case cases[] = {{"(A120)", 120, 1}, {"(120A1)", 1, 77}, {"(120A1)", 1, 120},
                        {"(A8)", 8, 1},     {"(3A2)", 2, 3},    {"(A120)", 80, 1},
                        {"(10A1)", 1, 20},  {"(2X,A5)", 5, 1}};
  std::mt19937_64 rng(2027);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const char specials[] = {'\r', '\n', '\0', '\x1a', ' '};
  for (int round = 0; round < 60; ++round) {
    std::string content;
    for (int lines = pick(0, 8); lines > 0; --lines) {
      const int length = pick(0, 2) == 0 ? pick(110, 130) : pick(0, 80);
      for (int i = 0; i < length; ++i)
        content += pick(0, 12) == 0 ? specials[pick(0, 4)] : static_cast<char>(pick(33, 126));
      content += pick(0, 4) == 0 ? "\r\n" : "\n";
    }
    if (pick(0, 2) == 0 && !content.empty()) content.pop_back(); // no line end at the end
    for (const Case &c : cases) {
      SCOPED_TRACE("round " + std::to_string(round) + ", " + c.format);
      std::vector<std::string> ways[2];
      for (bool whole_lines : {true, false}) {
        start_run();
        write_file("in.txt", content);
        recio::connect_unit(1, "in.txt", "", 120);
        ways[whole_lines] = read_texts_all(c.format, c.length, c.n, whole_lines, 12);
      }
      ASSERT_EQ(ways[true], ways[false]);
    }
  }
}

TEST_F(LineText, ReadsAsTheStatementDoes) {
  std::mt19937_64 rng(97);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const char specials[] = {'\r', '\n', '\0', '*', '\x1a', ' ', '\t'};
  for (int round = 0; round < 150; ++round) {
    std::string content;
    for (int lines = pick(0, 12); lines > 0; --lines) {
      const int length = pick(0, 3) == 0 ? pick(118, 135) : pick(0, 90);
      for (int i = 0; i < length; ++i)
        content += pick(0, 9) == 0 ? specials[pick(0, 6)] : static_cast<char>(pick(33, 126));
      content += pick(0, 5) == 0 ? "\r\n" : "\n";
    }
    if (pick(0, 2) == 0 && !content.empty()) content.pop_back(); // no line end at the end
    for (size_t length : {size_t{1}, size_t{80}, size_t{120}, size_t{130}}) {
      SCOPED_TRACE("round " + std::to_string(round) + ", length " + std::to_string(length));
      ASSERT_EQ(read_all(content, length, true), read_all(content, length, false));
    }
  }
}

// A line longer than the buffer is read across refills, by the statement.
TEST_F(LineText, LinesLongerThanTheBufferAsTheStatementDoes) {
  const std::string content = std::string(300000, 'x') + "*\nshort\n" + std::string(5, 'y');
  EXPECT_EQ(read_all(content, 120, true), read_all(content, 120, false));
}

} // namespace
