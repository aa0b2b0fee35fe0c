// The line path (whole lines of canonical fields through the kernels, the
// rest through read statements) against read statements alone, over the same
// generated and damaged input: the same outcomes, the same listing, and the
// same reader state after every pass of the record loop.
#include "sao/index_and_formats.h"
#include "reader_fixture.h"

#include "recio/line_runs.h"
#include "sao/group_reading.h"
#include "sao/index_and_formats.h"
#include "sao/time_stamp.h"
#include "sao_generator.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

// The reader's whole state as bytes: index, table, leading groups, time
// stamp and every destination of the group table.
std::string snapshot() {
  const sao::ReaderState &r = sao::reader();
  std::string s;
  auto add = [&](const void *p, size_t n) { s.append(static_cast<const char *>(p), n); };
  add(r.dfi.data(), sizeof r.dfi);
  add(r.slots.data(), sizeof r.slots);
  add(r.group1_reals.data(), sizeof r.group1_reals);
  add(r.group2_first_line.data(), 120);
  add(r.group2_second_line.data(), 120);
  add(r.time_stamp_chars.data(), 120);
  add(r.time_stamp_text.data(), r.time_stamp_text.size());
  for (const sao::GroupRead &row : sao::group_reads()) {
    for (const sao::Destination *d : {&row.destination, &row.copy_to}) {
      if (!d->data) continue;
      const size_t size = d->kind == sao::Element::real8       ? 8
                          : d->kind == sao::Element::character ? 1
                                                               : 4;
      add(d->data, d->kind == sao::Element::scratch ? 4 : size * static_cast<size_t>(d->bound));
    }
  }
  return s;
}

class LinePath : public sao_test::ReaderTest {
protected:
  void TearDown() override {
    recio::set_whole_lines(true);
    ReaderTest::TearDown();
  }

  // Runs the record loop over `text`; one entry per pass.
  std::vector<std::string> passes(const std::string &text, bool whole_lines) {
    recio::set_whole_lines(whole_lines);
    std::remove(path("preflist.s").c_str());
    open_input(text);
    std::vector<std::string> out;
    const int status = expect_end([&] {
      for (;;) {
        std::string pass;
        sao::Outcome o = sao::read_index();
        if (o == sao::Outcome::index_error) o = sao::resync_read();
        else if (o == sao::Outcome::index_read && !sao::index_valid()) sao::reject_index();
        else if (o == sao::Outcome::index_read) {
          sao::build_format_table();
          o = sao::read_leading_groups();
          if (o == sao::Outcome::leading_groups_read) {
            sao::write_listing_line();
            o = sao::read_groups();
          }
        }
        pass += static_cast<char>('0' + static_cast<int>(o));
        // The state's hash: a pass's whole state is some 200 KB.
        out.push_back(pass + std::to_string(std::hash<std::string>{}(snapshot())));
        if (o == sao::Outcome::end_of_input) recio::stop_run();
      }
    });
    out.push_back("status " + std::to_string(status) + "\n" + read_file("preflist.s") + console_err());
    return out;
  }

  void expect_same(const std::string &text, const std::string &what) {
    const std::vector<std::string> statements = passes(text, false);
    const std::vector<std::string> lines = passes(text, true);
    ASSERT_EQ(statements.size(), lines.size()) << what;
    for (size_t i = 0; i < lines.size(); ++i)
      ASSERT_TRUE(statements[i] == lines[i]) << what << ": pass " << i << " differs";
  }
};

std::string generated(int version, uint64_t seed, saogen::LineEnds ends) {
  saogen::GeneratorOptions options;
  options.records = 12;
  options.seed = seed;
  options.format_version = version;
  options.line_ends = ends;
  return saogen::generate_text(options);
}

TEST_F(LinePath, GeneratedFilesReadAlike) {
  for (int version : {2, 4, 5})
    for (saogen::LineEnds ends : {saogen::LineEnds::lf, saogen::LineEnds::crlf})
      expect_same(generated(version, 3, ends), "version " + std::to_string(version));
}

// Bytes of every class the field rules treat apart, put where fields stand.
TEST_F(LinePath, DamagedFilesReadAlike) {
  const std::string damage = std::string(" \t,\r\n\x1a\0+-.0E eDdx*", 19);
  std::mt19937_64 rng(2024);
  for (int trial = 0; trial < 40; ++trial) {
    std::string text = generated(trial % 2 ? 2 : 5, static_cast<uint64_t>(trial),
                                 trial % 3 ? saogen::LineEnds::crlf : saogen::LineEnds::lf);
    const int changes = 1 + trial % 6;
    for (int k = 0; k < changes; ++k) {
      const size_t at = rng() % text.size();
      switch (rng() % 3) {
      case 0:
        text[at] = damage[rng() % damage.size()];
        break;
      case 1:
        text.erase(at, 1 + rng() % 3);
        break;
      default:
        text.insert(at, 1, damage[rng() % damage.size()]);
        break;
      }
    }
    if (trial % 5 == 0) text.resize(text.size() * 2 / 3); // ends inside a record
    expect_same(text, "trial " + std::to_string(trial));
  }
}

// A record's groups are found from its counts in increasing order, which
// is the order of the rows of either version side: each reads a group (and
// depends on a guard) below 64, at most once.
TEST(GroupTable, EachVersionSideReadsGroupsInIncreasingOrder) {
  for (sao::VersionCondition left_out :
       {sao::VersionCondition::from_2, sao::VersionCondition::below_2}) {
    int last = 0;
    for (const sao::GroupRead &row : sao::group_reads()) {
      if (row.version == left_out) continue;
      EXPECT_GT(row.group, last);
      EXPECT_LT(row.group, 64);
      EXPECT_LT(row.guard, 64);
      last = row.group;
    }
  }
}

} // namespace
