#include "e2e/run_binary.h"

#include <gtest/gtest.h>

namespace {

const std::string kExample = std::string(VORNET_SOURCE_DIR) + "/examples/station.sao";
const std::string kExampleListing = std::string(VORNET_SOURCE_DIR) + "/examples/station.preflist.s";

TEST(Smoke, EmptyInputStops) {
  e2e::ScratchDir dir;
  dir.write("empty.sao", "");
  const e2e::RunResult r = e2e::run_vornet(dir, {{"empty.sao"}, "", false});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, "empty.sao\r\nStop - Program terminated.\r\n\r\n");
  EXPECT_EQ(r.list, "  Date (Day of year) Time\r\n\r\n");
  EXPECT_EQ(r.err, "");
}

// The shipped example and the listing shipped with it (which CI compares the
// installed package's output with) stay in step; the compressed form is read
// as the README shows it.
TEST(Smoke, ShippedExampleGivesItsListing) {
  struct Case {
    const char *name;
    const char *script;
  };
  const Case cases[] = {
      {"file", R"("$0" "$1")"},
      {"compressed, through process substitution",
       R"(gzip -c "$1" > station.SAO.gz && "$0" <(zcat station.SAO.gz))"},
      {"compressed, through standard input",
       R"(gzip -c "$1" > station.SAO.gz && zcat station.SAO.gz | "$0" /dev/stdin)"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    e2e::ScratchDir dir;
    const e2e::RunResult r = e2e::run_script(dir, c.script, {{kExample}, "", false});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.list, e2e::slurp(kExampleListing));
  }
}

} // namespace
