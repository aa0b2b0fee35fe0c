// The format notation, seen through the reads and writes that walk it.
#include "recio/error_codes.h"
#include "recio/field_input.h"
#include "recio/format.h"
#include "recio/output_records.h"
#include "recio/units.h"
#include "support/runtime_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using recio::error_number;
using recio::ErrorCode;

class FormatNotation : public testing_support::RuntimeTest {
protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    start_run();
  }

  // Reads `n` integers from a fresh file through `format`; the values read
  // are appended to `values`, and "|" marks where the read stopped.
  int32_t read_ints(const std::string &content, std::string_view format, size_t n,
                    std::vector<int32_t> &values) {
    write_file("in.txt", content);
    recio::connect_unit(1, "in.txt", "", 120);
    values.assign(n, -1);
    recio::ReadStatement r(1, format, recio::kErrorsAndEnd);
    r.items(values.data(), n);
    return r.finish();
  }

  std::string internal(std::string_view format, std::initializer_list<std::string_view> texts) {
    char variable[40];
    recio::write_internal(variable, sizeof variable, format, texts);
    std::string s(variable, sizeof variable);
    return s.substr(0, s.find_last_not_of(' ') + 1);
  }
};

TEST_F(FormatNotation, SpellingsOfOneFormat) {
  const char *formats[] = {
      "(3I3)",       "      (3I3)",   "(3i3)",          "( 3 I 3 )",          "(\t3I\t3)",
      "(3I3)  ",     "(3I3) Q(((",    "(I3,I3,I3)",     "(I3,2I3)",           "(3(I3))",
      "(1(1(3I3)))", "(1X,I2,I3,I3)", "(I3 , I3 , I3)", "   (   3I3   ) xyz",
  };
  for (const char *f : formats) {
    SCOPED_TRACE(f);
    std::vector<int32_t> v;
    EXPECT_EQ(read_ints("  1  2  3  4\n", f, 3, v), 0);
    EXPECT_EQ(v, (std::vector<int32_t>{1, 2, 3}));
  }
}

TEST_F(FormatNotation, SlashAndSkipOnInput) {
  std::vector<int32_t> v;
  EXPECT_EQ(read_ints("  1xx\n  2\n  3\n", "(I3/I3)", 2, v), 0);
  EXPECT_EQ(v, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(read_ints("9912 34\n", "(2X,I2,1X,I2)", 2, v), 0);
  EXPECT_EQ(v, (std::vector<int32_t>{12, 34}));
  EXPECT_EQ(read_ints("  1\nxx\n  3\n", "(I3,2/I3)", 2, v), 0);
  EXPECT_EQ(v, (std::vector<int32_t>{1, 3}));
  // A skip stops at the line end.
  EXPECT_EQ(read_ints("12\n34\n", "(5X,I2)", 1, v), 0);
  EXPECT_EQ(v, (std::vector<int32_t>{0}));
  // A slash after the last item still moves on a record.
  EXPECT_EQ(read_ints("  1\n  2\n  3\n", "(I3/)", 1, v), 0);
  char text[8];
  recio::ReadStatement r(1, "(a)", recio::kErrorsAndEnd);
  r.item(text, sizeof text);
  EXPECT_EQ(r.finish(), 0);
  EXPECT_EQ(std::string(text, 3), "  3");
}

// After the closing parenthesis the walk goes on from the last top-level
// group, with that group's repeat count, on the next record.
TEST_F(FormatNotation, ReversionToTheLastTopLevelGroup) {
  std::vector<int32_t> v;
  EXPECT_EQ(read_ints("1 2 3\n 4 5 9 9\n 6 7\n", "(I1,2(I2))", 7, v), 0);
  EXPECT_EQ(v, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(read_ints("1 2 3\n 5 9\n 6\n", "(I1,(I2),(I2))", 5, v), 0);
  EXPECT_EQ(v, (std::vector<int32_t>{1, 2, 3, 5, 6}));
  EXPECT_EQ(read_ints("12\n34\n56\n", "(2(I1))", 6, v), 0);
  EXPECT_EQ(v, (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
  // Without inner groups the whole format repeats.
  EXPECT_EQ(read_ints("  1  2\n  3  4\n", "(I3,I3)", 4, v), 0);
  EXPECT_EQ(v, (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST_F(FormatNotation, SixteenInnerLevelsAndNoMore) {
  auto nested = [](int levels) {
    return "(" + std::string(static_cast<size_t>(levels), '(') + "I3" +
           std::string(static_cast<size_t>(levels), ')') + ")";
  };
  std::vector<int32_t> v;
  EXPECT_EQ(read_ints("  5\n", nested(16), 1, v), 0);
  EXPECT_EQ(v[0], 5);
  EXPECT_EQ(read_ints("  5\n", nested(17), 1, v), error_number(ErrorCode::format_nested_too_deep));
  EXPECT_EQ(v[0], -1);
}

// A fault is reported when the walk reaches it, not before.
TEST_F(FormatNotation, InvalidFormatsFailWhereTheWalkMeetsTheFault) {
  struct Case {
    const char *format;
    size_t good; // items read before the fault
    ErrorCode error;
  };
  const Case cases[] = {
      {"(I3,Q)", 1, ErrorCode::format_bad_descriptor},
      {"(I3,I3", 2, ErrorCode::format_unterminated},
      {"(I3,,I3)", 1, ErrorCode::format_bad_descriptor},
      {"(I3,I)", 1, ErrorCode::format_bad_number},
      {"(I3,F7)", 1, ErrorCode::format_bad_number},
      {"(2I3,0I3)", 2, ErrorCode::format_bad_number},
      {"I3", 0, ErrorCode::format_no_open_parenthesis},
      {"", 0, ErrorCode::format_no_open_parenthesis},
      {"(I3,1Hx)", 1, ErrorCode::format_literal_on_input},
      {"(1X)", 0, ErrorCode::format_no_data_descriptor},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.format);
    std::vector<int32_t> v;
    EXPECT_EQ(read_ints("  1  2  3\n", c.format, 3, v), error_number(c.error));
    for (size_t i = 0; i < 3; ++i)
      EXPECT_EQ(v[i], i < c.good ? int32_t(i + 1) : -1) << i;
  }
}

TEST_F(FormatNotation, LiteralsAndSkipsOnOutput) {
  EXPECT_EQ(internal("(3h a ,a,2h) ,1h|)", {"x"}), " a x) |");
  EXPECT_EQ(internal("(3H,())", {}), ",()");
  EXPECT_EQ(internal("(a,1h.,a)", {"1", "2"}), "1.2");
  EXPECT_EQ(internal("(2x,a,3x,a)", {"1", "2"}), "  1   2");
  EXPECT_EQ(internal("( A 3 , 2 X , A )", {"abc", "de"}), "abc  de");
}

TEST_F(FormatNotation, InvalidFormatEndsAWrite) {
  char variable[12];
  EXPECT_EQ(expect_end([&] {
              recio::write_internal(variable, sizeof variable, "(a,Q)", {"a", "b"});
            }),
            1);
  EXPECT_NE(
      console_err().find("F" + std::to_string(error_number(ErrorCode::format_bad_descriptor))),
      std::string::npos);
}

} // namespace
