// Many runs at once on one list file: every run's block of lines stays whole
// and together, nothing else is there, and every run ends normally.
#include "e2e/run_binary.h"
#include "sao_generator.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Input {
  std::string name;
  std::string text;
};

std::string generated(uint64_t records, uint64_t seed, int version, int year) {
  saogen::GeneratorOptions o;
  o.records = records;
  o.seed = seed;
  o.format_version = version;
  o.start = {year, 3, 1, 0, 0, 0};
  return saogen::generate_text(o);
}

// Sixteen inputs: real samples where present, and generated files from one
// record to listings larger than the list file's output buffer, one of them
// with a pre-scan finding, so its block begins with the message.
std::vector<Input> sixteen_inputs() {
  std::vector<Input> inputs;
  std::error_code ec;
  for (const fs::directory_entry &e : fs::directory_iterator(SAO_SAMPLES_DIR, ec))
    if (e.path().extension() == ".SAO" && inputs.size() < 4)
      inputs.push_back({"sample" + std::to_string(inputs.size()) + ".sao", e2e::slurp(e.path())});
  if (inputs.empty()) std::cerr << "no sample SAO files in " SAO_SAMPLES_DIR ", generated only\n";
  const uint64_t sizes[] = {1, 40, 700, 3000};
  for (int i = 0; inputs.size() < 16; ++i) {
    std::string text = generated(sizes[i % 4], 100 + i, i % 2 ? 5 : 2, 2000 + i);
    if (i == 1) text = "\n" + text;
    inputs.push_back({"gen" + std::to_string(i) + ".sao", text});
  }
  return inputs;
}

// What one run alone appends to an empty list file.
std::vector<std::string> blocks_alone(const std::vector<Input> &inputs) {
  std::vector<std::string> blocks;
  for (const Input &in : inputs) {
    e2e::ScratchDir dir;
    dir.write(in.name, in.text);
    const e2e::RunResult r = e2e::run_vornet(dir, {{in.name}, "", false});
    EXPECT_EQ(r.exit_status, 0) << in.name;
    blocks.push_back(r.list);
  }
  return blocks;
}

// Whether `list` is the blocks, each once, in some order.
bool is_blocks_in_some_order(const std::string &list, size_t at, std::vector<bool> &used,
                             const std::vector<std::string> &blocks) {
  if (at == list.size()) return std::find(used.begin(), used.end(), false) == used.end();
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (used[i] || list.compare(at, blocks[i].size(), blocks[i]) != 0) continue;
    used[i] = true;
    if (is_blocks_in_some_order(list, at + blocks[i].size(), used, blocks)) return true;
    used[i] = false;
  }
  return false;
}

std::multiset<std::string> lines_of(const std::string &text) {
  std::multiset<std::string> lines;
  size_t from = 0;
  for (size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1)
    lines.insert(text.substr(from, end + 1 - from));
  if (from < text.size()) lines.insert(text.substr(from) + "<no line end>");
  return lines;
}

// Starts one run per input at once in `dir`; standard output gets each run's
// exit status in the order of the inputs.
e2e::RunResult run_all_at_once(const e2e::ScratchDir &dir, const std::vector<Input> &inputs,
                               const std::string &environment = "") {
  std::vector<std::string> names;
  for (const Input &in : inputs)
    names.push_back(in.name);
  const std::string script = "pids=(); for f in \"$@\"; do " + environment +
                             " \"$0\" \"$f\" >/dev/null 2>>errors & pids+=($!); done; "
                             "for p in \"${pids[@]}\"; do wait \"$p\"; printf '%d ' $?; done";
  return e2e::run_script(dir, script, {names, "", false});
}

class SharedListFile : public testing::Test {
protected:
  static void SetUpTestSuite() {
    inputs_ = sixteen_inputs();
    blocks_ = blocks_alone(inputs_);
  }
  static inline std::vector<Input> inputs_;
  static inline std::vector<std::string> blocks_;
};

TEST_F(SharedListFile, EveryRunsBlockIsWholeAndTogether) {
  const std::string all_zero = [] {
    std::string s;
    for (int i = 0; i < 16; ++i)
      s += "0 ";
    return s;
  }();
  for (int round = 0; round < 6; ++round) {
    e2e::ScratchDir dir;
    for (const Input &in : inputs_)
      dir.write(in.name, in.text);
    const e2e::RunResult r = run_all_at_once(dir, inputs_);
    ASSERT_EQ(r.out, all_zero) << "round " << round;
    ASSERT_EQ(dir.read("errors"), "") << "round " << round;
    std::vector<bool> used(blocks_.size(), false);
    ASSERT_TRUE(is_blocks_in_some_order(dir.read("preflist.s"), 0, used, blocks_))
        << "round " << round << ": the list file is not the runs' blocks one after another";
  }
}

TEST_F(SharedListFile, WhatWasThereBeforeStays) {
  e2e::ScratchDir dir;
  for (const Input &in : inputs_)
    dir.write(in.name, in.text);
  dir.write("preflist.s", "an earlier run's line\r\n");
  ASSERT_EQ(run_all_at_once(dir, inputs_).exit_status, 0);
  const std::string list = dir.read("preflist.s");
  ASSERT_EQ(list.rfind("an earlier run's line\r\n", 0), 0u);
  std::vector<bool> used(blocks_.size(), false);
  EXPECT_TRUE(is_blocks_in_some_order(list, 23, used, blocks_));
}

#if defined(VORNET_NO_LOCK_SHIM) && !defined(VORNET_SANITIZED)
// A file system that refuses locks, as some network file systems do: the
// blocks may interleave, but every line is whole and none is lost.
TEST_F(SharedListFile, WithoutLocksNoLineIsLostOrTorn) {
  {
    // The stand-in works: a run does not wait for a lock another holds.
    e2e::ScratchDir dir;
    dir.write(inputs_[0].name, inputs_[0].text);
    dir.write("preflist.s", "");
    const int fd = ::open(dir.file("preflist.s").c_str(), O_RDWR);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const e2e::RunResult r = e2e::run_script(
        dir, "LD_PRELOAD=" VORNET_NO_LOCK_SHIM " timeout 60 \"$0\" \"$1\" >/dev/null",
        {{inputs_[0].name}, "", false});
    ::close(fd);
    ASSERT_EQ(r.exit_status, 0) << "the run waited for the lock";
  }
  std::multiset<std::string> expected;
  for (const std::string &b : blocks_)
    for (const std::string &line : lines_of(b))
      expected.insert(line);
  for (int round = 0; round < 4; ++round) {
    e2e::ScratchDir dir;
    for (const Input &in : inputs_)
      dir.write(in.name, in.text);
    const e2e::RunResult r =
        run_all_at_once(dir, inputs_, "LD_PRELOAD=" VORNET_NO_LOCK_SHIM);
    ASSERT_EQ(r.exit_status, 0);
    ASSERT_EQ(dir.read("errors"), "");
    EXPECT_TRUE(lines_of(dir.read("preflist.s")) == expected) << "round " << round;
  }
}
#endif

} // namespace
