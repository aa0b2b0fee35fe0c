// Whole-line text reads against the read statement they stand for, "(a)"
// into a text of the same length, on seeded random and adversarial files.
#include "recio/field_input.h"
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
