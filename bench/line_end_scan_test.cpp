// The floors count every line once, wherever the buffer or the window cuts
// the file.
#include "line_end_scan.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

TEST(LineEndScan, CountsLinesThroughAnyBuffer) {
  struct Case {
    std::string text;
    uint64_t lines;
  } const cases[] = {
      {"", 0},
      {"\n", 1},
      {"a", 1}, // a last line without a line feed counts
      {"ab\r\ncd\r\n", 2},
      {"one\ntwo\nthree", 3},
      {std::string(1000, 'x') + "\n" + std::string(999, 'y') + "\n\n", 3},
  };
  const std::string path = testing::TempDir() + "line_end_scan_test.txt";
  for (const Case &c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.text;
    for (size_t buffer : {size_t{1}, size_t{3}, size_t{64}, size_t{4096}}) {
      const bench::LineScanResult r = bench::scan_line_ends(path, buffer);
      EXPECT_EQ(r.lines, c.lines) << c.text.size() << " bytes, buffer " << buffer;
      EXPECT_EQ(r.bytes, c.text.size());
    }
    for (size_t window : {size_t{4096}, size_t{8192}}) {
      const bench::LineScanResult r = bench::scan_line_ends_mapped(path, window);
      EXPECT_EQ(r.lines, c.lines) << c.text.size() << " bytes, window " << window;
      EXPECT_EQ(r.bytes, c.text.size());
    }
    const bench::LineScanResult huge = bench::scan_line_ends_huge_page(path);
    EXPECT_EQ(huge.lines, c.lines) << c.text.size() << " bytes, huge page";
    EXPECT_EQ(huge.bytes, c.text.size());
  }
  std::remove(path.c_str());
}

} // namespace
