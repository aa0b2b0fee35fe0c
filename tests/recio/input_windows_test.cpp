// Large regular files are read through windows of the file instead of a
// buffer: the same bytes at the same positions, whatever the file's shape
// and however it changes while it is read. Windows are made small here
// (64 KiB, a multiple of every host's view granularity) and are taken from a
// file's first byte.
#include "recio/connection.h"
#include "recio/host/host.h"
#include "recio/kernels/field_kernels.h"

#include "support/cut_elsewhere.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace host = recio::host;
using recio::InputCursor;

constexpr size_t kWindow = 64 * 1024;
constexpr size_t kMargin = 4096; // what a window keeps mapped past what it hands out

struct Line {
  host::Offset at;
  std::string text; // through its line feed; empty where it was skipped
  bool operator==(const Line &) const = default;
};

struct Reading {
  std::vector<Line> lines;
  int end = 0;              // kEnd or kHostError
  host::Offset stopped = 0; // the position at the end
};

class InputWindows : public ::testing::Test {
protected:
  void SetUp() override {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    dir_ = fs::temp_directory_path() / ("vornet-windows-" + std::to_string(stamp));
    ASSERT_TRUE(fs::create_directory(dir_));
  }
  void TearDown() override {
    InputCursor::set_windows(recio::kWindowBytes, recio::kLargeFileBytes);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string path(const std::string &name) const { return (dir_ / name).string(); }
  void write_file(const std::string &name, const std::string &text) const {
    std::ofstream(path(name), std::ios::binary) << text;
  }
  host::Handle open(const std::string &name) const {
    host::OpenFailure failure;
    const host::Handle h =
        host::open_file(path(name).c_str(), host::Access::read_write, false, false, failure);
    EXPECT_GE(h, 0);
    return h;
  }

  // Reads from `in` to its end, a line at a time, each line the way `seed`
  // picks: through skip_record(), byte by byte, or a buffered stretch at a
  // time. `between` runs after every line, with its number.
  template <class Between>
  static Reading read_all(InputCursor &in, uint64_t seed, Between &&between) {
    std::mt19937_64 rng(seed);
    Reading r;
    for (size_t n = 0;; ++n) {
      between(n);
      Line line{in.position(), {}};
      int c = 0;
      switch (rng() % 3) {
      case 0:
        c = in.skip_record();
        break;
      case 1:
        while ((c = in.peek()) >= 0) {
          in.advance();
          line.text += static_cast<char>(c);
          if (c == '\n') break;
        }
        break;
      default:
        for (;;) {
          if (in.available() == 0 && (c = in.peek()) < 0) break;
          const char *p = in.data();
          const size_t n = in.available();
          // The field kernels may load this far past the bytes: it is there.
          volatile char past = p[n + recio::kKernelPadding - 1];
          (void)past;
          size_t k = 0;
          while (k < n && p[k] != '\n')
            ++k;
          const bool whole = k < n;
          line.text.append(p, whole ? k + 1 : n);
          in.advance(whole ? k + 1 : n);
          if (whole) break;
        }
        break;
      }
      if (c < 0) {
        r.end = c;
        r.stopped = in.position();
        return r;
      }
      r.lines.push_back(line);
    }
  }
  static Reading read_all(InputCursor &in, uint64_t seed) {
    return read_all(in, seed, [](size_t) {});
  }

  // The file read through the buffer and through windows.
  void expect_same_reading(const std::string &name, const std::string &what) {
    for (uint64_t seed : {1, 2, 3}) {
      Reading by_buffer, by_windows;
      for (bool windows : {false, true}) {
        InputCursor::set_windows(kWindow, windows ? 0 : INT64_MAX);
        const host::Handle h = open(name);
        InputCursor in;
        in.attach(h, recio::kInputBufferSize);
        in.allow_windows();
        (windows ? by_windows : by_buffer) = read_all(in, seed);
        in.reset();
        host::close(h);
      }
      ASSERT_EQ(by_buffer.end, InputCursor::kEnd) << what;
      ASSERT_EQ(by_windows.end, by_buffer.end) << what;
      ASSERT_EQ(by_windows.lines.size(), by_buffer.lines.size()) << what;
      for (size_t i = 0; i < by_buffer.lines.size(); ++i)
        ASSERT_EQ(by_windows.lines[i], by_buffer.lines[i]) << what << ", line " << i;
    }
  }

  fs::path dir_;
};

// Seeded lines of 1 to `longest` bytes before their line feed (LF or CR LF),
// to `size` bytes in all; the last one without its line feed when asked.
std::string lines_of(size_t size, size_t longest, uint64_t seed, bool last_line_feed = true) {
  std::mt19937_64 rng(seed);
  std::string text;
  while (text.size() < size) {
    const size_t n = 1 + rng() % longest;
    for (size_t i = 0; i < n && text.size() < size; ++i)
      text += static_cast<char>(' ' + rng() % 95);
    if (text.size() < size) text += rng() % 4 ? "\n" : "\r\n";
  }
  text.resize(size);
  if (last_line_feed && size > 0) text.back() = '\n';
  if (!last_line_feed && size > 0 && text.back() == '\n') text.back() = 'x';
  return text;
}

TEST_F(InputWindows, ReadTheBytesTheBufferReads) {
  struct Shape {
    const char *what;
    size_t size;
    size_t longest;
    bool last_line_feed;
  };
  const Shape shapes[] = {
      {"empty", 0, 80, true},
      {"one byte", 1, 80, true},
      {"within the margin", kMargin, 80, true},
      {"exactly one window", kWindow + kMargin, 120, true},
      {"one window and one byte", kWindow + kMargin + 1, 120, true},
      {"one byte short of a window", kWindow + kMargin - 1, 120, true},
      {"several windows", 5 * kWindow + 17, 120, true},
      {"several windows, last line open", 5 * kWindow + 17, 120, false},
      {"lines longer than a window", 4 * kWindow, 3 * kWindow, true},
      {"one line without a line feed", 3 * kWindow, 1 << 30, false},
      {"more than the read buffer", recio::kInputBufferSize + 3 * kWindow + 5, 300, true},
  };
  uint64_t seed = 7;
  for (const Shape &s : shapes) {
    write_file("in.txt", lines_of(s.size, s.longest, ++seed, s.last_line_feed));
    expect_same_reading("in.txt", s.what);
  }
}

// A window reaches no further than the file's size when it was taken; what
// the file grew by since is read at the next window, so the whole file is
// read as a file read only after it grew.
TEST_F(InputWindows, FileGrownWhileReadIsReadToItsNewEnd) {
  const std::string first = lines_of(3 * kWindow, 100, 11);
  const std::string more = lines_of(2 * kWindow + 300, 100, 12);
  write_file("in.txt", first);
  InputCursor::set_windows(kWindow, 0);
  const host::Handle h = open("in.txt");
  InputCursor in;
  in.attach(h, recio::kInputBufferSize);
  in.allow_windows();
  const Reading grown = read_all(in, 5, [&](size_t n) {
    if (n != 1) return;
    // The window taken for the first line hands out nothing past that size.
    EXPECT_LE(in.position() + static_cast<host::Offset>(in.available()),
              static_cast<host::Offset>(first.size() - kMargin));
    std::ofstream(path("in.txt"), std::ios::binary | std::ios::app) << more;
  });
  in.reset();
  host::close(h);

  InputCursor::set_windows(kWindow, INT64_MAX);
  const host::Handle again = open("in.txt");
  in.attach(again, recio::kInputBufferSize);
  const Reading whole = read_all(in, 5);
  in.reset();
  host::close(again);
  EXPECT_EQ(grown.end, InputCursor::kEnd);
  ASSERT_EQ(grown.lines.size(), whole.lines.size());
  for (size_t i = 0; i < whole.lines.size(); ++i)
    ASSERT_EQ(grown.lines[i], whole.lines[i]) << "line " << i;
}

using testing_support::cut_elsewhere;

// Cut while a window of it is read, before or inside that window: no signal
// ends the process, and the read goes on to an end of file with whole lines:
// the file's own up to the cut, and NULs (the host's zero pages) at most up
// to the end of the window that was being read.
TEST_F(InputWindows, FileCutWhileReadEndsAsAFileEnds) {
  const std::string text = lines_of(8 * kWindow, 100, 21);
  struct Cut {
    const char *what;
    size_t after_bytes; // read this far first
    size_t cut_to;
  };
  const Cut cuts[] = {
      {"inside the window", kWindow + kWindow / 2, kWindow + kWindow / 2 + 5000},
      {"at a page of the window", 2 * kWindow + 100, 3 * kWindow},
      {"behind the reader", 3 * kWindow + 10, kWindow},
      {"to nothing", 5 * kWindow, 0},
  };
  for (const Cut &c : cuts) {
    InputCursor::set_windows(kWindow, 0);
    write_file("in.txt", text);
    const host::Handle h = open("in.txt");
    InputCursor in;
    in.attach(h, recio::kInputBufferSize);
    in.allow_windows();
    bool refused = false;
    host::Offset cut_at = -1; // where the reader stood at the cut
    const Reading r = read_all(in, 9, [&](size_t) {
      if (cut_at < 0 && in.position() >= static_cast<host::Offset>(c.after_bytes)) {
        cut_at = in.position();
        refused = !cut_elsewhere(path("in.txt"), static_cast<host::Offset>(c.cut_to));
      }
    });
    in.reset();
    host::close(h);
    ASSERT_EQ(r.end, InputCursor::kEnd) << c.what;
    ASSERT_GE(cut_at, 0) << c.what;
    for (const Line &l : r.lines) {
      if (!l.text.empty()) {
        EXPECT_EQ(l.text.back(), '\n') << c.what << ": a line is not whole";
      }
    }
    if (refused) {
      // The host keeps the file whole while it is viewed.
      EXPECT_EQ(r.stopped, static_cast<host::Offset>(text.size())) << c.what;
      continue;
    }
    const host::Offset last_end =
        r.lines.back().at + static_cast<host::Offset>(r.lines.back().text.size());
    // The file's own bytes up to the cut and up to where the reader stood;
    // past both, NULs (and a line feed that ends them) to the end of the
    // window the reader was in at most.
    const size_t keep = std::max(c.cut_to, static_cast<size_t>(cut_at));
    EXPECT_LE(last_end,
              static_cast<host::Offset>(std::max(keep, static_cast<size_t>(cut_at) + kWindow) + 1))
        << c.what << ": read on past the window of the cut";
    for (const Line &l : r.lines) {
      for (size_t i = 0; i < l.text.size(); ++i) {
        const size_t at = static_cast<size_t>(l.at) + i;
        if (at < keep) {
          ASSERT_EQ(l.text[i], text[at]) << c.what << ": byte " << at;
        } else {
          ASSERT_TRUE(l.text[i] == '\0' || l.text[i] == '\n') << c.what << ": byte " << at;
        }
      }
    }
  }
}

// Offsets past 4 GiB reach the host whole: a sparse file, read from just
// below that mark across it.
TEST_F(InputWindows, ReadPastFourGiB) {
  constexpr host::Offset kFourGiB = host::Offset{1} << 32;
  const std::string text = lines_of(4 * kWindow, 100, 31);
  const host::Offset start = kFourGiB - 2 * static_cast<host::Offset>(kWindow) - 123;
  write_file("big.txt", "");
  {
    const host::Handle h = open("big.txt");
    ASSERT_EQ(host::seek(h, start, host::From::start), start);
    ASSERT_TRUE(host::write_all(h, text.data(), text.size()));
    host::close(h);
  }
  for (bool windows : {false, true}) {
    InputCursor::set_windows(kWindow, windows ? 0 : INT64_MAX);
    const host::Handle h = open("big.txt");
    InputCursor in;
    in.attach(h, recio::kInputBufferSize);
    in.allow_windows();
    ASSERT_EQ(host::seek(h, start, host::From::start), start);
    in.reset(start);
    std::string got;
    for (int c; (c = in.peek()) >= 0; in.advance())
      got += static_cast<char>(c);
    in.reset();
    host::close(h);
    EXPECT_TRUE(got == text) << (windows ? "windows" : "buffer");
  }
}

} // namespace
