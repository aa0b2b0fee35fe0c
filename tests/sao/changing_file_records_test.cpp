// The record loop over a file that another process changes while its records
// are read: cut ahead of the reader, behind it, at a time-stamp line and a
// few bytes into one, or grown. The run ends as a file ends, with the stop's
// status, whole lines in its list file, the records before the change listed
// as from the whole file, and no byte the file never held.
#include "reader_fixture.h"
#include "support/cut_elsewhere.h"

#include "recio/connection.h"
#include "sao/group_reading.h"
#include "sao/time_stamp.h"
#include "sao_generator.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using sao::Outcome;

class ChangingFileRecords : public sao_test::ReaderTest {
protected:
  // Runs the record loop over `text`, one entry per pass: its outcome and the
  // listing so far; `after_pass` runs after each. The last entry is the end
  // of the run: its status, list file and standard error.
  std::vector<std::string> passes(const std::string &text,
                                  const std::function<void(size_t)> &after_pass = {}) {
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

using testing_support::cut_elsewhere;

// The list file of a run that met a changed file: whole 25-character
// listing lines ended by CR LF, no NUL among them, each as the whole file's
// run listed it there; returns how many.
size_t expect_whole_lines_of(const std::string &end, const std::string &whole_end) {
  const std::string list = end.substr(end.find('\n') + 1);
  const std::string whole_list = whole_end.substr(whole_end.find('\n') + 1);
  EXPECT_EQ(list.find('\0'), std::string::npos) << "a NUL the file never held";
  size_t lines = 0;
  for (size_t at = 0; at < list.size(); ++lines) {
    const size_t crlf = list.find("\r\n", at);
    if (crlf == std::string::npos) {
      ADD_FAILURE() << "a line without its end";
      break;
    }
    EXPECT_EQ(crlf - at, 25u) << "line " << lines << ": " << list.substr(at, crlf - at);
    EXPECT_EQ(list.substr(at, 27), whole_list.substr(at, 27)) << "line " << lines;
    at = crlf + 2;
  }
  return lines;
}

// Where the `n`-th time-stamp group of `text` begins (its line opens with
// "FF" after a line end).
size_t time_stamp_line(const std::string &text, int n) {
  size_t at = 0;
  for (int k = 0; k <= n; ++k)
    at = text.find("\nFF", at + 1);
  return at + 1;
}

// Cut after a few records are listed: ahead of the reader (in the middle of
// a later record, at the start of a later record's time-stamp line or a few
// bytes into one) or behind it (under the buffer being read). The run goes on
// to an end of input, as a file that ends there does, and stops with status 0.
TEST_F(ChangingFileRecords, FileCutByAnotherProcessEndsAsAFileEnds) {
  const std::string text = generated(2, 5, saogen::LineEnds::crlf, 40);
  ASSERT_GT(text.size(), 3 * recio::kInputBufferSize) << "the cut must fall ahead of the buffer";
  const std::vector<std::string> whole = passes(text);
  const size_t stamp = time_stamp_line(text, 30);
  for (const size_t cut_to : {text.size() / 3, stamp, stamp + 7, size_t{1000}}) {
    SCOPED_TRACE("cut to " + std::to_string(cut_to) + " bytes");
    bool refused = false;
    const std::vector<std::string> cut = passes(text, [&](size_t pass) {
      if (pass == 3) refused = !cut_elsewhere(path("in.sao"), static_cast<int64_t>(cut_to));
    });
    ASSERT_FALSE(refused);
    const std::string &end = cut.back();
    ASSERT_EQ(end.rfind("status 0\n", 0), 0u) << end.substr(0, 400);
    for (size_t i = 0; i <= 3; ++i)
      EXPECT_EQ(cut[i], whole[i]) << "pass " << i;
    EXPECT_LT(cut.size(), whole.size());
    EXPECT_GE(expect_whole_lines_of(end, whole.back()), 4u) << "the records before the cut";
  }
}

// Grown while it is read: the file is listed as it was when it was opened.
TEST_F(ChangingFileRecords, FileGrownByAnotherProcessIsListedAsItWas) {
  const std::string text = generated(2, 6, saogen::LineEnds::lf, 40);
  const std::vector<std::string> whole = passes(text);
  const std::vector<std::string> grown = passes(text, [&](size_t pass) {
    if (pass == 3) std::ofstream(path("in.sao"), std::ios::app | std::ios::binary) << text;
  });
  ASSERT_EQ(grown.size(), whole.size());
  for (size_t i = 0; i < whole.size(); ++i)
    EXPECT_EQ(grown[i], whole[i]) << "pass " << i;
}

} // namespace
