// Damaged, truncated and hostile input files against the built binary. Every
// run must end in one of the two ways the program has: the stop (status 0,
// nothing on standard error) or a run-time error report (status 1), with the
// listing lines written before the end intact in "preflist.s".
#include "e2e/run_binary.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string kHeader = "  Date (Day of year) Time\r\n\r\n";
const std::string kStamp = "FE20210320201093000";
const std::string kListed = "2021.02.01 (032) 09:30:00";
const std::string kSecondStamp = "FE20240320305140509";
const std::string kSecondListed = "2024.03.05 (032) 14:05:09";

#ifdef VORNET_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

struct Outcome {
  e2e::RunResult run;
  std::vector<std::string> listing; // the list file's lines after the header
};

bool digits(const std::string &s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// Takes one line (through "\r\n") off the front of `s`.
bool take_line(std::string &s, std::string &line) {
  const size_t end = s.find("\r\n");
  if (end == std::string::npos) return false;
  line = s.substr(0, end);
  s.erase(0, end + 2);
  return true;
}

// Whether `err` is a run-time error report and its traceback, possibly
// followed by a report raised while the run was ending (written after the
// traceback has been taken down, so without position and traceback).
bool well_formed_report(std::string err) {
  std::string line;
  for (bool first = true; !err.empty(); first = false) {
    if (!take_line(err, line) || !line.empty() || !take_line(err, line)) return false;
    std::string rest = line;
    if (first) {
      const size_t close = line.find(") : ");
      if (line.rfind("vornet(", 0) != 0 || close == std::string::npos ||
          !digits(line.substr(7, close - 7)))
        return false;
      rest = line.substr(close + 4);
    }
    if (rest.rfind("run-time error ", 0) != 0 || rest.size() < 21 ||
        (rest[15] != 'F' && rest[15] != 'M') || rest[16] != '6' || !digits(rest.substr(17, 3)) ||
        rest[20] != ':')
      return false;
    if (!take_line(err, line) || line.size() < 3 || line.rfind("- ", 0) != 0) return false;
    if (!first) continue;
    if (!take_line(err, line) || !line.empty() || !take_line(err, line) ||
        line != "Execution traceback:")
      return false;
    int frames = 0;
    while (err.rfind("\t\tfrom ", 0) == 0) {
      if (!take_line(err, line)) return false;
      const size_t in = line.find(" in vornet(");
      if (in == std::string::npos || line.back() != ')' ||
          !digits(line.substr(in + 11, line.size() - in - 12)))
        return false;
      ++frames;
    }
    if (frames == 0) return false;
  }
  return true;
}

// The checks every run must pass, whatever its input.
void check_end(const Outcome &o) {
  const e2e::RunResult &r = o.run;
  ASSERT_TRUE(r.exit_status == 0 || r.exit_status == 1)
      << "exit status " << r.exit_status << " (128 + n is signal n)\n" << r.err;
  if (r.exit_status == 0) {
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Stop - Program terminated.\r\n"), std::string::npos) << r.out;
  } else {
    EXPECT_TRUE(!r.err.empty() && well_formed_report(r.err)) << "malformed report:\n" << r.err;
  }
}

bool is_prescan_message(const std::string &line) {
  for (const std::string text : {" -----> Blank line in sao file @ line ",
                                 " -----> Nul character in sao file @ line ",
                                 " -----> \"*\" in sao file @ line "}) {
    if (line.size() == text.size() + 15 && line.rfind(text, 0) == 0 &&
        line.substr(text.size() + 8) == " <-----" &&
        line.substr(text.size(), 8).find_first_not_of(" 0123456789") == std::string::npos)
      return true;
  }
  return false;
}

// Splits the list file, checking its layout: an optional pre-scan message,
// the header and its empty record, then 25-character listing lines.
std::vector<std::string> check_list(const std::string &list) {
  std::vector<std::string> lines;
  size_t at = 0;
  const size_t first_end = list.find("\r\n");
  if (first_end != std::string::npos && is_prescan_message(list.substr(0, first_end)))
    at = first_end + 2;
  EXPECT_EQ(list.substr(at, kHeader.size()), kHeader) << "list file:\n" << list;
  if (list.compare(at, kHeader.size(), kHeader) != 0) return lines;
  for (at += kHeader.size(); at < list.size(); at += 27) {
    const std::string line = list.substr(at, 25);
    const bool shaped = list.size() - at >= 27 && list.compare(at + 25, 2, "\r\n") == 0 &&
                        line[4] == '.' && line[7] == '.' && line.substr(10, 2) == " (" &&
                        line.substr(15, 2) == ") " && line[19] == ':' && line[22] == ':';
    EXPECT_TRUE(shaped) << "malformed listing line at byte " << at << ":\n" << list;
    if (!shaped) break;
    lines.push_back(line);
  }
  return lines;
}

Outcome run_with(const e2e::ScratchDir &dir) {
  Outcome o;
  o.run = e2e::run_vornet(dir, {{"in.sao"}, "", false});
  check_end(o);
  o.listing = check_list(o.run.list);
  return o;
}

Outcome run_on(const std::string &content) {
  e2e::ScratchDir dir;
  dir.write("in.sao", content);
  return run_with(dir);
}

// --- Records laid out through the fixed-column formats of their version.

struct Slot {
  int per_line;
  char kind; // I, F (or E) or A
  int width;
};

Slot slot_layout(int slot, int version) {
  static const std::array<Slot, 13> from_2{{{0, ' ', 0},
                                            {15, 'F', 8},
                                            {16, 'F', 7},
                                            {1, 'A', 120},
                                            {120, 'A', 1},
                                            {15, 'F', 8},
                                            {60, 'I', 2},
                                            {120, 'I', 1},
                                            {15, 'F', 8},
                                            {10, 'F', 11},
                                            {40, 'I', 3},
                                            {15, 'F', 8},
                                            {6, 'F', 20}}};
  static const std::array<Slot, 13> below_2{{{0, ' ', 0},
                                             {40, 'I', 3},
                                             {16, 'F', 7},
                                             {1, 'A', 120},
                                             {120, 'A', 1},
                                             {15, 'F', 8},
                                             {60, 'I', 2},
                                             {120, 'I', 1},
                                             {20, 'F', 6},
                                             {10, 'F', 11},
                                             {60, 'I', 2},
                                             {15, 'F', 8},
                                             {6, 'F', 20}}};
  if (version < 2 && slot == 9 && version != 1) return {13, 'F', 9};
  return (version >= 2 ? from_2 : below_2)[static_cast<size_t>(slot)];
}

// The slot each of groups 4 to 60 is read through.
int group_slot(int group, int version) {
  static const std::map<int, int> slots = {
      {4, 5},   {5, 6},   {6, 2},   {7, 1},   {8, 1},   {9, 10},  {10, 7},  {11, 8},
      {12, 1},  {13, 1},  {14, 10}, {15, 7},  {16, 8},  {17, 1},  {18, 1},  {19, 10},
      {20, 7},  {21, 8},  {22, 1},  {23, 10}, {24, 7},  {25, 8},  {26, 1},  {27, 10},
      {28, 7},  {29, 8},  {30, 1},  {31, 10}, {32, 7},  {33, 8},  {34, 6},  {35, 6},
      {36, 6},  {37, 9},  {38, 9},  {39, 9},  {40, 9},  {41, 7},  {42, 9},  {43, 1},
      {44, 10}, {45, 7},  {46, 8},  {47, 1},  {48, 10}, {49, 7},  {50, 8},  {51, 11},
      {52, 11}, {53, 11}, {54, 4},  {55, 4},  {56, 7},  {57, 9},  {58, 11}, {59, 11},
      {60, 11}};
  if (group == 40 && version >= 2) return 12;
  return slots.at(group);
}

int guard_of(int group) {
  if (group == 52 || group == 53) return 51;
  if (group == 59 || group == 60) return 58;
  return group;
}

std::string field(const Slot &s, int i) {
  char text[32];
  if (s.kind == 'I') {
    const int modulus = s.width == 1 ? 10 : s.width == 2 ? 100 : 1000;
    std::snprintf(text, sizeof text, "%*d", s.width, (i * 37 + 11) % modulus);
  } else if (s.kind == 'A') {
    text[0] = static_cast<char>('A' + i % 26);
    text[1] = '\0';
  } else {
    std::snprintf(text, sizeof text, "%*.3f", s.width, (i * 7919 % 9000) / 1000.0 - 1.0);
  }
  return text;
}

// The lines of `count` values through `s`; a chain member without values still
// takes one line.
void add_values(std::vector<std::string> &lines, const Slot &s, int count) {
  if (count < 1) {
    lines.push_back("0");
    return;
  }
  for (int i = 0; i < count; i += s.per_line) {
    std::string line;
    for (int j = i; j < count && j < i + s.per_line; ++j) line += field(s, j);
    lines.push_back(line);
  }
}

struct Record {
  int version = 2;
  std::map<int, int> counts; // DFI(k); DFI(3) defaults to the stamp's length
  std::string stamp = kStamp;
};

std::vector<std::string> record_lines(const Record &rec) {
  std::array<int, 81> dfi{};
  dfi[3] = static_cast<int>(rec.stamp.size());
  for (const auto &[k, n] : rec.counts) dfi[static_cast<size_t>(k)] = n;
  dfi[80] = rec.version;
  std::vector<std::string> lines(2);
  for (size_t k = 1; k <= 80; ++k) {
    char text[8];
    std::snprintf(text, sizeof text, "%3d", dfi[k]);
    lines[k <= 40 ? 0 : 1] += text;
  }
  if (dfi[1] >= 1) add_values(lines, slot_layout(2, rec.version), dfi[1]);
  for (int i = 0; i < dfi[2]; ++i) lines.push_back("DPS-4D 225/VX300, test station");
  // The time-stamp characters, 120 to a line.
  const std::string stamp = rec.stamp.substr(0, static_cast<size_t>(std::max(dfi[3], 0)));
  for (size_t at = 0; at < stamp.size(); at += 120) lines.push_back(stamp.substr(at, 120));
  for (int g = 4; g <= 60; ++g) {
    if (dfi[static_cast<size_t>(guard_of(g))] < 1) continue;
    add_values(lines, slot_layout(group_slot(g, rec.version), rec.version),
               dfi[static_cast<size_t>(g)]);
  }
  return lines;
}

std::string text_of(const std::vector<std::string> &lines, const std::string &eol = "\n") {
  std::string s;
  for (const std::string &l : lines) s += l + eol;
  return s;
}

std::string record_text(const Record &rec) { return text_of(record_lines(rec)); }

// A short record of another date that follows a record under test: it is
// listed only when the record before it was read to its last line.
std::string second_record() { return record_text({2, {{1, 1}, {2, 1}}, kSecondStamp}); }

// A record of a current sounder: traces, parameters, chains and profile groups.
Record realistic_record(int version) {
  Record r;
  r.version = version;
  r.counts = {{1, 16}, {2, 1},  {4, 30}, {5, 8},  {6, 8},  {7, 20}, {8, 20}, {9, 20},
              {10, 20}, {11, 20}, {34, 5}, {35, 5}, {36, 5}, {37, 4}, {38, 4}, {39, 4},
              {40, 12}, {41, 6}, {54, 10}, {55, 10}, {56, 10}};
  if (version >= 2) {
    r.counts[51] = 3;
    r.counts[52] = 2;
    r.counts[53] = 1;
    r.counts[58] = 2;
    r.counts[60] = 1;
  }
  return r;
}

// --- Whole files of damage.

TEST(BadInput, DegenerateFiles) {
  struct Case {
    const char *name;
    std::string content;
  };
  const Case cases[] = {
      {"empty", ""},
      {"only line feeds", std::string(5000, '\n')},
      {"only carriage returns", std::string(5000, '\r')},
      {"only NULs", std::string(5000, '\0')},
      {"only Ctrl-Z", std::string(300, '\x1a')},
      {"CR LF pairs", std::string(2000, '\r') + "\n\r\n\r\n"},
      {"one blank", " "},
      {"index without line end", "  1  1 19"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome o = run_on(c.content);
    EXPECT_EQ(o.run.exit_status, 0);
    EXPECT_TRUE(o.listing.empty());
  }
}

TEST(BadInput, RandomBinaryData) {
  for (uint32_t seed : {1u, 2u, 3u, 17u, 4242u, 90210u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 gen(seed);
    std::string bytes(16384, '\0');
    for (char &c : bytes) c = static_cast<char>(gen() & 0xff);
    run_on(bytes);
  }
}

// Digits, blanks, signs, points and line ends: data that gets past the index.
TEST(BadInput, RandomFieldCharacters) {
  const std::string alphabet = "0123456789           \n\n-+.E*\r";
  for (uint32_t seed : {5u, 6u, 7u, 8u, 99u, 31337u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 gen(seed);
    std::string text = record_text(realistic_record(2));
    for (int i = 0; i < 30000; ++i) text += alphabet[gen() % alphabet.size()];
    run_on(text);
  }
}

TEST(BadInput, LineOf64MiBWithoutLineEnd) {
  e2e::ScratchDir dir;
  std::string line;
  line.reserve(64u << 20);
  const std::string piece = "  1  1 19  0 12 2.500 FE2021 ";
  while (line.size() + piece.size() <= (64u << 20)) line += piece;
  line.resize(64u << 20, '7');
  dir.write("in.sao", line);
  line.clear();
  line.shrink_to_fit();
  const Outcome o = run_with(dir);
  EXPECT_EQ(o.run.exit_status, 0);
  // Lines of any length pass in constant memory.
  if (!kSanitized) { // the sanitizers' shadow memory says nothing of the program's
    EXPECT_LT(o.run.peak_rss_kib, 48 * 1024) << "kilobytes at most for a 64 MiB line";
  }
}

// Nothing is kept per record: a long file runs in the memory of a short one.
TEST(BadInput, ManyRecordsInConstantMemory) {
  e2e::ScratchDir dir;
  const std::string record = record_text(realistic_record(2));
  std::string text;
  for (int i = 0; i < 4000; ++i) text += record;
  dir.write("in.sao", text);
  text.clear();
  text.shrink_to_fit();
  const Outcome o = run_with(dir);
  EXPECT_EQ(o.run.exit_status, 0);
  EXPECT_EQ(o.listing, std::vector<std::string>(4000, kListed));
  if (!kSanitized) { // the sanitizers' shadow memory says nothing of the program's
    EXPECT_LT(o.run.peak_rss_kib, 48 * 1024) << "kilobytes at most for 4000 records";
  }
}

TEST(BadInput, CtrlZInIndexAndTextFields) {
  Record good;
  good.counts = {{1, 1}, {2, 1}, {4, 3}};
  const std::string text = record_text(good);
  struct Case {
    const char *name;
    std::string content;
    size_t listed;
  };
  std::string in_index = text;
  in_index[4] = '\x1a'; // DFI(2): the end of the input
  std::vector<std::string> lines = record_lines(good);
  std::vector<std::string> in_group2 = lines, in_stamp = lines, in_group4 = lines;
  in_group2[3] = "DPS\x1a" "4D";
  in_stamp[4][3] = '\x1a';
  in_group4[5][2] = '\x1a';
  const Case cases[] = {
      {"index", in_index + second_record(), 0},
      {"group 2 text", text_of(in_group2) + second_record(), 2},
      {"time stamp", text_of(in_stamp) + second_record(), 2},
      {"group 4 number", text_of(in_group4) + second_record(), 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome o = run_on(c.content);
    EXPECT_EQ(o.run.exit_status, 0);
    ASSERT_EQ(o.listing.size(), c.listed);
    if (c.listed == 2) {
      EXPECT_EQ(o.listing[1], kSecondListed);
    }
  }
  // A Ctrl-Z in the time stamp is a character like any other.
  const Outcome o = run_on(text_of(in_stamp));
  ASSERT_EQ(o.listing.size(), 1u);
  EXPECT_EQ(o.listing[0], "2\x1a" "21.02.01 (032) 09:30:00");
}

// The input ends after each line of a record in turn: the run stops, and the
// record is listed once its time-stamp line has been read.
TEST(BadInput, TruncatedAtEveryLine) {
  for (const int version : {1, 2}) {
    const std::vector<std::string> lines = record_lines(realistic_record(version));
    const size_t stamp_line = 2 + 2 + 1; // index, group 1, group 2, then group 3
    for (const std::string eol : {"\n", "\r\n"}) {
      for (size_t kept = 1; kept <= lines.size(); ++kept) {
        SCOPED_TRACE("version " + std::to_string(version) + ", " + std::to_string(kept) +
                     " of " + std::to_string(lines.size()) + " lines, CR LF " +
                     std::to_string(eol.size() == 2));
        const std::vector<std::string> head(lines.begin(),
                                            lines.begin() + static_cast<long>(kept));
        const Outcome o = run_on(text_of(head, eol));
        EXPECT_EQ(o.run.exit_status, 0);
        ASSERT_EQ(o.listing.size(), kept >= stamp_line ? 1u : 0u);
        if (!o.listing.empty()) {
          EXPECT_EQ(o.listing[0], kListed);
        }
      }
    }
  }
}

// --- Counts at the bounds of their storage.

struct BoundCase {
  int group;
  int version;
  int bound; // the declared bound; 0 for the single scratch value
};

std::vector<BoundCase> bound_cases() {
  std::vector<BoundCase> cases;
  const std::map<int, int> below_999 = {{4, 120},  {5, 60},   {6, 16},   {7, 400},  {9, 400},
                                        {10, 400}, {11, 400}, {22, 400}, {23, 400}, {24, 400},
                                        {25, 400}, {34, 20},  {35, 20},  {36, 20},  {37, 20},
                                        {38, 20},  {39, 20},  {40, 121}, {41, 120}, {42, 20},
                                        {54, 120}, {55, 120}, {56, 120}, {57, 20}};
  for (int g = 4; g <= 60; ++g) {
    const auto small = below_999.find(g);
    if (small != below_999.end()) {
      cases.push_back({g, 2, small->second});
    } else {
      cases.push_back({g, 2, g == 53 || g == 60 ? 0 : 999});
    }
  }
  // Below version 2 some groups have other destinations and bounds.
  cases.push_back({7, 1, 400});
  cases.push_back({8, 1, 400});
  cases.push_back({22, 1, 400});
  cases.push_back({40, 1, 20});
  cases.push_back({12, 1, 999});
  cases.push_back({13, 1, 999});
  return cases;
}

Record bound_record(const BoundCase &c, int count) {
  Record r;
  r.version = c.version;
  r.counts = {{1, 1}, {2, 1}, {c.group, count}};
  if (guard_of(c.group) != c.group) r.counts[guard_of(c.group)] = 1;
  return r;
}

TEST(BadInput, EveryCountAtItsBound) {
  for (const BoundCase &c : bound_cases()) {
    const int count = c.bound == 0 || c.bound > 999 ? 999 : c.bound;
    SCOPED_TRACE("group " + std::to_string(c.group) + ", version " +
                 std::to_string(c.version) + ", count " + std::to_string(count));
    const Outcome o = run_on(record_text(bound_record(c, count)) + second_record());
    EXPECT_EQ(o.run.exit_status, 0) << o.run.err;
    // The record is read to its last line: the next one is listed too.
    EXPECT_EQ(o.listing, (std::vector<std::string>{kListed, kSecondListed}));
  }
}

// A count past its storage is no error: the values past the bound are read
// and dropped, and the record after it is listed.
TEST(BadInput, EveryCountPastItsBound) {
  for (const int count : {121, 999}) {
    SCOPED_TRACE("group 3, count " + std::to_string(count));
    Record r;
    r.counts = {{1, 1}, {2, 1}, {3, count}};
    r.stamp = kStamp + std::string(static_cast<size_t>(count) - kStamp.size(), '0');
    const Outcome o = run_on(record_text(r) + second_record());
    EXPECT_EQ(o.run.exit_status, 0) << o.run.err;
    EXPECT_EQ(o.listing, (std::vector<std::string>{kListed, kSecondListed}));
  }
  {
    SCOPED_TRACE("group 1, count 17");
    Record r;
    r.counts = {{1, 17}, {2, 1}};
    const Outcome o = run_on(record_text(r) + second_record());
    EXPECT_EQ(o.run.exit_status, 0); // rejected by the index check, not stored
    EXPECT_EQ(o.listing, std::vector<std::string>{kSecondListed});
  }
  for (const BoundCase &c : bound_cases()) {
    if (c.bound == 0 || c.bound >= 999) continue; // no three-column count passes them
    for (const int count : {c.bound + 1, 999}) {
      SCOPED_TRACE("group " + std::to_string(c.group) + ", version " +
                   std::to_string(c.version) + ", count " + std::to_string(count));
      const Outcome o = run_on(record_text(bound_record(c, count)) + second_record());
      EXPECT_EQ(o.run.exit_status, 0) << o.run.err;
      EXPECT_EQ(o.listing, (std::vector<std::string>{kListed, kSecondListed}));
    }
  }
}

TEST(BadInput, NegativeCounts) {
  struct Case {
    const char *name;
    std::map<int, int> counts;
    std::vector<std::string> listed;
  };
  std::map<int, int> all_later_negative = {{1, 1}, {2, 1}};
  for (int g = 4; g <= 79; ++g) all_later_negative[g] = -(g % 99 + 1);
  const Case cases[] = {
      {"group 1", {{1, -5}, {2, 1}}, {kSecondListed}},
      {"group 2", {{1, 1}, {2, -1}}, {kListed, kSecondListed}},
      {"group 3", {{1, 1}, {2, 1}, {3, -99}}, {}},
      {"groups 4 to 79", all_later_negative, {kListed, kSecondListed}},
      {"chain heads", {{1, 1}, {2, 1}, {51, -1}, {52, 5}, {58, -3}, {59, 7}},
       {kListed, kSecondListed}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome o = run_on(record_text({2, c.counts, kStamp}) + second_record());
    EXPECT_EQ(o.run.exit_status, 0) << o.run.err;
    if (std::string(c.name) == "group 3") {
      // No time stamp yet: the first line carries NULs in its fields.
      ASSERT_EQ(o.listing.size(), 2u);
      EXPECT_EQ(o.listing[0], std::string("\0\0\0\0.\0\0.\0\0 (\0\0\0) \0\0:\0\0:\0\0", 25));
      EXPECT_EQ(o.listing[1], kSecondListed);
    } else {
      EXPECT_EQ(o.listing, c.listed);
    }
  }
}

TEST(BadInput, FormatVersions) {
  for (const int version : {-99, 0, 1, 2, 3, 999}) {
    SCOPED_TRACE("version " + std::to_string(version));
    const std::string record = record_text(realistic_record(version));
    // First in the run, and after a record of version 2.
    const Outcome first = run_on(record + second_record());
    const Outcome after = run_on(second_record() + record + second_record());
    if (version < 0) continue; // read through whatever the slots hold: no more than an end
    EXPECT_EQ(first.run.exit_status, 0) << first.run.err;
    EXPECT_EQ(first.listing, (std::vector<std::string>{kListed, kSecondListed}));
    EXPECT_EQ(after.run.exit_status, 0) << after.run.err;
    EXPECT_EQ(after.listing, (std::vector<std::string>{kSecondListed, kListed, kSecondListed}));
  }
}

} // namespace
