// Names between UTF-8 and UTF-16: every well-formed name goes there and back
// unchanged, and nothing else is ever taken for another name.
#include "recio/host/utf16.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using recio::host::utf16_to_utf8;
using recio::host::utf8_to_utf16;
using recio::host::utf8_to_utf16_for_display;

struct Pair {
  const char *name;
  std::string utf8;
  std::u16string utf16;
};

void PrintTo(const Pair &c, std::ostream *os) {
  *os << c.name;
}

class WellFormed : public ::testing::TestWithParam<Pair> {};

TEST_P(WellFormed, GoesThereAndBack) {
  const Pair &p = GetParam();
  std::u16string units = u"kept:";
  ASSERT_TRUE(utf8_to_utf16(p.utf8, units));
  EXPECT_EQ(units, u"kept:" + p.utf16);
  std::string bytes = "kept:";
  ASSERT_TRUE(utf16_to_utf8(p.utf16, bytes));
  EXPECT_EQ(bytes, "kept:" + p.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Names, WellFormed,
    ::testing::Values(Pair{"Empty", "", u""},
                      Pair{"Ascii", "TR169_2020064101500.SAO", u"TR169_2020064101500.SAO"},
                      Pair{"Accented", "J\xc3\xbclich Pr\xc5\xafhonice",
                           u"J\u00fclich Pr\u016fhonice"},
                      Pair{"Cyrillic", "\xd0\xa2\xd1\x80\xd0\xbe\xd0\xbc\xd1\x81\xd1\x91",
                           u"\u0422\u0440\u043e\u043c\u0441\u0451"},
                      Pair{"Cjk", "\xe6\xad\xa6\xe6\xb1\x89", u"\u6b66\u6c49"},
                      Pair{"BeyondTheFirstPlane", "\xf0\x9f\x8c\x8d.SAO", u"\U0001F30D.SAO"},
                      Pair{"EdgesOfEachLength",
                           "\x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xef\xbf\xbf"
                           "\xf0\x90\x80\x80\xf4\x8f\xbf\xbf",
                           u"\u007f\u0080\u07ff\u0800\ud7ff\ue000\uffff\U00010000\U0010FFFF"}),
    [](const auto &info) { return std::string(info.param.name); });

struct BadUtf8 {
  const char *name;
  std::string bytes;
};

void PrintTo(const BadUtf8 &c, std::ostream *os) {
  *os << c.name;
}

class IllFormedUtf8 : public ::testing::TestWithParam<BadUtf8> {};

TEST_P(IllFormedUtf8, IsRefusedAndAddsNothing) {
  std::u16string units = u"kept";
  EXPECT_FALSE(utf8_to_utf16("name" + GetParam().bytes + ".SAO", units));
  EXPECT_EQ(units, u"kept");
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, IllFormedUtf8,
    ::testing::Values(BadUtf8{"StrayContinuation", "\x80"}, BadUtf8{"LeadAlone", "\xc3"},
                      BadUtf8{"LeadBeforeAscii", "\xc3("}, BadUtf8{"ThreeCutShort", "\xe6\xad"},
                      BadUtf8{"FourCutShort", "\xf0\x9f\x8c"}, BadUtf8{"OverlongTwo", "\xc0\xaf"},
                      BadUtf8{"OverlongThree", "\xe0\x80\xaf"},
                      BadUtf8{"OverlongFour", "\xf0\x80\x80\xaf"},
                      BadUtf8{"EncodedHighSurrogate", "\xed\xa0\x80"},
                      BadUtf8{"EncodedLowSurrogate", "\xed\xbf\xbf"},
                      BadUtf8{"PastTheLastCodePoint", "\xf4\x90\x80\x80"},
                      BadUtf8{"NoSuchLead", "\xf5\x80\x80\x80"}, BadUtf8{"ByteFF", "\xff"},
                      BadUtf8{"Latin1", "J\xfclich"}),
    [](const auto &info) { return std::string(info.param.name); });

struct BadUtf16 {
  const char *name;
  std::u16string units;
};

void PrintTo(const BadUtf16 &c, std::ostream *os) {
  *os << c.name;
}

class LoneSurrogate : public ::testing::TestWithParam<BadUtf16> {};

// The name keeps its unit as the three bytes of its value, so that it stays
// the name given, and reading them back refuses it: the name reaches no file.
TEST_P(LoneSurrogate, IsAnErrorAndNeverAnotherName) {
  std::string bytes;
  EXPECT_FALSE(utf16_to_utf8(u"a" + GetParam().units + u".SAO", bytes));
  EXPECT_EQ(bytes.find('\xed'), 1u);
  std::u16string back;
  EXPECT_FALSE(utf8_to_utf16(bytes, back));
  EXPECT_TRUE(back.empty());
}

INSTANTIATE_TEST_SUITE_P(Units, LoneSurrogate,
                         ::testing::Values(BadUtf16{"HighAtTheEnd", u"\xd83c"},
                                           BadUtf16{"HighBeforeAscii", u"\xd83cx"},
                                           BadUtf16{"LowAlone", u"\xdf0d"},
                                           BadUtf16{"PairReversed", u"\xdf0d\xd83c"},
                                           BadUtf16{"TwoHighs", u"\xd83c\xd83c\xdf0d"}),
                         [](const auto &info) { return std::string(info.param.name); });

struct Shown {
  const char *name;
  std::string bytes;
  std::u16string shown;
  size_t left; // bytes kept back for the next piece
};

void PrintTo(const Shown &c, std::ostream *os) {
  *os << c.name;
}

class ForDisplay : public ::testing::TestWithParam<Shown> {};

TEST_P(ForDisplay, ReplacesWhatIsIllFormedAndKeepsBackAnOpenSequence) {
  const Shown &p = GetParam();
  std::u16string units;
  EXPECT_EQ(utf8_to_utf16_for_display(p.bytes, units), p.left);
  EXPECT_EQ(units, p.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ForDisplay,
    ::testing::Values(Shown{"WellFormed", "J\xc3\xbclich\r\n", u"J\u00fclich\r\n", 0},
                      Shown{"StrayByte",
                            "a\xff"
                            "b",
                            u"a\ufffdb", 0},
                      Shown{"OverlongIsTwoReplacements", "\xc0\xaf", u"\ufffd\ufffd", 0},
                      Shown{"CutShortBeforeMore",
                            "\xe6\xad"
                            "b",
                            u"\ufffdb", 0},
                      Shown{"OpenAtTheEnd", "ab\xe6\xad", u"ab", 2},
                      Shown{"OpenFourAtTheEnd", "\xf0\x9f", u"", 2}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
