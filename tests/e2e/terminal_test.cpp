// The console on an interactive terminal: one connection serves both
// directions, the typed lines are echoed by the terminal, and a typed line is
// limited to 130 characters.
#include "e2e/pty_runner.h"
#include "e2e/run_texts.h"

#include <gtest/gtest.h>

namespace {

using e2e::RunResult;
using e2e::ScratchDir;
using e2e::TerminalStep;

const std::string kNamePrompt(e2e::kNamePrompt);
// The filename prompt and the line end its reply read writes first.
const std::string kAsked = " enter the input filename:\r\n";

struct Dialogue {
  const char *name;
  std::string prescan_finding; // console text of the finding, "" for a clean file
};

void PrintTo(const Dialogue &c, std::ostream *os) { *os << c.name; }

class TerminalDialogue : public ::testing::TestWithParam<Dialogue> {};

TEST_P(TerminalDialogue, PromptsAndRepliesWithoutArgument) {
  ScratchDir dir;
  std::vector<std::string> lines = e2e::split_lines(e2e::two_records());
  const bool damaged = !GetParam().prescan_finding.empty();
  if (damaged) lines.at(6) = ""; // the second index line of the second record
  dir.write("data.sao", e2e::join_lines(lines));
  const RunResult r = e2e::run_vornet_on_terminal(
      dir, {}, {TerminalStep{kNamePrompt, "data.sao\r"}, TerminalStep{kAsked, "whatever\r"}});
  EXPECT_EQ(r.exit_status, 0);
  // The echo of each typed line ends its line; the first console record has
  // no line end in front, and after the reply read nothing is pending, so no
  // empty line follows the stop.
  EXPECT_EQ(r.out, kNamePrompt + "data.sao\n" + GetParam().prescan_finding + kAsked +
                       "whatever\nStop - Program terminated.\r\n");
  EXPECT_EQ(r.err, "");
  const std::string list = damaged ? " " + GetParam().prescan_finding : "";
  EXPECT_EQ(r.list, list + e2e::two_listings());
}

INSTANTIATE_TEST_SUITE_P(
    Files, TerminalDialogue,
    ::testing::Values(Dialogue{"Clean", ""},
                      Dialogue{"Damaged", "-----> Blank line in sao file @ line        7 <-----\r\n"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(TerminalConsole, ArgumentIsEchoed) {
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  const RunResult r = e2e::run_vornet_on_terminal(dir, {"data.sao"}, {});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, "data.sao\r\nStop - Program terminated.\r\n\r\n");
  EXPECT_EQ(r.list, e2e::two_listings());
  EXPECT_EQ(r.err, "");
}

TEST(TerminalConsole, BlankRepliesRepeatThePrompt) {
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  const RunResult r = e2e::run_vornet_on_terminal(dir, {},
                                                  {TerminalStep{kNamePrompt, "\r"},
                                                   TerminalStep{kNamePrompt, "   \r"},
                                                   TerminalStep{kNamePrompt, " data.sao \r"},
                                                   TerminalStep{kAsked, "\r"}});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, kNamePrompt + "\n" + kNamePrompt + "   \n" + kNamePrompt + " data.sao \n" +
                       kAsked + "\nStop - Program terminated.\r\n");
  EXPECT_EQ(r.list, e2e::two_listings());
}

class TerminalReplyLength : public ::testing::TestWithParam<size_t> {};

// A typed line of more than 130 characters is an error on a terminal.
TEST_P(TerminalReplyLength, LimitIs130Characters) {
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  const std::string reply(GetParam(), 'r');
  const RunResult r = e2e::run_vornet_on_terminal(
      dir, {}, {TerminalStep{kNamePrompt, "data.sao\r"}, TerminalStep{kAsked, reply + "\r"}});
  const std::string shown = kNamePrompt + "data.sao\n" + kAsked + reply + "\n";
  if (GetParam() <= 130) {
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.out, shown + "Stop - Program terminated.\r\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.list, e2e::two_listings());
  } else {
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, shown);
    EXPECT_TRUE(e2e::is_report(r.err, "F6306: READ(CON)", 206));
    EXPECT_EQ(r.list, "");
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, TerminalReplyLength, ::testing::Values(0, 129, 130, 131, 200),
                         [](const auto &info) { return "Length" + std::to_string(info.param); });

TEST(TerminalConsole, EndOfFileKeyAtFilenameReply) {
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  const RunResult r = e2e::run_vornet_on_terminal(
      dir, {}, {TerminalStep{kNamePrompt, "data.sao\r"}, TerminalStep{kAsked, "\x04"}});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, kNamePrompt + "data.sao\n" + kAsked);
  EXPECT_TRUE(e2e::is_report(r.err, "F6501: READ(CON)", 206));
  EXPECT_EQ(r.list, "");
}

// The end of the terminal's input at the blank-name prompt ends the run
// instead of asking without end.
TEST(TerminalConsole, EndOfFileKeyAtNamePrompt) {
  ScratchDir dir;
  const RunResult r =
      e2e::run_vornet_on_terminal(dir, {}, {TerminalStep{kNamePrompt, "\x04"}});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.out, kNamePrompt);
  EXPECT_TRUE(e2e::is_report(r.err, "F6501: OPEN()", 166));
}

} // namespace
