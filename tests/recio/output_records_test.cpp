// Formatted and list-directed output: list-file records, the console's
// carriage control and pending line end, and internal writes.
#include "recio/error_codes.h"
#include "recio/field_input.h"
#include "recio/output_records.h"
#include "recio/units.h"
#include "support/runtime_fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

using recio::error_number;
using recio::ErrorCode;

const char kBlankLine[] = " -----> Blank line in sao file @ line ";

class OutputRecords : public testing_support::RuntimeTest {
protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    start_run({}, "reply\n");
    recio::connect_unit(20, "list.txt", "", 1024);
  }

  // The list file as the end of the run leaves it.
  std::string list_file() {
    recio::close_all_units();
    return read_file("list.txt");
  }

  static void message(int32_t unit, int32_t line) {
    recio::WriteStatement w(unit, "(a,i8,a)");
    w.item(kBlankLine);
    w.item(line);
    w.item(" <-----");
    w.finish();
  }

  static std::string internal(std::string_view format, std::string_view text, size_t length = 12) {
    std::string variable(length, '#');
    recio::write_internal(variable.data(), variable.size(), format, {text});
    return variable;
  }
};

TEST_F(OutputRecords, MessageRecordInTheListFile) {
  message(20, 5);
  const std::string record = " -----> Blank line in sao file @ line        5 <-----";
  ASSERT_EQ(record.size(), 53u);
  EXPECT_EQ(list_file(), record + "\r\n");
}

TEST_F(OutputRecords, MessageOnTheConsoleLosesItsCarriageControl) {
  message(recio::kConsoleOutput, 5);
  EXPECT_EQ(console_out(), "-----> Blank line in sao file @ line        5 <-----");
  recio::close_all_units();
  EXPECT_EQ(console_out(), "-----> Blank line in sao file @ line        5 <-----\r\n");
}

TEST_F(OutputRecords, IntegerFields) {
  struct Case {
    const char *format;
    int32_t value;
    std::string record;
  };
  const Case cases[] = {
      {"(I8)", 17, "      17"},
      {"(I8)", 0, "       0"},
      {"(I8)", -1234567, "-1234567"},
      {"(I8)", 12345678, "12345678"},
      {"(I8)", 123456789, "********"},
      {"(I8)", -12345678, "********"},
      {"(I3)", 1000, "***"},
      {"(I1)", -1, "*"},
      {"(I11)", INT32_MIN, "-2147483648"},
      {"(I12)", INT32_MAX, "  2147483647"},
      {"(I20)", INT32_MIN, "         -2147483648"},
      {"(I40)", 1, std::string(39, ' ') + "1"},
  };
  std::string expected;
  for (const Case &c : cases) {
    recio::WriteStatement w(20, c.format);
    w.item(c.value);
    w.finish();
    expected += c.record + "\r\n";
  }
  EXPECT_EQ(list_file(), expected);
}

TEST_F(OutputRecords, LineNumberTooWideForItsField) {
  message(20, 123456789);
  EXPECT_EQ(list_file(), std::string(kBlankLine) + "******** <-----\r\n");
}

TEST_F(OutputRecords, HeaderAndEmptyRecord) {
  recio::write_formatted(20, "(a/)", {"  Date (Day of year) Time"});
  EXPECT_EQ(list_file(), "  Date (Day of year) Time\r\n\r\n");
}

TEST_F(OutputRecords, ListingLine) {
  recio::write_formatted(20, "(a,1h.,a,1h.,a,2h (,a,2h) ,a,1h:,a,1h:,a)",
                         {"2024", "03", "05", "065", "14", "07", "09"});
  EXPECT_EQ(list_file(), "2024.03.05 (065) 14:07:09\r\n");
}

TEST_F(OutputRecords, TextFieldWidths) {
  struct Case {
    const char *format;
    const char *text;
    const char *record;
  };
  const Case cases[] = {
      {"(A5)", "abc", "  abc"}, {"(A3)", "abc", "abc"}, {"(A2)", "abc", "ab"},
      {"(A)", "abc", "abc"},    {"(A)", "", ""},        {"(A4,A)", "x", "   x"},
  };
  std::string expected;
  for (const Case &c : cases) {
    recio::write_formatted(20, c.format, {c.text});
    expected += std::string(c.record) + "\r\n";
  }
  EXPECT_EQ(list_file(), expected);
}

// A skip writes blanks only in front of something that follows it in the
// same record.
TEST_F(OutputRecords, SkipsAndReversion) {
  recio::write_formatted(20, "(a,3x)", {"ab"});
  recio::write_formatted(20, "(3x,a)", {"ab"});
  recio::write_formatted(20, "(a,2x,1hz)", {"ab"});
  recio::write_formatted(20, "(a,2x)", {"ab", "cd"}); // the skip before the reversion is lost
  {
    recio::WriteStatement w(20, "(a,2(i2))");
    w.item("x");
    for (int32_t v : {1, 2, 3, 4, 5})
      w.item(v);
    w.finish();
  }
  recio::write_formatted(20, "(a,1h;)", {"p", "q"});
  EXPECT_EQ(list_file(), "ab\r\n"
                         "   ab\r\n"
                         "ab  z\r\n"
                         "ab\r\ncd\r\n"
                         "x 1 2\r\n 3 4\r\n 5\r\n"
                         "p;\r\nq;\r\n");
}

TEST_F(OutputRecords, TextRunsWriteLikeSingleItems) {
  const std::string stamp = "2024.03.05 065 14:07:09";
  std::string one(40, '#'), run(40, '#');
  {
    recio::WriteStatement w(one.data(), one.size(), "(30A1)");
    for (char c : stamp)
      w.item(std::string_view(&c, 1));
    w.finish();
  }
  {
    recio::WriteStatement w(run.data(), run.size(), "(30A1)");
    w.texts(stamp.data(), 1, stamp.size());
    w.finish();
  }
  EXPECT_EQ(run, one);
  EXPECT_EQ(run, stamp + std::string(40 - stamp.size(), ' '));
}

// Texts written straight where the format is one text descriptor as wide
// as them, and through a statement otherwise: the same variable, or the
// same end of the run.
TEST_F(OutputRecords, InternalTextsWriteAsTheStatement) {
  struct Case {
    const char *format;
    size_t length, n, size;
  };
  const Case cases[] = {
      {"(120A1)", 1, 77, 200},  {"(120A1)", 1, 120, 200}, {"(120A1)", 1, 121, 200},
      {"(120A1)", 1, 120, 120}, {"(3A2)", 2, 3, 7},       {"(3A2)", 2, 4, 9},
      {"(A2)", 1, 1, 4},        {"(A)", 3, 2, 8},         {"(2X,A1)", 1, 2, 6},
      {"(5A1/)", 1, 2, 5},      {"(I3)", 1, 1, 5},        {"(120A1)", 1, 9, 8},
  };
  std::string text;
  for (int i = 0; i < 130; ++i)
    text += static_cast<char>('!' + i % 90);
  struct Result {
    int status;
    std::string variable, report;
    bool operator==(const Result &) const = default;
  };
  const auto write = [&](const Case &c, bool straight) {
    start_run();
    Result r{0, std::string(c.size, '#'), ""};
    r.status = expect_end([&] {
      if (straight) {
        recio::write_internal_texts(r.variable.data(), c.size, recio::cached_format(c.format),
                                    text.data(), c.length, c.n);
      } else {
        recio::WriteStatement w(r.variable.data(), c.size, c.format);
        w.texts(text.data(), c.length, c.n);
        w.finish();
      }
      throw testing_support::ProcessEnded{-2}; // went on
    });
    r.report = console_err();
    return r;
  };
  for (const Case &c : cases)
    EXPECT_EQ(write(c, true), write(c, false)) << c.format << " n " << c.n;
}

TEST_F(OutputRecords, RecordOfOneTextAsTheFormatA) {
  for (const char *text : {"2024.03.05 (065) 14:07:09", "", " x "})
    recio::write_record(20, text);
  for (const char *text : {"2024.03.05 (065) 14:07:09", "", " x "})
    recio::write_formatted(20, "(a)", {text});
  const std::string list = list_file();
  ASSERT_EQ(list.size() % 2, 0u);
  EXPECT_EQ(list.substr(0, list.size() / 2), list.substr(list.size() / 2));
  EXPECT_EQ(list.substr(0, list.size() / 2), "2024.03.05 (065) 14:07:09\r\n\r\n x \r\n");
}

TEST_F(OutputRecords, FormatSlotsFilledByInternalWrites) {
  struct Case {
    const char *format;
    const char *text;
    const char *slot;
  };
  const Case cases[] = {
      {"(4X,A8)", "(40I3)", "      (40I3)"},   {"(2X,A10)", "(16F7.3)", "    (16F7.3)"},
      {"(3X,A9)", "(120A1)", "     (120A1)"},  {"(3X,A8)", "(60I2)", "     (60I2) "},
      {"(A12)", "(13E9.4E1)", "  (13E9.4E1)"}, {"(A11)", "(6E20.12)", "  (6E20.12) "},
  };
  for (const Case &c : cases)
    EXPECT_EQ(internal(c.format, c.text), c.slot) << c.format;
}

TEST_F(OutputRecords, InternalWriteFillsExactlyItsVariable) {
  EXPECT_EQ(internal("(A12)", "abcdefghijkl"), "abcdefghijkl");
  EXPECT_EQ(internal("(A)", "", 3), "   ");
  EXPECT_EQ(internal("(11X,A1)", "z"), "           z");
}

TEST_F(OutputRecords, InternalWriteOverflowingItsVariableEndsTheRun) {
  EXPECT_EQ(expect_end([] { internal("(A13)", "x"); }), 1);
  EXPECT_NE(
      console_err().find("F" + std::to_string(error_number(ErrorCode::internal_write_overflow))),
      std::string::npos);
}

TEST_F(OutputRecords, InternalWriteNeedingASecondRecordEndsTheRun) {
  EXPECT_EQ(expect_end([] { internal("(a/)", "x"); }), 1);
  EXPECT_NE(console_err().find(
                "F" + std::to_string(error_number(ErrorCode::internal_write_second_record))),
            std::string::npos);
}

TEST_F(OutputRecords, TextAtAnIntegerDescriptorEndsTheRun) {
  EXPECT_EQ(expect_end([] { recio::write_formatted(20, "(I8)", {"x"}); }), 1);
}

// The first console record has no line end before it; each later one does;
// a console read writes the pending one and clears it; the end of the run
// closes the last line.
TEST_F(OutputRecords, ConsoleCarriageControl) {
  EXPECT_EQ(console_out(), "");
  recio::write_list(recio::kConsoleOutput, {"one"});
  EXPECT_EQ(console_out(), "one");
  recio::write_list(recio::kConsoleOutput, {"two"});
  EXPECT_EQ(console_out(), "one\r\ntwo");
  {
    char reply[20];
    recio::ReadStatement r(recio::kConsoleInput, "(a)", recio::kNoHandling);
    EXPECT_EQ(console_out(), "one\r\ntwo\r\n");
    r.item(reply, sizeof reply);
    EXPECT_EQ(r.finish(), 0);
    EXPECT_EQ(std::string(reply, 5), "reply");
  }
  recio::write_list(recio::kConsoleOutput, {" enter the input filename:"});
  EXPECT_EQ(console_out(), "one\r\ntwo\r\n enter the input filename:");
  recio::write_formatted(recio::kConsoleOutput, "(a/a)", {" x", " y"});
  recio::close_all_units();
  EXPECT_EQ(console_out(), "one\r\ntwo\r\n enter the input filename:\r\nx\r\ny\r\n");
}

TEST_F(OutputRecords, ListDirectedLinesHoldSeventyNineCharacters) {
  struct Case {
    std::vector<std::string> texts;
    std::string shown; // on the console, after the end of the run
  };
  const std::string t79(79, 'a'), t80 = std::string(79, 'b') + "c";
  const Case cases[] = {
      {{t80}, std::string(79, 'b') + "\r\nc\r\n"},
      {{t79}, t79 + "\r\n\r\n"},
      {{""}, "\r\n"},
      {{"ab", "cd"}, "abcd\r\n"},
      {{std::string(70, 'x'), std::string(20, 'y')},
       std::string(70, 'x') + std::string(9, 'y') + "\r\n" + std::string(11, 'y') + "\r\n"},
      {{std::string(200, 'z')},
       std::string(79, 'z') + "\r\n" + std::string(79, 'z') + "\r\n" + std::string(42, 'z') +
           "\r\n"},
  };
  for (const Case &c : cases) {
    start_run();
    if (c.texts.size() == 1) {
      recio::write_list(recio::kConsoleOutput, {c.texts[0]});
    } else {
      recio::write_list(recio::kConsoleOutput, {c.texts[0], c.texts[1]});
    }
    recio::close_all_units();
    EXPECT_EQ(console_out(), c.shown) << c.texts[0].size();
  }
}

} // namespace
