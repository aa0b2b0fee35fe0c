// Memory the host refuses: every allocation of a run, refused in turn, ends
// the run with a report and status 1, or is done without, and the run lists
// as it does with memory to spare; never an abort. On a file and on a pipe.
#include "e2e/run_binary.h"
#include "e2e/run_texts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using e2e::RunResult;
using e2e::ScratchDir;

#ifdef VORNET_REFUSE_ALLOCATION_SHIM
struct Source {
  const char *name;
  const char *script; // $0 the program, $1 the input file; the shim's words before the program
};

void PrintTo(const Source &s, std::ostream *os) { *os << s.name; }

class RefusedAllocation : public testing::TestWithParam<Source> {
protected:
  RunResult run(const ScratchDir &dir, const std::string &shim_words) {
    std::string script = GetParam().script;
    script.replace(script.find("SHIM"), 4, "LD_PRELOAD=" VORNET_REFUSE_ALLOCATION_SHIM " " + shim_words);
    return e2e::run_script(dir, script, {{"in.sao"}, "", false});
  }
};

TEST_P(RefusedAllocation, EachEndsTheRunWithAReportOrIsDoneWithout) {
  ScratchDir dir;
  dir.write("in.sao", e2e::two_records());
  const RunResult plain = run(dir, "VORNET_COUNT_ALLOCATIONS=count");
  ASSERT_EQ(plain.exit_status, 0) << plain.err;
  ASSERT_EQ(plain.list, e2e::two_listings());
  const int made = std::stoi(dir.read("count"));
  ASSERT_GT(made, 0);
  int reported = 0;
  for (int n = 1; n <= made; ++n) {
    SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(made) + " refused");
    ::unlink(dir.file("preflist.s").c_str());
    const RunResult r = run(dir, "VORNET_REFUSE_ALLOCATION=" + std::to_string(n));
    ASSERT_TRUE(r.exit_status == 0 || r.exit_status == 1) << "status " << r.exit_status << r.err;
    if (r.exit_status == 0) {
      EXPECT_EQ(r.out, plain.out);
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(r.list, plain.list);
      continue;
    }
    ++reported;
    EXPECT_NE(r.err.find(": run-time error F6700: ALLOCATE\r\n- not enough memory for the run\r\n"),
              std::string::npos)
        << r.err;
    // Whole lines only, of what the run had listed.
    EXPECT_EQ(plain.list.compare(0, r.list.size(), r.list), 0) << r.list;
  }
  EXPECT_GT(reported, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, RefusedAllocation,
    testing::Values(Source{"File", R"(SHIM "$0" "$1")"},
                    Source{"Pipe", R"(cat "$1" | SHIM "$0" /dev/stdin)"}),
    [](const auto &info) { return std::string(info.param.name); });
#endif

// The store that keeps a pipe's start for the rewind is where a run asks for
// most memory: where the host refuses it, the pipe is kept in a file instead.
TEST(LowMemory, PipeListsAsTheFileDoes) {
#ifdef VORNET_SANITIZED
  GTEST_SKIP() << "a sanitized program needs more address space than the limit";
#endif
  ScratchDir dir;
  dir.write("in.sao", e2e::two_records());
  const RunResult file = e2e::run_script(dir, R"((ulimit -v 8000; "$0" in.sao))", {});
  ASSERT_EQ(file.exit_status, 0) << file.err;
  ::unlink(dir.file("preflist.s").c_str());
  const RunResult pipe =
      e2e::run_script(dir, R"(cat in.sao | (ulimit -v 8000; "$0" /dev/stdin))", {});
  EXPECT_EQ(pipe.exit_status, 0) << pipe.err;
  EXPECT_EQ(pipe.list, file.list);
}

} // namespace
