// Damaged archives keep their undamaged records: after a stray line or a
// damaged spot the input is resynchronised without losing the records that
// follow.
#include "e2e/run_binary.h"
#include "sao_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

// The listing lines of a list file, without its header and any pre-scan message.
std::multiset<std::string> listed(const std::string &list) {
  std::multiset<std::string> lines;
  size_t from = 0;
  for (size_t end; (end = list.find("\r\n", from)) != std::string::npos; from = end + 2)
    if (end - from == 25 && list[from + 4] == '.') lines.insert(list.substr(from, 25));
  return lines;
}

std::multiset<std::string> run_and_list(const std::string &text, int *status = nullptr) {
  e2e::ScratchDir dir;
  dir.write("data.sao", text);
  const e2e::RunResult r = e2e::run_vornet(dir, {{"data.sao"}, "", false});
  if (status) *status = r.exit_status;
  return listed(r.list);
}

// Records of `text` lost from `damaged`'s listing.
size_t records_lost(const std::multiset<std::string> &undamaged,
                    const std::multiset<std::string> &damaged) {
  std::vector<std::string> missing;
  std::set_difference(undamaged.begin(), undamaged.end(), damaged.begin(), damaged.end(),
                      std::back_inserter(missing));
  return missing.size();
}

// ---------------------------------------------------------------------------
// Stray and joined lines between generated records.

struct Records {
  std::vector<std::string> texts;   // each record's lines, line ends included
  std::vector<std::string> listing; // each record's listing line
};

Records three_records() {
  saogen::GeneratorOptions o;
  o.records = 1;
  o.format_version = 5;
  o.line_ends = saogen::LineEnds::mixed;
  Records r;
  saogen::SaoGenerator generator(o);
  for (int i = 0; i < 3; ++i) {
    std::string text;
    r.listing.push_back(saogen::listing_line(generator.append_record(text).time));
    r.texts.push_back(text);
  }
  return r;
}

// The offset of the line end that ends line `n` (from 0) of `text`.
size_t line_end_of(const std::string &text, size_t n) {
  size_t at = text.find('\n');
  for (; n > 0; --n)
    at = text.find('\n', at + 1);
  return at;
}

std::string without_line_end_of_line(std::string text, size_t n) {
  return text.erase(line_end_of(text, n), 1);
}

struct StrayCase {
  const char *name;
  std::string (*damage)(const Records &);
  std::vector<int> listed; // which of the three records are listed
};

void PrintTo(const StrayCase &c, std::ostream *os) { *os << c.name; }

class StrayLines : public testing::TestWithParam<StrayCase> {};

TEST_P(StrayLines, RecordsAfterThemAreListed) {
  const Records records = three_records();
  std::multiset<std::string> expected;
  for (int i : GetParam().listed)
    expected.insert(records.listing[static_cast<size_t>(i)]);
  int status = -1;
  EXPECT_EQ(run_and_list(GetParam().damage(records), &status), expected);
  EXPECT_EQ(status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Resync, StrayLines,
    testing::Values(
        StrayCase{"BlankLineBetweenRecords",
                  [](const Records &r) { return r.texts[0] + "\r\n" + r.texts[1] + r.texts[2]; },
                  {0, 1, 2}},
        StrayCase{"TwoBlankLinesBetweenRecords",
                  [](const Records &r) { return r.texts[0] + "\n\n" + r.texts[1] + r.texts[2]; },
                  {0, 1, 2}},
        // A line of 120 digits, as an I1 group ends a record: it reads cleanly
        // as an index whose DFI(1) is out of range.
        StrayCase{"DigitLineBeforeARecord",
                  [](const Records &r) {
                    std::string digits;
                    for (int i = 0; i < 120; ++i)
                      digits += static_cast<char>('0' + (i * 7) % 10);
                    return r.texts[0] + digits + "\r\n" + r.texts[1] + r.texts[2];
                  },
                  {0, 1, 2}},
        // Two lines of a record's later groups run together: that record keeps
        // its listing line, and the next one is found again.
        StrayCase{"LineEndDroppedInsideARecord",
                  [](const Records &r) {
                    return without_line_end_of_line(r.texts[0], 12) + r.texts[1] + r.texts[2];
                  },
                  {0, 1, 2}},
        // Lines of a record's last group run together, or its last line and
        // the next record's first index line: the last group reads on into
        // the next record's index and skips past it, so the next record is
        // lost, and the one after it is listed.
        StrayCase{"LineEndDroppedBeforeARecordsLastLine",
                  [](const Records &r) {
                    const size_t lines = std::count(r.texts[0].begin(), r.texts[0].end(), '\n');
                    return without_line_end_of_line(r.texts[0], lines - 2) + r.texts[1] +
                           r.texts[2];
                  },
                  {0, 2}},
        StrayCase{"LineEndDroppedAfterARecordsLastLine",
                  [](const Records &r) {
                    const size_t lines = std::count(r.texts[0].begin(), r.texts[0].end(), '\n');
                    return without_line_end_of_line(r.texts[0], lines - 1) + r.texts[1] +
                           r.texts[2];
                  },
                  {0, 2}}),
    [](const auto &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Seeded single damages of a real archive.

enum class Damage { delete_bytes, insert_bytes, change_byte, drop_line_end };

struct SweepCase {
  const char *name;
  Damage damage;
};

void PrintTo(const SweepCase &c, std::ostream *os) { *os << c.name; }

class DamageSweep : public testing::TestWithParam<SweepCase> {};

constexpr const char *kArchive = SAO_SAMPLES_DIR "/JI91J_20240511(132).SAO";

// Where each record of the archive begins: four lines before its time-stamp
// group, which opens with "FF" and the date.
std::vector<size_t> record_starts(const std::string &text) {
  std::vector<size_t> line_starts{0}, starts;
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') line_starts.push_back(i + 1);
  for (size_t l = 4; l < line_starts.size(); ++l)
    if (text.compare(line_starts[l], 6, "FF2024") == 0) starts.push_back(line_starts[l - 4]);
  return starts;
}

// A damaged byte is any but Ctrl-Z: that one marks the end of a file's text,
// as DOS wrote it, so what follows it is not read at all.
char damaged_byte(std::mt19937_64 &rng) {
  const char c = static_cast<char>(rng());
  return c == '\x1a' ? '\x1b' : c;
}

// Each damage hits one spot of a stretch of twelve records, within its
// records 2 to 8; records lost are counted against the undamaged stretch, so
// a loss that runs on to the end of the archive still counts up to ten.
TEST_P(DamageSweep, CostsAtMostTheDamagedRecordAndItsNext) {
  if (!std::filesystem::exists(kArchive)) GTEST_SKIP() << "no sample archive " << kArchive;
  const std::string archive = e2e::slurp(kArchive);
  const std::vector<size_t> starts = record_starts(archive);
  ASSERT_GE(starts.size(), 200u);
  constexpr size_t kStretch = 12;
#ifdef VORNET_SANITIZED
  constexpr int kDamages = 40;
#else
  constexpr int kDamages = 150;
#endif
  std::mt19937_64 rng(20241209 + static_cast<int>(GetParam().damage));
  std::map<size_t, std::multiset<std::string>> undamaged;
  std::vector<size_t> losses;
  for (int n = 0; n < kDamages; ++n) {
    const size_t first = rng() % (starts.size() - kStretch);
    std::string text = archive.substr(starts[first], starts[first + kStretch] - starts[first]);
    if (!undamaged.count(first)) {
      undamaged[first] = run_and_list(text);
      // A record of the archive without a time stamp repeats the line before
      // it, which a stretch that starts with it does not have.
      ASSERT_GE(undamaged[first].size(), kStretch - 1) << "stretch at record " << first;
    }
    const size_t lo = starts[first + 1] - starts[first];
    const size_t hi = starts[first + 8] - starts[first];
    size_t at = lo + rng() % (hi - lo);
    switch (GetParam().damage) {
    case Damage::delete_bytes:
      text.erase(at, 1 + rng() % 8);
      break;
    case Damage::insert_bytes:
      for (size_t k = 1 + rng() % 8; k > 0; --k)
        text.insert(text.begin() + static_cast<ptrdiff_t>(at), damaged_byte(rng));
      break;
    case Damage::change_byte:
      text[at] = damaged_byte(rng);
      break;
    case Damage::drop_line_end:
      at = text.find('\n', at);
      text.erase(at, 1);
      break;
    }
    int status = -1;
    losses.push_back(records_lost(undamaged[first], run_and_list(text, &status)));
    EXPECT_TRUE(losses.back() <= 2 && status == 0)
        << "damage " << n << " at byte " << at << " of the stretch at record " << first
        << ": lost " << losses.back() << ", exit status " << status;
  }
  const double mean =
      static_cast<double>(std::accumulate(losses.begin(), losses.end(), size_t{0})) /
      static_cast<double>(losses.size());
  const size_t most = *std::max_element(losses.begin(), losses.end());
  std::cout << GetParam().name << ": " << losses.size() << " damages, records lost mean " << mean
            << ", most " << most << "\n";
  EXPECT_LE(mean, 0.2);
  EXPECT_LE(most, 2u);
}

INSTANTIATE_TEST_SUITE_P(RealArchive, DamageSweep,
                         testing::Values(SweepCase{"BytesDeleted", Damage::delete_bytes},
                                         SweepCase{"BytesInserted", Damage::insert_bytes},
                                         SweepCase{"ByteChanged", Damage::change_byte},
                                         SweepCase{"LineEndDropped", Damage::drop_line_end}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
