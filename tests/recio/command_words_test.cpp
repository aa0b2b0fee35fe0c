// The words of a Windows command line, split as a console program's run-time
// library splits them; on Windows, patterns expanded to the names they match.
#include "recio/host/command_words.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
#include "recio/host/utf16.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#endif

namespace {

using recio::host::CommandWord;
using recio::host::split_command_line;

struct Split {
  const char *name;
  std::u16string line;
  std::vector<std::u16string> words; // after the program's name
  std::vector<bool> patterns;        // of those words
};

void PrintTo(const Split &c, std::ostream *os) {
  *os << c.name;
}

class CommandLine : public ::testing::TestWithParam<Split> {};

TEST_P(CommandLine, SplitsAsTheRunTimeLibraryDoes) {
  const Split &p = GetParam();
  const std::vector<CommandWord> words = split_command_line(p.line);
  ASSERT_EQ(words.size(), p.words.size() + 1);
  EXPECT_EQ(words[0].text, u"vornet.exe");
  for (size_t i = 0; i < p.words.size(); ++i) {
    EXPECT_EQ(words[i + 1].text, p.words[i]) << "word " << i + 1;
    EXPECT_EQ(words[i + 1].pattern, p.patterns.empty() ? false : bool(p.patterns[i]))
        << "word " << i + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLine,
    ::testing::Values(
        Split{"NameAlone", u"vornet.exe", {}, {}},
        Split{"QuotedProgramName", u"\"vornet.exe\" a.sao", {u"a.sao"}, {}},
        Split{"BlanksAndTabs", u"vornet.exe  \t a.sao\t b.sao  ", {u"a.sao", u"b.sao"}, {}},
        Split{"QuotedBlanks", u"vornet.exe \"Jülich station.SAO\"", {u"Jülich station.SAO"}, {}},
        Split{"QuotesInsideAWord", u"vornet.exe data\\\"my dir\"\\x", {u"data\"my", u"dir\\x"}, {}},
        Split{"QuotedStretchJoins", u"vornet.exe a\"b c\"d", {u"ab cd"}, {}},
        Split{"BackslashesAreThemselves",
              u"vornet.exe sub\\\\aux.sao C:\\data\\",
              {u"sub\\\\aux.sao", u"C:\\data\\"},
              {}},
        Split{"EscapedQuote", u"vornet.exe a\\\"b", {u"a\"b"}, {}},
        Split{"PairsBeforeAQuote", u"vornet.exe \"C:\\dir\\\\\" x", {u"C:\\dir\\", u"x"}, {}},
        Split{"OddBackslashesBeforeAQuote", u"vornet.exe a\\\\\\\"b", {u"a\\\"b"}, {}},
        Split{"DoubledQuoteInsideQuotes", u"vornet.exe \"a\"\"b c\"", {u"a\"b c"}, {}},
        Split{"EmptyQuotedWord", u"vornet.exe \"\" x", {u"", u"x"}, {}},
        Split{"UnclosedQuote", u"vornet.exe \"a b", {u"a b"}, {}},
        Split{"Unicode", u"vornet.exe Тромсё.SAO 武汉.SAO", {u"Тромсё.SAO", u"武汉.SAO"}, {}},
        Split{"Patterns",
              u"vornet.exe *.SAO day?.sao plain",
              {u"*.SAO", u"day?.sao", u"plain"},
              {true, true, false}},
        Split{"QuotedPatternIsAName",
              u"vornet.exe \"*.SAO\" \"my dir\"\\*.SAO",
              {u"*.SAO", u"my dir\\*.SAO"},
              {false, true}}),
    [](const auto &info) { return std::string(info.param.name); });

// The program's name is taken up to a blank, with quotes only grouping:
// a path such as "C:\Program Files\vornet\" keeps its last backslash.
TEST(CommandLine, ProgramNameHasNoBackslashRule) {
  const auto words = split_command_line(u"\"C:\\Program Files\\vornet\\\" a.sao");
  ASSERT_EQ(words.size(), 2u);
  EXPECT_EQ(words[0].text, u"C:\\Program Files\\vornet\\");
  EXPECT_EQ(words[1].text, u"a.sao");
  EXPECT_EQ(split_command_line(u"").size(), 1u);
}

#ifdef _WIN32
namespace fs = std::filesystem;

std::string utf8(const std::u16string &units) {
  std::string bytes;
  recio::host::utf16_to_utf8(units, bytes);
  return bytes;
}

// Patterns in a directory of the test's own: the names they match in name
// order, without regard to case; a pattern that matches nothing, a quoted
// one and "/?" stay as typed.
TEST(CommandLineOnWindows, PatternsExpandInNameOrder) {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path dir = fs::temp_directory_path() / ("vornet-words-" + std::to_string(stamp));
  ASSERT_TRUE(fs::create_directory(dir));
  for (const char16_t *name : {u"b.SAO", u"A.SAO", u"c.sao", u"d.txt", u"Тромсё.SAO"})
    std::ofstream(dir / fs::path(std::u16string(name))) << "x";
  const std::u16string at = u"\"" + dir.u16string() + u"\"\\";
  const std::u16string in = dir.u16string() + u"\\";
  const std::vector<std::string> words = recio::host::expand_command_line(
      u"vornet.exe " + at + u"*.SAO " + at + u"none*.x \"" + in + u"*.SAO\" /? plain");
  const std::vector<std::string> expected = {"vornet.exe",
                                             utf8(in + u"A.SAO"),
                                             utf8(in + u"b.SAO"),
                                             utf8(in + u"c.sao"),
                                             utf8(in + u"Тромсё.SAO"),
                                             utf8(in + u"none*.x"),
                                             utf8(in + u"*.SAO"),
                                             "/?",
                                             "plain"};
  EXPECT_EQ(words, expected);
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}
#endif

} // namespace
