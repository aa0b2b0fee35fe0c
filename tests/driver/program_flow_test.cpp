#include "driver/program_flow.h"
#include "support/runtime_fixture.h"

namespace {

using testing_support::RuntimeTest;

class ProgramFlow : public RuntimeTest {};

TEST_F(ProgramFlow, RunsInProcessToTheStop) {
  write_file("data.sao", "");
  start_run({"data.sao"});
  EXPECT_EQ(expect_end([] { driver::run_program(); }), 0);
  EXPECT_EQ(console_out(), "data.sao\r\nStop - Program terminated.\r\n\r\n");
  EXPECT_EQ(read_file("preflist.s"), "  Date (Day of year) Time\r\n\r\n");
}

} // namespace
