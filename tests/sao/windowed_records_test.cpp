// The record loop over a file read through windows of it (one page of the
// host's view granularity each, from the file's first byte) against the same
// file read through the buffer: the same outcomes, reader state and listing,
// over generated and damaged files; and a file that another process cuts
// while its records are read ends as a file does, with whole lines and the
// stop's status.
#include "reader_fixture.h"
#include "support/cut_elsewhere.h"

#include "recio/connection.h"
#include "recio/host/host.h"
#include "sao/group_reading.h"
#include "sao/time_stamp.h"
#include "sao_generator.h"

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using sao::Outcome;

class WindowedRecords : public sao_test::ReaderTest {
protected:
  void TearDown() override {
    recio::InputCursor::set_windows(recio::kWindowBytes, recio::kLargeFileBytes);
    ReaderTest::TearDown();
  }

  // Runs the record loop over `text`, one entry per pass: its outcome and the
  // listing so far; `after_pass` runs after each. The last entry is the end
  // of the run: its status, list file and standard error.
  std::vector<std::string> passes(const std::string &text, bool windows,
                                  const std::function<void(size_t)> &after_pass = {}) {
    if (windows)
      recio::InputCursor::set_windows(recio::host::view_granularity(), 0);
    else
      recio::InputCursor::set_windows(recio::kWindowBytes, recio::kLargeFileBytes);
    std::remove(path("preflist.s").c_str());
    open_input(text);
    std::vector<std::string> out;
    const sao::ReaderState &r = sao::reader();
    const int status = expect_end([&] {
      for (size_t pass = 0;; ++pass) {
        Outcome o = sao::read_index();
        if (o == Outcome::index_error)
          o = sao::resync_read();
        else if (o == Outcome::index_read && !sao::index_valid())
          sao::reject_index();
        else if (o == Outcome::index_read) {
          sao::build_format_table();
          o = sao::read_leading_groups();
          if (o == Outcome::leading_groups_read) {
            sao::write_listing_line();
            o = sao::read_groups();
          }
        }
        out.push_back(std::to_string(static_cast<int>(o)) + " " +
                      std::string(r.time_stamp_text.data(), 20) +
                      std::to_string(r.dfi[1] + r.dfi[80]));
        if (o == Outcome::end_of_input) recio::stop_run();
        if (after_pass) after_pass(pass);
      }
    });
    out.push_back("status " + std::to_string(status) + "\n" + read_file("preflist.s") +
                  console_err());
    return out;
  }
};

std::string generated(int version, uint64_t seed, saogen::LineEnds ends, int records) {
  saogen::GeneratorOptions options;
  options.records = records;
  options.seed = seed;
  options.format_version = version;
  options.line_ends = ends;
  return saogen::generate_text(options);
}

TEST_F(WindowedRecords, ReadAsThroughTheBuffer) {
  const std::string damage = std::string(" \t,\r\n\x1a\0+-.0E eDdx*", 19);
  std::mt19937_64 rng(22);
  for (int trial = 0; trial < 12; ++trial) {
    std::string text =
        generated(trial % 3 == 0 ? 5 : 2, static_cast<uint64_t>(trial),
                  trial % 2 ? saogen::LineEnds::crlf : saogen::LineEnds::lf, 6 + trial % 5);
    // Damage where fields stand, lines cut short, the file's end in a record.
    for (int k = 0; k < trial % 4; ++k) {
      const size_t at = rng() % text.size();
      if (rng() % 2)
        text[at] = damage[rng() % damage.size()];
      else
        text.erase(at, 1 + rng() % 40);
    }
    if (trial % 5 == 4) text.resize(text.size() * 3 / 5);
    const std::vector<std::string> buffered = passes(text, false);
    const std::vector<std::string> windowed = passes(text, true);
    ASSERT_EQ(buffered.size(), windowed.size()) << "trial " << trial;
    for (size_t i = 0; i < buffered.size(); ++i)
      ASSERT_EQ(buffered[i], windowed[i]) << "trial " << trial << ", pass " << i;
  }
}

using testing_support::cut_elsewhere;

// Cut after a few records are listed, ahead of the reader (in the middle of
// a later record) or behind it (under the window being read): the run goes
// on to an end of input (what the rest of a window holds past the cut reads
// as NULs, and the record there is abandoned) and stops with status 0, its
// list file in whole lines, the records before the cut listed as from the
// whole file. (The driver writes the list header; the loop here does not.)
TEST_F(WindowedRecords, FileCutByAnotherProcessEndsAsAFileEnds) {
  const std::string text = generated(2, 5, saogen::LineEnds::crlf, 40);
  const std::vector<std::string> whole = passes(text, false);
  for (const size_t cut_to : {text.size() / 3, size_t{1000}}) {
    bool refused = false;
    const std::vector<std::string> cut = passes(text, true, [&](size_t pass) {
      if (pass == 3) refused = !cut_elsewhere(path("in.sao"), static_cast<int64_t>(cut_to));
    });
    const std::string &end = cut.back();
    ASSERT_EQ(end.rfind("status 0\n", 0), 0u) << end.substr(0, 400);
    if (refused) {
      // The host keeps the file whole while it is viewed.
      EXPECT_EQ(cut, whole);
      continue;
    }
    for (size_t i = 0; i <= 3; ++i)
      EXPECT_EQ(cut[i], whole[i]) << "pass " << i;
    EXPECT_LT(cut.size(), whole.size());
    // Every line of the list file is whole, a 25-character listing line
    // ended by CR LF, and the whole file's run listed it there too.
    const std::string list = end.substr(end.find('\n') + 1);
    const std::string &whole_end = whole.back();
    const std::string whole_list = whole_end.substr(whole_end.find('\n') + 1);
    size_t lines = 0;
    for (size_t at = 0; at < list.size(); ++lines) {
      const size_t crlf = list.find("\r\n", at);
      ASSERT_NE(crlf, std::string::npos) << "a line without its end";
      EXPECT_EQ(crlf - at, 25u) << "line " << lines << ": " << list.substr(at, crlf - at);
      EXPECT_EQ(list.substr(at, 27), whole_list.substr(at, 27)) << "line " << lines;
      at = crlf + 2;
    }
    EXPECT_GE(lines, 4u) << "the records before the cut";
  }
}

} // namespace
