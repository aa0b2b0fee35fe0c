// Names are used whole: paths of any length the host takes, from the command
// line or the prompt; a name the host cannot take is the invalid-name error
// naming it, and never a shorter name that may be another file.
#include "e2e/run_binary.h"
#include "e2e/run_texts.h"

#include <gtest/gtest.h>

#include <climits>
#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace {

using e2e::RunResult;
using e2e::ScratchDir;

// A relative path of exactly `length` bytes: directories of 100 characters,
// then a file name of 50 to 150 ending in `suffix`.
std::string path_of_length(size_t length, std::string_view suffix = ".SAO") {
  std::string path;
  while (length - path.size() > 151)
    path += std::string(100, 'd') + "/";
  return path + std::string(length - path.size() - suffix.size(), 'n') + std::string(suffix);
}

// Makes the file at `relative` under `dir` with `content`, directory by
// directory, so that no call sees a path longer than one name.
void make_file(const ScratchDir &dir, const std::string &relative, const std::string &content) {
  int at = ::open(dir.path().c_str(), O_DIRECTORY | O_RDONLY);
  size_t start = 0;
  for (size_t slash; (slash = relative.find('/', start)) != std::string::npos; start = slash + 1) {
    const std::string name = relative.substr(start, slash - start);
    (void)::mkdirat(at, name.c_str(), 0755);
    const int next = ::openat(at, name.c_str(), O_DIRECTORY | O_RDONLY);
    ::close(at);
    at = next;
  }
  const int fd = ::openat(at, relative.substr(start).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  ::close(at);
  if (fd < 0 || ::write(fd, content.data(), content.size()) != ssize_t(content.size()))
    throw std::runtime_error("cannot make " + relative.substr(0, 40) + "...");
  ::close(fd);
}

enum class Source { argument, reply };

void PrintTo(Source s, std::ostream *os) {
  *os << (s == Source::argument ? "argument" : "reply");
}

RunResult run_named(const ScratchDir &dir, Source source, const std::string &name) {
  if (source == Source::argument) return e2e::run_vornet(dir, {{name}, "", false});
  return e2e::run_vornet(dir, {{}, name + "\n\n", false});
}

std::string listed_output(Source source, const std::string &name) {
  if (source == Source::reply)
    return std::string(e2e::kNamePrompt) + " enter the input filename:\r\n" +
           std::string(e2e::kStop);
  // The echo keeps the input name's 80 characters, 79 to a console line.
  const std::string echo = name.size() < 80 ? name : name.substr(0, 79) + "\r\n" + name[79];
  return echo + "\r\n" + std::string(e2e::kStop) + "\r\n";
}

struct LongPath {
  const char *name;
  size_t length;
  Source source;
};

void PrintTo(const LongPath &c, std::ostream *os) {
  *os << c.name;
}

class WholeNames : public ::testing::TestWithParam<LongPath> {};

TEST_P(WholeNames, LongPathIsListed) {
  const LongPath &p = GetParam();
  ScratchDir dir;
  const std::string path = path_of_length(p.length);
  ASSERT_EQ(path.size(), p.length);
  make_file(dir, path, e2e::two_records());
  const RunResult r = run_named(dir, p.source, path);
  EXPECT_EQ(r.exit_status, 0) << r.err.substr(0, 400);
  EXPECT_EQ(r.out, listed_output(p.source, path));
  EXPECT_EQ(r.list, e2e::two_listings());
  EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Paths, WholeNames,
                         ::testing::Values(LongPath{"Argument300", 300, Source::argument},
                                           LongPath{"Argument4000", 4000, Source::argument},
                                           LongPath{"ArgumentLongestThePathLimitTakes",
                                                    PATH_MAX - 1, Source::argument},
                                           LongPath{"Reply300", 300, Source::reply},
                                           LongPath{"Reply4000", 4000, Source::reply}),
                         [](const auto &info) { return std::string(info.param.name); });

struct RefusedName {
  const char *name;
  std::string given; // the argument, or the reply line without its end
  std::string shown; // the name in the report
  Source source;
  bool make = true; // the file is there (when a path of directories)
};

void PrintTo(const RefusedName &c, std::ostream *os) {
  *os << c.name;
}

class RefusedNames : public ::testing::TestWithParam<RefusedName> {};

// The file may even be there: the name cannot reach it whole, so it is not
// opened at all, and nothing is created.
TEST_P(RefusedNames, AreTheInvalidNameErrorNamingThem) {
  const RefusedName &p = GetParam();
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  if (p.make) make_file(dir, p.given, e2e::two_records());
  const RunResult r = run_named(dir, p.source, p.given);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_TRUE(e2e::is_report(r.err, "F6412: OPEN(" + p.shown + ")", 166));
  EXPECT_EQ(r.out, p.source == Source::reply ? std::string(e2e::kNamePrompt) : "");
  EXPECT_NE(::access(dir.file("preflist.s").c_str(), F_OK), 0) << "the list file was created";
}

const std::string kOverPathMax = path_of_length(PATH_MAX + 1);
const std::string kAtPathMax = path_of_length(PATH_MAX);
const std::string kLongestReply(128 * 1024, 'x');

INSTANTIATE_TEST_SUITE_P(
    Names, RefusedNames,
    ::testing::Values(RefusedName{"ArgumentAtPathMax", kAtPathMax, kAtPathMax, Source::argument},
                      RefusedName{"ArgumentOverPathMax", kOverPathMax, kOverPathMax,
                                  Source::argument},
                      RefusedName{"ReplyOverPathMax", kOverPathMax, kOverPathMax, Source::reply},
                      // The host would take the name up to its NUL: data.sao, another file.
                      RefusedName{"ReplyHoldingNul", std::string("data.sao\0.orig", 14),
                                  std::string("data.sao\0.orig", 14), Source::reply, false},
                      // A reply longer than any host's name: its start is shown, the rest
                      // was never kept.
                      RefusedName{"ReplyLongerThanAnyName", kLongestReply + "tail", kLongestReply,
                                  Source::reply, false}),
    [](const auto &info) { return std::string(info.param.name); });

class CutName : public ::testing::TestWithParam<Source> {};

// Cut at 259 characters, `….SAO.orig` would be `….SAO`, which is there too:
// only the file named may be listed.
TEST_P(CutName, OnlyTheFileNamedIsListed) {
  ScratchDir dir;
  const std::string cut = path_of_length(259);
  const std::string named = cut + ".orig";
  make_file(dir, cut, e2e::sao_record(e2e::kStamp1));
  make_file(dir, named, e2e::sao_record(e2e::kStamp2));
  const RunResult r = run_named(dir, GetParam(), named);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.list, std::string(e2e::kHeader) + std::string(e2e::kListing2));
}

INSTANTIATE_TEST_SUITE_P(Sources, CutName, ::testing::Values(Source::argument, Source::reply),
                         [](const auto &info) {
                           return std::string(info.param == Source::argument ? "Argument"
                                                                             : "Reply");
                         });

// Blanks inside a reply are part of the name, however many: data.sao, 251
// blanks and junk is one file name of 263 bytes, longer than a file system
// takes, and never data.sao.
TEST(WholeReply, BlanksInsideAreKept) {
  ScratchDir dir;
  dir.write("data.sao", e2e::two_records());
  const std::string reply = "data.sao" + std::string(251, ' ') + "junk";
  const RunResult r = e2e::run_vornet(dir, {{}, reply + "\n\n", false});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_TRUE(e2e::is_report(r.err, "F6412: OPEN(" + reply + ")", 166));
}

// On Linux a name is the bytes it is, UTF-8 or not: echoed and listed as given.
TEST(WholeNames, NamesAreTheirBytes) {
  for (const std::string name : {"Тромсё.SAO", "J\xfclich station.SAO", "武汉.SAO"}) {
    ScratchDir dir;
    dir.write(name, e2e::two_records());
    const RunResult r = e2e::run_vornet(dir, {{name}, "", false});
    EXPECT_EQ(r.exit_status, 0) << name;
    EXPECT_EQ(r.out, listed_output(Source::argument, name));
    EXPECT_EQ(r.list, e2e::two_listings());
  }
}

} // namespace
