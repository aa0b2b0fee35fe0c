// Run-time error reports of reads and writes: the exact bytes on standard
// error, the traceback, and statuses instead of reports where the statement
// handles the condition itself.
#include "recio/error_codes.h"
#include "recio/field_input.h"
#include "recio/output_records.h"
#include "recio/run_errors.h"
#include "recio/units.h"
#include "support/runtime_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using recio::error_number;
using recio::ErrorCode;

std::string message(ErrorCode code) {
  return std::string(recio::message_text(error_number(code)));
}

class RunErrors : public testing_support::RuntimeTest {
protected:
  void start_with_main_frame(const std::string &console_input = "") {
    start_run({}, console_input);
    recio::push_traceback_frame(main_frame_);
  }
  recio::TracebackFrame main_frame_{nullptr, "vornet", "_main", 0};
};

TEST_F(RunErrors, EndOfStandardInputAtTheUnhandledConsoleRead) {
  start_with_main_frame();
  recio::set_statement(206);
  const int status = expect_end([] {
    char reply[80];
    recio::ReadStatement r(recio::kConsoleInput, "(a)", recio::kNoHandling);
    r.item(reply, sizeof reply);
    r.finish();
  });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(console_err(), "\r\nvornet(206) : run-time error F6501: READ(CON)\r\n- " +
                               message(ErrorCode::end_of_file) +
                               "\r\n\r\nExecution traceback:\r\n"
                               "\t\tfrom main program in vornet(206)\r\n");
  EXPECT_EQ(console_out(), "");
}

TEST_F(RunErrors, UnhandledErrorOfAFileReadNamesTheFile) {
  start_with_main_frame();
  write_file("data.sao", "abc\n");
  recio::connect_unit(1, "data.sao", "", 120);
  recio::set_statement(12);
  const int status = expect_end([] {
    int32_t v = 0;
    recio::ReadStatement r(1, "(I3)", recio::kEndOnly);
    r.item(v);
    r.finish();
  });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(console_err(), "\r\nvornet(12) : run-time error F" +
                               std::to_string(error_number(ErrorCode::integer_syntax)) +
                               ": READ(data.sao)\r\n- " + message(ErrorCode::integer_syntax) +
                               "\r\n\r\nExecution traceback:\r\n"
                               "\t\tfrom main program in vornet(12)\r\n");
}

TEST_F(RunErrors, ReportWithoutFramesHasNoPrefixAndNoTraceback) {
  start_run();
  write_file("in.txt", "");
  recio::connect_unit(1, "in.txt", "", 120);
  EXPECT_EQ(expect_end([] {
              recio::ReadStatement r(1, "(a)", recio::kNoHandling);
              r.finish();
            }),
            1);
  EXPECT_EQ(console_err(), "\r\nrun-time error F6501: READ(in.txt)\r\n- " +
                               message(ErrorCode::end_of_file) + "\r\n");
}

TEST_F(RunErrors, TracebackListsEveryFrameNewestFirst) {
  start_with_main_frame();
  recio::set_statement(40);
  recio::TracebackFrame reader{nullptr, "vornet", "_read_index@8", 0};
  recio::push_traceback_frame(reader);
  recio::set_statement(3);
  recio::write_traceback();
  EXPECT_EQ(console_err(), "\r\nExecution traceback:\r\n"
                           "\t\tfrom read_index in vornet(3)\r\n"
                           "\t\tfrom main program in vornet(40)\r\n");
}

// A statement that takes the condition as its status gets it without a
// report, and the run goes on.
TEST_F(RunErrors, HandledConditionsBecomeStatuses) {
  struct Case {
    const char *content;
    recio::Handling handling;
    bool real_item;
    size_t items;
    int32_t status;
  };
  const Case cases[] = {
      {"abc\n", recio::kErrorsAndEnd, false, 1, error_number(ErrorCode::integer_syntax)},
      {"1.5\n", recio::kErrorsAndEnd, true, 1, error_number(ErrorCode::input_kind_mismatch)},
      {"", recio::kErrorsAndEnd, false, 1, -1},
      {"", recio::kEndOnly, false, 1, -1},
      {"  1\n", recio::kEndOnly, false, 2, -1}, // the end met in the second record
  };
  start_with_main_frame();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.content);
    write_file("in.txt", c.content);
    recio::connect_unit(1, "in.txt", "", 120);
    int32_t v[2] = {};
    float f = 0;
    recio::ReadStatement r(1, "(I3)", c.handling);
    if (c.real_item)
      r.item(f);
    else
      r.items(v, c.items);
    EXPECT_EQ(r.finish(), c.status);
  }
  EXPECT_EQ(console_err(), "");
  EXPECT_EQ(console_out(), "");
}

TEST_F(RunErrors, EndOfFileWithoutItsFlagIsReported) {
  start_with_main_frame();
  write_file("in.txt", "");
  recio::connect_unit(1, "in.txt", "", 120);
  recio::set_statement(7);
  EXPECT_EQ(expect_end([] {
              recio::ReadStatement r(1, "(a)", recio::Handling{false, false});
              r.finish();
            }),
            1);
  EXPECT_NE(console_err().find("vornet(7) : run-time error F6501: READ(in.txt)\r\n"),
            std::string::npos);
}

TEST_F(RunErrors, StopClosesAPendingConsoleLine) {
  start_run();
  recio::write_list(recio::kConsoleOutput, {"x"});
  EXPECT_EQ(expect_end([] { recio::stop_run(); }), 0);
  EXPECT_EQ(console_out(), "x\r\nStop - Program terminated.\r\n\r\n");
  EXPECT_EQ(console_err(), "");
}

TEST_F(RunErrors, StopAfterAConsoleRead) {
  start_run({}, "reply\n");
  recio::write_list(recio::kConsoleOutput, {" enter the input filename:"});
  {
    char reply[10];
    recio::ReadStatement r(recio::kConsoleInput, "(a)", recio::kNoHandling);
    r.item(reply, sizeof reply);
    EXPECT_EQ(r.finish(), 0);
  }
  EXPECT_EQ(expect_end([] { recio::stop_run(); }), 0);
  EXPECT_EQ(console_out(), " enter the input filename:\r\nStop - Program terminated.\r\n");
}

} // namespace
