// Formatted reads from a file unit: field rules, record positioning, end of
// file and errors reported as transfer statuses.
#include "recio/error_codes.h"
#include "recio/field_input.h"
#include "recio/units.h"
#include "support/runtime_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using recio::error_number;
using recio::ErrorCode;

class FieldInput : public testing_support::RuntimeTest {
protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    start_run();
  }

  // Unit 1 connected to a fresh file holding `content`.
  void input(const std::string &content) {
    write_file("in.txt", content);
    recio::connect_unit(1, "in.txt", "", 120);
  }

  template <class T> int32_t read(std::string_view format, T *values, size_t n) {
    recio::ReadStatement r(1, format, recio::kErrorsAndEnd);
    r.items(values, n);
    return r.finish();
  }

  int32_t read_text(std::string_view format, char *text, size_t length, size_t n = 1) {
    recio::ReadStatement r(1, format, recio::kErrorsAndEnd);
    r.texts(text, length, n);
    return r.finish();
  }

  // What is left of the current line, through "(a)", without trailing blanks;
  // "<status>" when that read does not complete.
  std::string rest_of_line() {
    char text[120];
    const int32_t s = read_text("(a)", text, sizeof text);
    if (s != 0) return "<" + std::to_string(s) + ">";
    std::string r(text, sizeof text);
    return r.substr(0, r.find_last_not_of(' ') + 1);
  }
};

// Three-column fields of the values first..last, as one line.
std::string i3_line(int first, int last) {
  std::string line;
  char field[8];
  for (int v = first; v <= last; ++v) {
    std::snprintf(field, sizeof field, "%3d", v);
    line += field;
  }
  return line + "\n";
}

TEST_F(FieldInput, IndexOfEightyCountsSpansTwoLines) {
  input(i3_line(1, 40) + i3_line(41, 80));
  int32_t dfi[80] = {};
  EXPECT_EQ(read("      (40I3)", dfi, 80), 0);
  for (int k = 0; k < 80; ++k)
    EXPECT_EQ(dfi[k], k + 1) << k;
  EXPECT_EQ(rest_of_line(), "<-1>");
}

TEST_F(FieldInput, FileEndingAfterTheFirstLineKeepsWhatWasRead) {
  input(i3_line(1, 40));
  std::vector<int32_t> dfi(80, -7);
  EXPECT_EQ(read("(40I3)", dfi.data(), 80), -1);
  EXPECT_EQ(dfi[0], 1);
  EXPECT_EQ(dfi[39], 40);
  EXPECT_EQ(dfi[40], -7);
}

TEST_F(FieldInput, ShortLineGivesZerosForTheRestOfItsRecord) {
  input("  1  2\n" + i3_line(41, 80));
  std::vector<int32_t> v(80, -7);
  EXPECT_EQ(read("(40I3)", v.data(), 80), 0);
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[1], 2);
  for (int k = 2; k < 40; ++k)
    EXPECT_EQ(v[k], 0) << k;
  for (int k = 40; k < 80; ++k)
    EXPECT_EQ(v[k], k + 1) << k;
}

TEST_F(FieldInput, IntegerFields) {
  struct Case {
    const char *format;
    std::string_view field;
    int32_t status; // 0 or the error number
    int32_t value;  // when status is 0
  };
  const int32_t syntax = error_number(ErrorCode::integer_syntax);
  const int32_t range = error_number(ErrorCode::integer_range);
  const int32_t radix = error_number(ErrorCode::integer_radix);
  const Case cases[] = {
      {"(I3)", "  1", 0, 1},
      {"(I3)", " -5", 0, -5},
      {"(I3)", "-12", 0, -12},
      {"(I3)", "  +", 0, 0},
      {"(I3)", "   ", 0, 0},
      {"(I3)", "+ 7", 0, 7},
      {"(I3)", "1 2", 0, 12},
      {"(I3)", "\t 9", 0, 9},
      {"(I3)", "1.0", syntax, 0},
      {"(I3)", " 1-", syntax, 0},
      {"(I3)", "abc", syntax, 0},
      {"(I3)", "--1", syntax, 0},
      {"(I3)",
       std::string_view("1\0"
                        "2",
                        3),
       syntax, 0},
      {"(I11)", "-2147483648", 0, INT32_MIN},
      {"(I11)", " 2147483647", 0, INT32_MAX},
      {"(I11)", " 2147483648", range, 0},
      {"(I11)", "-2147483649", range, 0},
      {"(I10)", "9999999999", range, 0},
      {"(I9)", "999999999", 0, 999999999},
      {"(I8)", "   16#FF", 0, 255},
      {"(I8)", "     #ff", 0, 255},
      {"(I8)", "   2#101", 0, 5},
      {"(I8)", "  -8#17", 0, -15},
      {"(I8)", "36#zz", 0, 36 * 36 - 1},
      {"(I8)", "   37#1", radix, 0},
      {"(I8)", "    1#1", radix, 0},
      {"(I8)", " 16#F#F", radix, 0},
      {"(I8)", "   2#102", syntax, 0},
      {"(I8)", "  10#1A", syntax, 0},
      {"(I11)", "16#FFFFFFFF", range, 0},
      {"(I12)", "-16#80000000", 0, INT32_MIN},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.format) + " [" + std::string(c.field) + "]");
    input(std::string(c.field) + "\n");
    int32_t v = 777;
    EXPECT_EQ(read(c.format, &v, 1), c.status);
    EXPECT_EQ(v, c.status == 0 ? c.value : 777);
  }
}

TEST_F(FieldInput, CommaEndsANumericField) {
  input("1,2,  3\n");
  int32_t v[3] = {};
  EXPECT_EQ(read("(3I3)", v, 3), 0);
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[1], 2);
  EXPECT_EQ(v[2], 3);
}

TEST_F(FieldInput, RealFieldsIntoDoubles) {
  struct Case {
    const char *format;
    const char *field;
    int32_t status;
    double value;
  };
  const int32_t syntax = error_number(ErrorCode::real_syntax);
  const int32_t range = error_number(ErrorCode::real_range);
  const Case cases[] = {
      {"(F7.3)", "  1.500", 0, 1.5},
      {"(F7.3)", "    123", 0, 0.123},
      {"(F7.3)", "  12345", 0, 12.345},
      {"(E9.4)", "    12345", 0, 1.2345},
      {"(E9.4)", "     15E2", 0, 0.15},
      {"(F7.3)", "  1.5+3", 0, 1500.0},
      {"(F7.3)", "  1.5-3", 0, 0.0015},
      {"(F5.0)", "15+3", 0, 15000.0},
      {"(F6.1)", "  15-3", 0, 0.0015},
      {"(F6.1)", " -15-3", 0, -0.0015},
      {"(F8.2)", " 1.5D+02", 0, 150.0},
      {"(F8.2)", "   25d-1", 0, 0.025},
      {"(F8.2)", "  -1.2e1", 0, -12.0},
      {"(F6.1)", "  -.5 ", 0, -0.5},
      {"(F6.1)", "1 2. 5", 0, 12.5},
      {"(F6.1)", "      ", 0, 0.0},
      {"(F20.0)", "00000000000000000001", 0, 1.0},
      {"(F30.0)", "0.1234567890123456789012345678", 0, 0.1234567890123456789012345678},
      {"(E20.12)", "0.123456789012345678", 0, 0.123456789012345678},
      {"(F8.0)", " 1E-400", 0, 0.0},
      {"(F10.0)", " 1.8E308", range, 0},
      {"(F6.1)", " 1.2.3", syntax, 0},
      {"(F6.1)", "  1.5x", syntax, 0},
      {"(F6.1)", "  1.5+", syntax, 0},
      {"(F6.1)", "    1-", syntax, 0},
      {"(F6.1)", "  1E2.", syntax, 0},
      {"(F6.1)", "  1E+-", syntax, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.format) + " [" + c.field + "]");
    input(std::string(c.field) + "\n");
    double v = 777;
    EXPECT_EQ(read(c.format, &v, 1), c.status);
    EXPECT_EQ(v, c.status == 0 ? c.value : 777);
  }
}

// An exponent letter with no integer after it is a character left over: the
// read fails once the field is taken, and the next read starts just after it.
// The field stands alone on its line and as the third of a run of fields, so
// both the one-field path and the shortcut over a run are asked.
TEST_F(FieldInput, ExponentLetterWithoutAnIntegerIsAnError) {
  const int32_t syntax = error_number(ErrorCode::real_syntax);
  struct Case {
    const char *format;
    const char *good; // a field of the same width that reads
    const char *bad;
  };
  std::vector<Case> cases;
  for (const char *bad : {"  1.500E", "  1.500e", "  1.500D", "  1.500d", " 1.5E   ", "-1.5d   ",
                          "    15E ", "       E", " 1.5E  -", " 1.5E +  "})
    cases.push_back({"F8.3", "   2.250", bad});
  for (const char *bad : {"   1.50000E", "   1.50000e", "   1.50000D", "   1.50000d",
                          " 1.50000E  ", "    150000D"})
    cases.push_back({"E11.6E1", "0.225000E+1", bad});
  for (const Case &c : cases) {
    const std::string bad = std::string(c.bad).substr(0, std::strlen(c.good));
    for (const bool in_a_run : {false, true}) {
      SCOPED_TRACE(std::string(c.format) + " [" + bad + "]" + (in_a_run ? " in a run" : ""));
      const std::string line =
          in_a_run ? std::string(c.good) + c.good + bad + c.good + c.good : bad + "  tail";
      const size_t before = in_a_run ? 2 : 0;
      const std::string format = "(15" + std::string(c.format) + ")";
      {
        input(line + "\nnext\n");
        std::vector<float> v(5, 777);
        EXPECT_EQ(read(format, v.data(), before + 2), syntax);
        EXPECT_EQ(v[before], 777.0f);
        if (in_a_run) {
          EXPECT_EQ(v[1], 2.25f);
        }
        EXPECT_EQ(rest_of_line(), in_a_run ? std::string(c.good) + c.good : "  tail");
      }
      {
        input(line + "\nnext\n");
        std::vector<double> v(5, 777);
        EXPECT_EQ(read(format, v.data(), before + 2), syntax);
        EXPECT_EQ(v[before], 777.0);
        EXPECT_EQ(rest_of_line(), in_a_run ? std::string(c.good) + c.good : "  tail");
      }
    }
  }
}

TEST_F(FieldInput, RealFieldsIntoFloats) {
  struct Case {
    const char *field;
    int32_t status;
    float value;
  };
  const int32_t range = error_number(ErrorCode::real_range);
  const Case cases[] = {
      {"1E39", range, 0},
      {"-1E39", range, 0},
      {"1E-50", 0, 0.0f},
      {"3.402823466E38", 0, 3.40282347e38f},
      {"3.402823467E38", range, 0},
      {"0.1", 0, 0.1f},
      {"1.00000005960464477539", 0, 1.0f}, // a float midpoint: ties to even
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.field);
    input(std::string(c.field) + "\n");
    float v = 777;
    EXPECT_EQ(read("(F22.0)", &v, 1), c.status);
    EXPECT_EQ(v, c.status == 0 ? c.value : 777.0f);
  }
}

TEST_F(FieldInput, SixteenRealsOverOneShortLine) {
  input("  1.500  12345-1.2E1\n    1.0    2.0    3.0    4.0\n");
  std::vector<float> v(20, -7);
  EXPECT_EQ(read("(16F7.3)", v.data(), 16), 0);
  EXPECT_EQ(v[0], 1.5f);
  EXPECT_EQ(v[1], 12.345f);
  EXPECT_EQ(v[2], -12.0f);
  for (int k = 3; k < 16; ++k)
    EXPECT_EQ(v[k], 0.0f) << k;
  EXPECT_EQ(rest_of_line(), "    1.0    2.0    3.0    4.0");
}

TEST_F(FieldInput, TwentyRealsTakeTwoRecords) {
  input("  1.500  12345-1.2E1\n    1.0    2.0    3.0    4.0    5.0\n  9\n");
  std::vector<float> v(20, -7);
  EXPECT_EQ(read("(16F7.3)", v.data(), 20), 0);
  EXPECT_EQ(v[16], 1.0f);
  EXPECT_EQ(v[19], 4.0f);
  EXPECT_EQ(rest_of_line(), "  9");
}

TEST_F(FieldInput, EightByteRealsThroughExponentFields) {
  input("      0.123456789012      -1.5E+02\n");
  double v[2] = {};
  EXPECT_EQ(read("(6E20.12)", v, 2), 0);
  EXPECT_EQ(v[0], 0.123456789012);
  EXPECT_EQ(v[1], -150.0);
}

// Where the unit stands after a failed transfer decides what the next read of
// the same unit sees.
TEST_F(FieldInput, ConversionErrorLeavesThePositionAfterTheField) {
  input("abc  7\n  8\n");
  int32_t v = 0;
  EXPECT_EQ(read("(I3)", &v, 1), error_number(ErrorCode::integer_syntax));
  EXPECT_EQ(rest_of_line(), "  7");
}

TEST_F(FieldInput, RealThroughAnIntegerDescriptorFailsAfterTheField) {
  input("1.5  7\n");
  float f = 777;
  EXPECT_EQ(read("(40I3)", &f, 1), error_number(ErrorCode::input_kind_mismatch));
  EXPECT_EQ(f, 777.0f);
  EXPECT_EQ(rest_of_line(), "  7");
}

TEST_F(FieldInput, IntegerOrTextThroughAWrongDescriptorFailsBeforeTheField) {
  const int32_t mismatch = error_number(ErrorCode::input_kind_mismatch);
  input("  1  2\n");
  int32_t v = 777;
  EXPECT_EQ(read("(F3.0)", &v, 1), mismatch);
  EXPECT_EQ(read("(A3)", &v, 1), mismatch);
  EXPECT_EQ(v, 777);
  char t[3] = {'x', 'x', 'x'};
  EXPECT_EQ(read_text("(I3)", t, 3), mismatch);
  EXPECT_EQ(std::string(t, 3), "xxx");
  EXPECT_EQ(rest_of_line(), "  1  2");
}

// The first item has the length given; the second, read with "a" into ten
// characters, shows where the first field left the position.
TEST_F(FieldInput, TextFieldWidths) {
  struct Case {
    const char *format;
    size_t length;
    std::string_view line;
    std::string_view stored;
    const char *neighbour;
    const char *next_line;
  };
  const Case cases[] = {
      {"(A5,a)", 3, "abcdefg", "cde", "fg", "next"}, // w > L: the rightmost L
      {"(A3,a)", 3, "abcdefg", "abc", "defg", "next"},
      {"(A2,a)", 5, "abcdefg", "ab   ", "cdefg", "next"},
      {"(A,a)", 4, "abcdefg", "abcd", "efg", "next"},
      {"(A5,a)", 3, "ab", "   ", "", "next"}, // the line ends while skipping
      {"(A5,a)", 3, "abcd", "cd ", "", "next"},
      {"(A4,a)", 4, "ab\r\ncd", "ab  ", "", "cd"},
      {"(A4,a)", 4,
       "a\x1a"
       "bc",
       "a\x1a"
       "bc",
       "", "next"},
      {"(A4,a)", 4, std::string_view("a\0bcd", 5), std::string_view("a\0bc", 4), "d", "next"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.format) + " [" + std::string(c.line) + "]");
    input(std::string(c.line) + "\nnext\n");
    std::string text(c.length, '#');
    char neighbour[10];
    recio::ReadStatement r(1, c.format, recio::kErrorsAndEnd);
    r.item(text.data(), text.size());
    r.item(neighbour, sizeof neighbour);
    EXPECT_EQ(r.finish(), 0);
    EXPECT_EQ(text, c.stored);
    std::string n(neighbour, sizeof neighbour);
    EXPECT_EQ(n.substr(0, n.find_last_not_of(' ') + 1), c.neighbour);
    EXPECT_EQ(rest_of_line(), c.next_line);
  }
}

TEST_F(FieldInput, WholeLineIntoA120AndLongLinesCut) {
  const std::string thirty(30, 'x');
  const std::string long_line = std::string(120, 'a') + std::string(30, 'b');
  input(thirty + "\n" + long_line + "\nlast\n");
  char text[120];
  EXPECT_EQ(read_text("(A120)", text, 120), 0);
  EXPECT_EQ(std::string(text, 120), thirty + std::string(90, ' '));
  EXPECT_EQ(read_text("(a)", text, 120), 0);
  EXPECT_EQ(std::string(text, 120), std::string(120, 'a'));
  EXPECT_EQ(rest_of_line(), "last");
}

TEST_F(FieldInput, SingleCharactersPastTheLineEndAreBlank) {
  input("2024.03.05\nnext\n");
  char stamp[120];
  EXPECT_EQ(read_text("(120A1)", stamp, 1, 120), 0);
  EXPECT_EQ(std::string(stamp, 120), "2024.03.05" + std::string(110, ' '));
  EXPECT_EQ(rest_of_line(), "next");
}

TEST_F(FieldInput, CarriageReturnEndsTheLineData) {
  input("12\r34\n56\n");
  int32_t v[2] = {-1, -1};
  EXPECT_EQ(read("(2I2)", v, 2), 0);
  EXPECT_EQ(v[0], 12);
  EXPECT_EQ(v[1], 0);
  EXPECT_EQ(rest_of_line(), "56");
}

TEST_F(FieldInput, CrLfLinesReadLikeLfLines) {
  for (const char *eol : {"\n", "\r\n"}) {
    SCOPED_TRACE(eol[0] == '\r' ? "CR LF" : "LF");
    const std::string e = eol;
    input("  1  2" + e + "  3" + e + "abc" + e);
    int32_t v[4] = {};
    EXPECT_EQ(read("(2I3)", v, 4), 0);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 2);
    EXPECT_EQ(v[2], 3);
    EXPECT_EQ(v[3], 0);
    EXPECT_EQ(rest_of_line(), "abc");
    EXPECT_EQ(rest_of_line(), "<-1>");
  }
}

TEST_F(FieldInput, CtrlZInANumericFieldIsTheEndOfFile) {
  input("  1 \x1a"
        "2  3\n  4\n");
  int32_t v[3] = {-7, -7, -7};
  EXPECT_EQ(read("(3I3)", v, 3), -1);
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[1], -7);
  EXPECT_EQ(read("(I3)", v, 1), -1); // the unit stays at its end
}

TEST_F(FieldInput, ReadWithoutItemsConsumesOneRecord) {
  input("first\nlast\n");
  {
    recio::ReadStatement r(1, "(a)", recio::kEndOnly);
    EXPECT_EQ(r.finish(), 0);
  }
  {
    recio::ReadStatement r(1, "(a)", recio::kEndOnly);
    EXPECT_EQ(r.finish(), 0);
  }
  recio::ReadStatement r(1, "(a)", recio::kEndOnly);
  EXPECT_EQ(r.finish(), -1);
}

TEST_F(FieldInput, EndOfFileHoldsUntilRewind) {
  input("x\n");
  EXPECT_EQ(rest_of_line(), "x");
  EXPECT_EQ(rest_of_line(), "<-1>");
  // More data behind the old end is not looked at: the unit is at its end.
  write_file("in.txt", "x\ny\n");
  EXPECT_EQ(rest_of_line(), "<-1>");
  int32_t v = 5;
  EXPECT_EQ(read("(I3)", &v, 1), -1);
  recio::rewind_unit(1);
  EXPECT_EQ(rest_of_line(), "x");
  // The whole file was in the buffer, read to the end it had: the rewind
  // reads it again as it was.
  EXPECT_EQ(rest_of_line(), "<-1>");
}

TEST_F(FieldInput, AppendedFileIsReadFromItsEndOrAfterARewindFromItsStart) {
  write_file("in.txt", "x\n");
  recio::connect_unit(1, "in.txt", "append", 120);
  EXPECT_EQ(rest_of_line(), "<-1>");
  recio::rewind_unit(1);
  EXPECT_EQ(rest_of_line(), "x");
  // Rewound before its first read.
  write_file("other.txt", "y\n");
  recio::connect_unit(2, "other.txt", "append", 120);
  recio::rewind_unit(2);
  recio::ReadStatement r(2, "(a)", recio::kErrorsAndEnd);
  char text[120];
  r.texts(text, sizeof text, 1);
  EXPECT_EQ(r.finish(), 0);
  EXPECT_EQ(text[0], 'y');
}

TEST_F(FieldInput, LastLineWithoutLineFeedIsARecord) {
  input("  1  2\nabc");
  int32_t v[2] = {};
  EXPECT_EQ(read("(2I3)", v, 2), 0);
  EXPECT_EQ(v[1], 2);
  char text[10];
  EXPECT_EQ(read_text("(A10)", text, 10), 0);
  EXPECT_EQ(std::string(text, 10), "abc       ");
  EXPECT_EQ(rest_of_line(), "<-1>");

  input("  1  2"); // items left when that record ends: the next one is missing
  int32_t w[3] = {};
  EXPECT_EQ(read("(2I3)", w, 3), -1);
  EXPECT_EQ(w[1], 2);
}

TEST_F(FieldInput, FormatOfNulCharactersFailsAtTheFirstItem) {
  const std::string nuls(12, '\0');
  input("  5\n");
  const int32_t expected = error_number(ErrorCode::format_no_open_parenthesis);
  int32_t v = 777;
  EXPECT_EQ(read(nuls, &v, 1), expected);
  EXPECT_EQ(v, 777);
  {
    recio::ReadStatement r(1, nuls, recio::kErrorsAndEnd);
    EXPECT_EQ(r.finish(), expected);
  }
  EXPECT_EQ(read("(I3)", &v, 1), 0); // nothing was read before the fault
  EXPECT_EQ(v, 5);
}

// Lines far longer than the read-ahead buffer, read field by field across
// its refills.
TEST_F(FieldInput, LinesLongerThanTheInputBuffer) {
  constexpr size_t kFields = 700000; // 2.1 MB of I3 fields
  std::string ints;
  ints.reserve(kFields * 3 + 1);
  const char *forms[] = {"%3d", "%-3d", "%+3d"};
  char field[8];
  for (size_t i = 0; i < kFields; ++i) {
    std::snprintf(field, sizeof field, forms[i % 3], static_cast<int>(i % 199) - 99);
    ints += field;
  }
  constexpr size_t kReals = 300000; // 2.1 MB of F7.3 fields
  std::string reals;
  for (size_t i = 0; i < kReals; ++i) {
    std::snprintf(field, sizeof field, "%7.3f", (static_cast<int>(i % 1599) - 799) / 8.0);
    reals += field;
  }
  // The 120 characters of the next line straddle a refill.
  const std::string filler(256 * 1024 - 50 - 1, 'f');
  std::string tail;
  for (int i = 0; i < 150; ++i)
    tail += static_cast<char>('A' + i % 26);
  input(std::string(3 << 20, 'z') + "\n" + ints + "\n" + reals + "\n" + filler + "\n" + tail +
        "\nend\n");

  char text[120];
  EXPECT_EQ(read_text("(a)", text, 120), 0);
  EXPECT_EQ(std::string(text, 120), std::string(120, 'z'));

  std::vector<int32_t> v(kFields, 12345);
  EXPECT_EQ(read("(700000I3)", v.data(), kFields), 0);
  size_t wrong = 0;
  for (size_t i = 0; i < kFields; ++i)
    if (v[i] != static_cast<int>(i % 199) - 99 && wrong++ < 5) ADD_FAILURE() << "int " << i;
  EXPECT_EQ(wrong, 0u);

  std::vector<double> r(kReals, 12345);
  EXPECT_EQ(read("(300000F7.3)", r.data(), kReals), 0);
  wrong = 0;
  for (size_t i = 0; i < kReals; ++i)
    if (r[i] != (static_cast<int>(i % 1599) - 799) / 8.0 && wrong++ < 5)
      ADD_FAILURE() << "real " << i;
  EXPECT_EQ(wrong, 0u);

  EXPECT_EQ(read_text("(a)", text, 120), 0);
  EXPECT_EQ(std::string(text, 120), filler.substr(0, 120));
  EXPECT_EQ(read_text("(a)", text, 120), 0);
  EXPECT_EQ(std::string(text, 120), tail.substr(0, 120));
  EXPECT_EQ(rest_of_line(), "end");
}

// A list of items transferred in one call gives the same values, status and
// position as the same items one at a time.
TEST_F(FieldInput, BulkTransfersMatchOneItemTransfers) {
  struct Case {
    const char *format;
    const char *content;
    char kind; // 'i', 'f' or 'a'
  };
  const Case cases[] = {
      {"(5I3)", "  1  2abc  4  5\n  6\n", 'i'},
      {"(3I3)", "  1  2  3  4\n  5  6\n  7\n", 'i'},
      {"(2I3)", "  1\n  2 \x1a\n", 'i'},
      {"(4F5.1)", "  1.5  2.5 3.5x  4.5\nrest\n", 'f'},
      {"(2F5.1)", "  1.5  2.5  3.5\n  4.5\n  5.5\n", 'f'},
      {"(3A2)", "abcdefgh\nijk\nlm\n", 'a'},
      {"(2A3)", "ab\ncdefgh\n", 'a'},
  };
  constexpr size_t kItems = 5;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.format);
    std::string bulk_values, single_values, bulk_rest, single_rest;
    int32_t bulk_status = 0, single_status = 0;
    for (bool bulk : {true, false}) {
      input(c.content);
      int32_t ints[kItems];
      float reals[kItems];
      char texts[kItems * 2];
      std::fill(ints, ints + kItems, -9);
      std::fill(reals, reals + kItems, -9.0f);
      std::fill(texts, texts + sizeof texts, '#');
      recio::ReadStatement r(1, c.format, recio::kErrorsAndEnd);
      for (size_t i = 0; i < (bulk ? 1 : kItems); ++i) {
        const size_t n = bulk ? kItems : 1;
        if (c.kind == 'i') r.items(ints + i, n);
        if (c.kind == 'f') r.items(reals + i, n);
        if (c.kind == 'a') r.texts(texts + 2 * i, 2, n);
      }
      const int32_t status = r.finish();
      std::string values;
      for (size_t i = 0; i < kItems; ++i)
        values += std::to_string(ints[i]) + "/" + std::to_string(reals[i]) + " ";
      values += std::string(texts, sizeof texts);
      (bulk ? bulk_values : single_values) = values;
      (bulk ? bulk_status : single_status) = status;
      (bulk ? bulk_rest : single_rest) = rest_of_line();
    }
    EXPECT_EQ(bulk_values, single_values);
    EXPECT_EQ(bulk_status, single_status);
    EXPECT_EQ(bulk_rest, single_rest);
  }
}

} // namespace
