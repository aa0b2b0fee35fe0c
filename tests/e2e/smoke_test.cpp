#include "e2e/run_binary.h"

#include <gtest/gtest.h>

namespace {

TEST(Smoke, EmptyInputStops) {
  e2e::ScratchDir dir;
  dir.write("empty.sao", "");
  const e2e::RunResult r = e2e::run_vornet(dir, {{"empty.sao"}, "", false});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, "empty.sao\r\nStop - Program terminated.\r\n\r\n");
  EXPECT_EQ(r.list, "  Date (Day of year) Time\r\n\r\n");
  EXPECT_EQ(r.err, "");
}

} // namespace
