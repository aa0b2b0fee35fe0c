// The console dialogue with standard input and output on pipes: the blank-name
// prompt and its replies, the argument forms, and the end of standard input.
#include "e2e/run_binary.h"
#include "e2e/run_texts.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using e2e::RunResult;
using e2e::ScratchDir;

std::string repeated(std::string_view text, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += text;
  return s;
}

struct Replies {
  const char *name;
  std::string stdin_data; // up to and including the reply that names data.sao
  int prompts;
};

void PrintTo(const Replies &c, std::ostream *os) { *os << c.name; }

class ConsoleNameReplies : public ::testing::TestWithParam<Replies> {};

TEST_P(ConsoleNameReplies, BlankRepliesRepeatThePrompt) {
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  const Replies &p = GetParam();
  const RunResult r = e2e::run_vornet(dir, {{}, p.stdin_data + "unused reply\n", false});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, repeated(e2e::kNamePrompt, p.prompts) +
                       " enter the input filename:\r\nStop - Program terminated.\r\n");
  EXPECT_EQ(r.list, e2e::two_listings());
  EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Stdin, ConsoleNameReplies,
    ::testing::Values(
        Replies{"Direct", "data.sao\n", 1},
        Replies{"EmptyLine", "\ndata.sao\n", 2},
        Replies{"Blanks", "     \ndata.sao\n", 2},
        Replies{"SeveralBlankReplies", "\n \n\n   \ndata.sao\n", 5},
        Replies{"CarriageReturnOnly", "\r\ndata.sao\n", 2},
        Replies{"BlankBeforeCarriageReturn", "  \r junk\ndata.sao\n", 2},
        Replies{"Padded", "   data.sao  \n", 1},
        Replies{"CarriageReturnLineEnd", "data.sao\r\n", 1},
        Replies{"DataAfterCarriageReturnIgnored", "data.sao\rother\n", 1}),
    [](const auto &info) { return std::string(info.param.name); });

class ConsoleBlankArgument : public ::testing::TestWithParam<const char *> {};

// An argument that trims to nothing does not name the input: the prompt asks.
TEST_P(ConsoleBlankArgument, LeadsToThePrompt) {
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  const RunResult r = e2e::run_vornet(dir, {{GetParam()}, "data.sao\n", false});
  EXPECT_EQ(r.exit_status, 0);
  const std::string prompt(e2e::kNamePrompt);
  EXPECT_EQ(r.out.substr(0, prompt.size()), prompt);
  EXPECT_EQ(r.out.find("File name missing", 1), std::string::npos) << "prompt repeated";
  EXPECT_EQ(r.out.find("enter the input filename"), std::string::npos)
      << "an argument is present: the name is echoed, not asked for";
  // What the echo of an all-blank name shows is left open; the stop follows it.
  EXPECT_NE(r.out.find(e2e::kStop, prompt.size()), std::string::npos);
  EXPECT_EQ(r.list, e2e::two_listings());
  EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Arguments, ConsoleBlankArgument, ::testing::Values("", " ", "    "));

TEST(ConsoleDialogue, PaddedArgumentNamesTrimmedFile) {
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  const RunResult r = e2e::run_vornet(dir, {{"  data.sao "}, "", false});
  EXPECT_EQ(r.exit_status, 0);
  // The echo keeps the leading blanks and drops the trailing one.
  EXPECT_EQ(r.out, "  data.sao\r\nStop - Program terminated.\r\n\r\n");
  EXPECT_EQ(r.list, e2e::two_listings());
  EXPECT_NE(::access(dir.file("  data.sao ").c_str(), F_OK), 0);
}

TEST(ConsoleDialogue, EveryArgumentNamesAnInput) {
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  const RunResult r = e2e::run_vornet(dir, {{"data.sao", "other.sao"}, "", false});
  // The second file is missing: its run ends in the report, and so the whole.
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, "data.sao\r\nStop - Program terminated.\r\n\r\n");
  EXPECT_NE(r.err.find("F6416: OPEN(other.sao)"), std::string::npos);
  EXPECT_EQ(r.list, e2e::two_listings());
  EXPECT_NE(::access(dir.file("other.sao").c_str(), F_OK), 0);
}

TEST(ConsoleDialogue, LongFilenameReplyFromPipeIsAccepted) {
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  const RunResult r =
      e2e::run_vornet(dir, {{}, "data.sao\n" + std::string(200, 'x') + "\n", false});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, std::string(e2e::kNamePrompt) +
                       " enter the input filename:\r\nStop - Program terminated.\r\n");
  EXPECT_EQ(r.list, e2e::two_listings());
  EXPECT_EQ(r.err, "");
}

TEST(ConsoleDialogue, EndOfStdinAtFilenameReply) {
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  const RunResult r = e2e::run_vornet(dir, {{}, "data.sao\n", false});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, std::string(e2e::kNamePrompt) + " enter the input filename:\r\n");
  EXPECT_TRUE(e2e::is_report(r.err, "F6501: READ(CON)", 206));
  // The run ended before the header.
  EXPECT_EQ(r.list, "");
}

struct EndAtPrompt {
  const char *name;
  std::string stdin_data;
  int prompts;
};

void PrintTo(const EndAtPrompt &c, std::ostream *os) { *os << c.name; }

class ConsoleEndAtNamePrompt : public ::testing::TestWithParam<EndAtPrompt> {};

// The end of standard input while the blank-name prompt waits ends the run
// instead of asking again and again.
TEST_P(ConsoleEndAtNamePrompt, EndsWithEndOfFile) {
  ScratchDir dir;
  const EndAtPrompt &p = GetParam();
  const RunResult r = e2e::run_vornet(dir, {{}, p.stdin_data, false});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, repeated(e2e::kNamePrompt, p.prompts));
  EXPECT_TRUE(e2e::is_report(r.err, "F6501: OPEN()", 166));
  EXPECT_NE(::access(dir.file("preflist.s").c_str(), F_OK), 0) << "list file connected";
}

INSTANTIATE_TEST_SUITE_P(Stdin, ConsoleEndAtNamePrompt,
                         ::testing::Values(EndAtPrompt{"Empty", "", 1},
                                           EndAtPrompt{"AfterEmptyLine", "\n", 2},
                                           EndAtPrompt{"AfterBlankLines", "  \n\n", 3},
                                           EndAtPrompt{"BlanksWithoutLineEnd", "   ", 2}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
