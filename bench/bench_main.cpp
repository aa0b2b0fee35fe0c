// vornet_bench: throughput, pre-scan cost and peak memory of the vornet binary.
//
//   vornet_bench [--vornet PATH] [--at-level PATH]
//                [--input FILE | --bytes N ... [--real DIR ...]] [--runs K]
//                [--seed S] [--work DIR] [--keep]
//                [--throughput] [--prescan] [--memory]
//
// With none of --throughput, --prescan and --memory, all three run.
//
// Throughput: each input (by default generated realistic files of 100 MB and
// 1 GiB, format version 2, and for each --real the SAO files of DIR joined
// and repeated to 100 MB) is timed K times (by default 5, and 3 for files of
// 512 MiB and more) for these passes, taken in turn within each round:
//   - the floors: get the file's bytes and find every line end, in each of
//     three ways: read() through a buffer of vornet's input buffer size
//     (64 KiB), read() through a buffer on one 2 MiB huge page, and views of
//     the file (mmap) 4 MiB at a time, one at a time, the way vornet does not
//     take (see recio/connection.h) measured beside the way it does;
//   - vornet itself, as a child process, with its peak resident set size,
//     and vornet --report, which lists the same;
//   - for files below 512 MiB, vornet at each kernel level this processor
//     runs, through the benchmark's own build of it (vornet_at_level);
//   - the yardstick: a plain scalar walk that converts every field at its
//     fixed columns (fixed_column_walk.h).
// Every file is read once before anything is timed, so all passes start from
// the page cache. Figures are medians, as MB/s (10^6 bytes a second) and as
// ratios measured in the same run: vornet's time over each floor's, and the
// yardstick's time over vornet's (vornet's speed-up).
//
// Pre-scan: vornet on the first input against a copy with a "*" in its first
// record's description line, where the pre-scan stops at once; the records
// read are the same, so the difference is what the pre-scan's full 9999 lines
// cost.
//
// Memory: an empty file, a 1 GiB file of realistic records (version 5, mixed
// line ends) and a 256 MiB single line without a line end; each run's peak
// resident set size against the target of 16 MiB.
#include "fixed_column_walk.h"
#include "scratch_dir.h"
#include "line_end_scan.h"
#include "sao_generator.h"
#include "size_argument.h"

#include "recio/connection.h"
#include "recio/kernels/field_kernels.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kMiB = 1ull << 20;
constexpr uint64_t kGiB = 1ull << 30;
constexpr double kTargetRssMiB = 16.0;
constexpr double kTargetFloorRatio = 3.0;   // vornet's time at most 3 times the floor's
constexpr double kTargetSpeedUp = 3.0;      // at least 3 times the yardstick's speed
constexpr uint64_t kLargeFile = 512 * kMiB; // from here on, fewer runs by default
constexpr uint64_t kRealBytes = 100 * 1000 * 1000; // the real samples, repeated
// The floors and the yardstick read through vornet's buffer size; the floor
// of the other way of getting a file's bytes maps windows of the file, 4 MiB
// at a time, as vornet once did.
constexpr size_t kReadBuffer = recio::kInputBufferSize;
static_assert(kReadBuffer == 64 * 1024, "the tables name the read floor's buffer 64 KiB");
constexpr size_t kWindow = 4 << 20;

struct Options {
  std::string vornet = VORNET_BINARY;
  std::string at_level = VORNET_AT_LEVEL;
  std::string input;
  std::vector<std::string> real; // directories of SAO files
  std::string work;
  std::vector<uint64_t> sizes;
  uint64_t seed = 1;
  int runs = 0; // 0: by the file's size
  bool throughput = false;
  bool prescan = false;
  bool memory = false;
  bool keep = false;
};

[[noreturn]] void usage(const char *problem) {
  std::fprintf(stderr,
               "vornet_bench: %s\n"
               "usage: vornet_bench [--vornet PATH] [--at-level PATH]\n"
               "                    [--input FILE | --bytes N ... [--real DIR ...]] [--runs K]\n"
               "                    [--seed S] [--work DIR] [--keep]\n"
               "                    [--throughput] [--prescan] [--memory]\n",
               problem);
  std::exit(2);
}

uint64_t size_argument(const char *text) {
  uint64_t size = 0;
  if (const char *problem = saogen::parse_size(text, size)) usage(problem);
  return size;
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time of this process (one thread), user and system together.
double cpu_seconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double seconds_of(const timeval &t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double mb_per_s(uint64_t bytes, double seconds) {
  return static_cast<double>(bytes) / 1e6 / seconds;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double minimum(const std::vector<double> &v) {
  return *std::min_element(v.begin(), v.end());
}

double maximum(const std::vector<double> &v) {
  return *std::max_element(v.begin(), v.end());
}

uint64_t file_size(const std::string &path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + path);
  return static_cast<uint64_t>(st.st_size);
}

// "100 MB", "1 GiB" or a count of bytes.
std::string size_label(uint64_t bytes) {
  char text[48];
  if (bytes % kGiB == 0)
    std::snprintf(text, sizeof text, "%llu GiB", static_cast<unsigned long long>(bytes / kGiB));
  else if (bytes % kMiB == 0)
    std::snprintf(text, sizeof text, "%llu MiB", static_cast<unsigned long long>(bytes / kMiB));
  else if (bytes % 1000000 == 0)
    std::snprintf(text, sizeof text, "%llu MB", static_cast<unsigned long long>(bytes / 1000000));
  else
    std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
  return text;
}

std::string cpu_model() {
  std::ifstream f("/proc/cpuinfo");
  std::string line;
  while (std::getline(f, line)) {
    if (line.rfind("model name", 0) != 0) continue;
    const size_t colon = line.find(':');
    if (colon != std::string::npos) return line.substr(line.find_first_not_of(' ', colon + 1));
  }
  return "unknown";
}

using bench::Scratch;

struct ChildRun {
  int exit_status = -1;
  double seconds = 0;
  double cpu_seconds = 0; // user and system
  double peak_rss_mib = 0;
};

// Runs vornet on `input_name` with its working directory at `dir`, its standard
// output thrown away and its standard error kept in "stderr.txt"; with a
// `level`, the benchmark's build of vornet at that kernel level; with
// `report`, vornet --report.
ChildRun run_vornet(const Options &o, const Scratch &dir, const std::string &input_name,
                    const char *level = nullptr, bool report = false) {
  (void)::unlink(dir.file("preflist.s").c_str());
  const Clock::time_point start = Clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int null_fd = ::open("/dev/null", O_RDWR);
    const int err_fd = ::open(dir.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (null_fd < 0 || err_fd < 0 || ::chdir(dir.path().c_str()) != 0) ::_exit(126);
    ::dup2(null_fd, 0);
    ::dup2(null_fd, 1);
    ::dup2(err_fd, 2);
    if (level) {
      char *argv[] = {const_cast<char *>("vornet_at_level"), const_cast<char *>(level),
                      const_cast<char *>(input_name.c_str()), nullptr};
      ::execv(o.at_level.c_str(), argv);
    } else if (report) {
      char *argv[] = {const_cast<char *>("vornet"), const_cast<char *>("--report"),
                      const_cast<char *>(input_name.c_str()), nullptr};
      ::execv(o.vornet.c_str(), argv);
    } else {
      char *argv[] = {const_cast<char *>("vornet"), const_cast<char *>(input_name.c_str()),
                      nullptr};
      ::execv(o.vornet.c_str(), argv);
    }
    ::_exit(127);
  }
  int status = 0;
  rusage ru{};
  while (::wait4(pid, &status, 0, &ru) < 0) {
    if (errno != EINTR) throw std::runtime_error("wait4 failed");
  }
  ChildRun r;
  r.seconds = seconds_since(start);
  r.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.cpu_seconds = seconds_of(ru.ru_utime) + seconds_of(ru.ru_stime);
  r.peak_rss_mib = static_cast<double>(ru.ru_maxrss) / 1024.0; // kilobytes on Linux
  if (r.exit_status == 127) throw std::runtime_error("cannot run " + o.vornet);
  return r;
}

ChildRun run_vornet_ok(const Options &o, const Scratch &dir, const std::string &input_name,
                       const char *level = nullptr, bool report = false) {
  const ChildRun r = run_vornet(o, dir, input_name, level, report);
  if (r.exit_status != 0)
    throw std::runtime_error("vornet ended with status " + std::to_string(r.exit_status) +
                             "; see " + dir.file("stderr.txt"));
  return r;
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Listing lines in "preflist.s": every record after the header and its empty record.
uint64_t listed_records(const Scratch &dir) {
  std::ifstream f(dir.file("preflist.s"), std::ios::binary);
  uint64_t n = 0;
  std::string line;
  while (std::getline(f, line))
    if (line.size() >= 25 && line[4] == '.' && line[7] == '.' && line[11] == '(') ++n;
  return n;
}

bool list_file_holds(const Scratch &dir, std::string_view text) {
  std::ifstream f(dir.file("preflist.s"), std::ios::binary);
  std::string line;
  while (std::getline(f, line))
    if (line.find(text) != std::string::npos) return true;
  return false;
}

void write_file(const std::string &path,
                const std::function<void(const saogen::ChunkSink &)> &fill) {
  std::FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + path);
  fill([&](std::string_view chunk) {
    if (std::fwrite(chunk.data(), 1, chunk.size(), f) != chunk.size())
      throw std::runtime_error("cannot write " + path);
  });
  if (std::fclose(f) != 0) throw std::runtime_error("cannot write " + path);
}

saogen::GenerationSummary generate_file(const std::string &path,
                                        const saogen::GeneratorOptions &g) {
  const Clock::time_point start = Clock::now();
  saogen::GenerationSummary summary;
  write_file(path, [&](const saogen::ChunkSink &sink) { summary = saogen::generate(g, sink); });
  std::printf("generated %s: %llu records, %llu lines, %llu bytes in %.1f s\n", path.c_str(),
              static_cast<unsigned long long>(summary.records),
              static_cast<unsigned long long>(summary.lines),
              static_cast<unsigned long long>(summary.bytes), seconds_since(start));
  return summary;
}

// ---- throughput

struct Input {
  std::string label;
  std::string name; // in the scratch directory
};

// Wall-clock and processor times of one pass over the rounds.
struct Times {
  std::vector<double> wall, cpu;
  double median_wall() const { return median(wall); }
  double median_cpu() const { return median(cpu); }
};

struct LevelFigures {
  const char *level;
  Times times;
  double peak_rss_mib = 0;
};

struct FileFigures {
  std::string label;
  uint64_t bytes = 0;
  Times floor, huge_floor, mapped_floor, vornet, report, walk;
  bool huge_page_granted = false;
  double peak_rss_mib = 0;
  std::vector<LevelFigures> levels;
};

// The kernel levels this processor runs.
std::vector<const char *> runnable_levels() {
  std::vector<const char *> v;
  for (recio::KernelLevel l : {recio::KernelLevel::portable, recio::KernelLevel::avx2,
                               recio::KernelLevel::avx512, recio::KernelLevel::neon})
    if (recio::kernel_level_supported(l)) v.push_back(recio::kernel_level_name(l));
  return v;
}

void print_pass(const char *what, const Times &t, uint64_t bytes, const Times &vornet) {
  std::printf("  %-34s %8.3f %8.3f %9.1f %9.2f %8.3f %9.2f\n", what, t.median_wall(),
              minimum(t.wall), mb_per_s(bytes, t.median_wall()),
              t.median_wall() / vornet.median_wall(), t.median_cpu(),
              t.median_cpu() / vornet.median_cpu());
}

// Times one in-process pass, wall clock and processor.
template <class Pass> void time_pass(Times &t, Pass &&pass) {
  const double cpu = cpu_seconds();
  const Clock::time_point start = Clock::now();
  pass();
  t.wall.push_back(seconds_since(start));
  t.cpu.push_back(cpu_seconds() - cpu);
}

FileFigures measure_file(const Options &o, const Scratch &dir, const Input &in) {
  const std::string path = dir.file(in.name);
  const uint64_t bytes = file_size(path);
  const int runs = o.runs > 0 ? o.runs : bytes >= kLargeFile ? 3 : 5;

  // The first pass of each brings the file into the page cache and checks
  // that vornet and the yardstick read the same records.
  const bench::LineScanResult lines = bench::scan_line_ends(path, kReadBuffer);
  const bench::WalkResult walk = bench::walk_sao_file(path, kReadBuffer);
  const ChildRun first = run_vornet_ok(o, dir, in.name);
  const uint64_t listed = listed_records(dir);
  if (listed != walk.records)
    std::printf("warning: vornet listed %llu records, the yardstick walked %llu\n",
                static_cast<unsigned long long>(listed),
                static_cast<unsigned long long>(walk.records));

  FileFigures f;
  f.label = in.label;
  f.bytes = bytes;
  f.peak_rss_mib = first.peak_rss_mib;
  {
    // --report lists what the program lists.
    const std::string want = read_file(dir.file("preflist.s"));
    run_vornet_ok(o, dir, in.name, nullptr, true);
    if (read_file(dir.file("preflist.s")) != want)
      throw std::runtime_error("the listing with --report differs from the program's");
  }
  if (bytes < kLargeFile)
    for (const char *level : runnable_levels()) {
      f.levels.push_back({level, {}, 0});
      // Every level must list what the program lists.
      const std::string want = read_file(dir.file("preflist.s"));
      run_vornet_ok(o, dir, in.name, level);
      if (read_file(dir.file("preflist.s")) != want)
        throw std::runtime_error(std::string("the listing at kernel level ") + level +
                                 " differs from the program's");
    }
  volatile double sink = 0;
  for (int i = 0; i < runs; ++i) {
    time_pass(f.floor, [&] {
      sink = sink + static_cast<double>(bench::scan_line_ends(path, kReadBuffer).lines);
    });
    time_pass(f.huge_floor, [&] {
      sink = sink +
             static_cast<double>(bench::scan_line_ends_huge_page(path, &f.huge_page_granted).lines);
    });
    time_pass(f.mapped_floor, [&] {
      sink = sink + static_cast<double>(bench::scan_line_ends_mapped(path, kWindow).lines);
    });
    const ChildRun r = run_vornet_ok(o, dir, in.name);
    f.vornet.wall.push_back(r.seconds);
    f.vornet.cpu.push_back(r.cpu_seconds);
    f.peak_rss_mib = std::max(f.peak_rss_mib, r.peak_rss_mib);
    const ChildRun with_report = run_vornet_ok(o, dir, in.name, nullptr, true);
    f.report.wall.push_back(with_report.seconds);
    f.report.cpu.push_back(with_report.cpu_seconds);
    for (LevelFigures &l : f.levels) {
      const ChildRun at = run_vornet_ok(o, dir, in.name, l.level);
      l.times.wall.push_back(at.seconds);
      l.times.cpu.push_back(at.cpu_seconds);
      l.peak_rss_mib = std::max(l.peak_rss_mib, at.peak_rss_mib);
    }
    time_pass(f.walk, [&] { sink = sink + bench::walk_sao_file(path, kReadBuffer).checksum; });
  }
  (void)sink;

  std::printf(
      "\n%s file: %llu bytes, %llu lines, %llu records (%llu listed), %llu fields; "
      "%d runs of each\n",
      in.label.c_str(), static_cast<unsigned long long>(bytes),
      static_cast<unsigned long long>(lines.lines), static_cast<unsigned long long>(walk.records),
      static_cast<unsigned long long>(listed), static_cast<unsigned long long>(walk.fields), runs);
  std::printf("  %-34s %8s %8s %9s %9s %8s %9s\n", "pass", "median s", "min s", "MB/s", "/ vornet",
              "cpu s", "/ vornet");
  print_pass("floor: 64 KiB read, line ends", f.floor, bytes, f.vornet);
  print_pass(f.huge_page_granted ? "floor: huge-page read, line ends"
                                 : "floor: 2 MiB read (no huge page)",
             f.huge_floor, bytes, f.vornet);
  print_pass("floor: mapped windows, line ends", f.mapped_floor, bytes, f.vornet);
  print_pass("vornet", f.vornet, bytes, f.vornet);
  print_pass("vornet --report", f.report, bytes, f.vornet);
  for (const LevelFigures &l : f.levels)
    print_pass((std::string("vornet at kernel level ") + l.level).c_str(), l.times, bytes, f.vornet);
  print_pass("fixed-column walk (the yardstick)", f.walk, bytes, f.vornet);
  std::printf("  vornet time / floor time:     %6.2f (cpu %.2f)  target: at most %.0f\n",
              f.vornet.median_wall() / f.floor.median_wall(),
              f.vornet.median_cpu() / f.floor.median_cpu(), kTargetFloorRatio);
  std::printf("    / huge-page floor time:     %6.2f (cpu %.2f)\n",
              f.vornet.median_wall() / f.huge_floor.median_wall(),
              f.vornet.median_cpu() / f.huge_floor.median_cpu());
  std::printf("    / mapped floor time:        %6.2f (cpu %.2f)\n",
              f.vornet.median_wall() / f.mapped_floor.median_wall(),
              f.vornet.median_cpu() / f.mapped_floor.median_cpu());
  std::printf("  yardstick time / vornet time: %6.2f (cpu %.2f)  target: at least %.0f\n",
              f.walk.median_wall() / f.vornet.median_wall(),
              f.walk.median_cpu() / f.vornet.median_cpu(), kTargetSpeedUp);
  std::printf("  vornet peak RSS:              %6.1f MiB          target: at most %.0f MiB\n",
              f.peak_rss_mib, kTargetRssMiB);
  std::printf("  --report time / vornet time:  %6.2f (cpu %.2f)\n",
              f.report.median_wall() / f.vornet.median_wall(),
              f.report.median_cpu() / f.vornet.median_cpu());
  std::fflush(stdout);
  return f;
}

void print_summary(const std::vector<FileFigures> &files) {
  std::printf("\nsummary: medians of wall-clock time (of processor time in parentheses);\n"
              "MB/s = 10^6 bytes a second\n");
  std::printf("  %-18s %8s %9s %15s %9s\n", "file", "vornet", "yardstick", "speed-up", "peak RSS");
  std::printf("  %-18s %8s %9s %15s %9s\n", "", "MB/s", "MB/s", "(target >= 3)", "MiB (<=16)");
  for (const FileFigures &f : files) {
    char speed_up[32];
    std::snprintf(speed_up, sizeof speed_up, "%.2f (%.2f)",
                  f.walk.median_wall() / f.vornet.median_wall(),
                  f.walk.median_cpu() / f.vornet.median_cpu());
    std::printf("  %-18s %8.1f %9.1f %15s %9.1f\n", f.label.c_str(),
                mb_per_s(f.bytes, f.vornet.median_wall()), mb_per_s(f.bytes, f.walk.median_wall()),
                speed_up, f.peak_rss_mib);
  }
  std::printf("\nthe floors, each way of reading, and vornet's time over each floor's\n");
  std::printf("  %-18s %9s %9s %9s %14s %14s %14s\n", "file", "64 KiB", "huge page", "mapped",
              "vornet/64 KiB", "vornet/huge", "vornet/mapped");
  std::printf("  %-18s %9s %9s %9s %14s %14s %14s\n", "", "MB/s", "MB/s", "MB/s", "(target <= 3)",
              "", "");
  for (const FileFigures &f : files) {
    char ratio[3][32];
    const Times *floors[3] = {&f.floor, &f.huge_floor, &f.mapped_floor};
    for (int i = 0; i < 3; ++i)
      std::snprintf(ratio[i], sizeof ratio[i], "%.2f (%.2f)",
                    f.vornet.median_wall() / floors[i]->median_wall(),
                    f.vornet.median_cpu() / floors[i]->median_cpu());
    std::printf("  %-18s %9.1f %9.1f %9.1f %14s %14s %14s%s\n", f.label.c_str(),
                mb_per_s(f.bytes, f.floor.median_wall()),
                mb_per_s(f.bytes, f.huge_floor.median_wall()),
                mb_per_s(f.bytes, f.mapped_floor.median_wall()), ratio[0], ratio[1], ratio[2],
                f.huge_page_granted ? "" : "  (no huge page granted)");
  }
  bool any = false;
  for (const FileFigures &f : files) any = any || !f.levels.empty();
  if (!any) return;
  std::printf("\nkernel levels, end to end (wall-clock medians):\n");
  std::printf("  %-18s %-9s %8s %13s %13s %13s %13s %9s\n", "file", "level", "MB/s", "walk / level",
              "level/64KiB", "level/huge", "level/mapped", "peak RSS");
  for (const FileFigures &f : files)
    for (const LevelFigures &l : f.levels)
      std::printf("  %-18s %-9s %8.1f %13.2f %13.2f %13.2f %13.2f %9.1f\n", f.label.c_str(),
                  l.level, mb_per_s(f.bytes, l.times.median_wall()),
                  f.walk.median_wall() / l.times.median_wall(),
                  l.times.median_wall() / f.floor.median_wall(),
                  l.times.median_wall() / f.huge_floor.median_wall(),
                  l.times.median_wall() / f.mapped_floor.median_wall(), l.peak_rss_mib);
}

// The SAO files of `dir`, in name order, joined and repeated until `bytes`
// are written to `path`; returns the bytes written (0 where there are none).
uint64_t join_real_samples(const std::string &dir, const std::string &path, uint64_t bytes) {
  std::vector<std::string> names;
  if (DIR *d = ::opendir(dir.c_str())) {
    while (const dirent *e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name.size() > 4 && (name.ends_with(".SAO") || name.ends_with(".sao")))
        names.push_back(name);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  std::string joined;
  for (const std::string &name : names) joined += read_file(dir + "/" + name);
  if (joined.empty()) {
    std::printf("(no SAO files in %s: no real input)\n", dir.c_str());
    return 0;
  }
  std::ofstream out(path, std::ios::binary);
  uint64_t written = 0;
  while (written < bytes) {
    out.write(joined.data(), static_cast<std::streamsize>(joined.size()));
    written += joined.size();
  }
  if (!out) throw std::runtime_error("cannot write " + path);
  return written;
}

std::vector<Input> prepare_inputs(const Options &o, const Scratch &dir) {
  std::vector<Input> inputs;
  if (!o.input.empty()) {
    char resolved[PATH_MAX];
    if (!::realpath(o.input.c_str(), resolved)) usage("cannot find the --input file");
    if (::symlink(resolved, dir.file("input.sao").c_str()) != 0)
      throw std::runtime_error("cannot link the input");
    inputs.push_back({size_label(file_size(resolved)), "input.sao"});
    return inputs;
  }
  for (size_t i = 0; i < o.sizes.size(); ++i) {
    if (o.sizes[i] == 0) continue;
    saogen::GeneratorOptions g;
    g.seed = o.seed;
    g.records = 0;
    g.target_bytes = o.sizes[i];
    g.start = saogen::DateTime{2023, 12, 28, 0, 0, 0};
    const std::string name = "realistic-" + std::to_string(i) + ".sao";
    generate_file(dir.file(name), g);
    inputs.push_back({"generated " + size_label(o.sizes[i]), name});
  }
  // Each directory's files make one input, named after the directory
  // ("sao-archives" gives "archives 100 MB").
  for (size_t i = 0; i < o.real.size(); ++i) {
    std::string label = o.real[i];
    while (label.size() > 1 && label.back() == '/') label.pop_back();
    label = label.substr(label.find_last_of('/') + 1);
    if (label.rfind("sao-", 0) == 0) label.erase(0, 4);
    const std::string name = "real-" + std::to_string(i) + ".sao";
    const uint64_t bytes = join_real_samples(o.real[i], dir.file(name), kRealBytes);
    if (bytes > 0) inputs.push_back({label + " " + size_label(kRealBytes), name});
  }
  return inputs;
}

// ---- pre-scan

// Copies `from` to `to` with a "*" in place of the first character of the
// first record's description line (group 2), which the record reads as text.
// Returns the number of that line, counted from 1.
int copy_with_early_finding(const std::string &from, const std::string &to) {
  std::ifstream in(from, std::ios::binary);
  std::string line;
  uint64_t offset = 0;
  int32_t group1_count = 0;
  int i = 0;
  for (;; ++i) {
    if (!std::getline(in, line)) throw std::runtime_error("no description line in " + from);
    if (i == 0) group1_count = std::atoi(line.substr(0, 3).c_str());
    if (i == 2 + (group1_count + 15) / 16) break; // after two index lines and group 1
    offset += line.size() + 1;
  }
  in.clear();
  in.seekg(0);
  write_file(to, [&](const saogen::ChunkSink &sink) {
    std::vector<char> buffer(kMiB);
    uint64_t at = 0;
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
      const size_t got = static_cast<size_t>(in.gcount());
      if (offset >= at && offset < at + got) buffer[offset - at] = '*';
      sink(std::string_view(buffer.data(), got));
      at += got;
    }
  });
  return i + 1;
}

int prescan_cost(const Options &o, const Scratch &dir, const Input &in) {
  const std::string early = "prescan-early.sao";
  const int finding_line = copy_with_early_finding(dir.file(in.name), dir.file(early));
  const int runs = o.runs > 0 ? o.runs : 11;

  run_vornet_ok(o, dir, in.name);
  const uint64_t listed = listed_records(dir);
  run_vornet_ok(o, dir, early);
  if (!list_file_holds(dir, "-----> \"*\" in sao file @ line")) {
    std::printf("pre-scan: the copy's finding was not reported; no comparison\n");
    return 1;
  }
  if (listed_records(dir) != listed) {
    std::printf("pre-scan: the copy's records differ from the file's; no comparison\n");
    return 1;
  }
  Times full, stopped;
  for (int i = 0; i < runs; ++i) {
    for (auto [name, times] : {std::pair{&in.name, &full}, std::pair{&early, &stopped}}) {
      const ChildRun r = run_vornet_ok(o, dir, *name);
      times->wall.push_back(r.seconds);
      times->cpu.push_back(r.cpu_seconds);
    }
  }
  std::printf("\npre-scan cost, %s file, %d runs of each (medians; spread = max - min)\n",
              in.label.c_str(), runs);
  std::printf("  %-30s %8s %8s %8s %8s\n", "", "wall s", "spread", "cpu s", "spread");
  const auto row = [](const char *what, const Times &t) {
    std::printf("  %-30s %8.4f %8.4f %8.4f %8.4f\n", what, t.median_wall(),
                maximum(t.wall) - minimum(t.wall), t.median_cpu(), maximum(t.cpu) - minimum(t.cpu));
  };
  row("pre-scan over 9999 lines", full);
  char stopped_label[48];
  std::snprintf(stopped_label, sizeof stopped_label, "pre-scan stopped at line %d", finding_line);
  row(stopped_label, stopped);
  const double wall = full.median_wall() - stopped.median_wall();
  const double cpu = full.median_cpu() - stopped.median_cpu();
  std::printf("  difference: %+.4f s wall (%+.1f%%), %+.4f s cpu (%+.1f%%)\n", wall,
              100.0 * wall / full.median_wall(), cpu, 100.0 * cpu / full.median_cpu());
  (void)::unlink(dir.file(early).c_str());
  return 0;
}

// ---- memory

void report_memory(const char *what, const ChildRun &r, uint64_t bytes, bool &all_below) {
  const bool below = r.peak_rss_mib <= kTargetRssMiB;
  all_below = all_below && below;
  char rate[32] = "";
  if (bytes != 0) std::snprintf(rate, sizeof rate, " (%.1f MB/s)", mb_per_s(bytes, r.seconds));
  std::printf("  %-34s exit %d, %.2f s%s, peak RSS %.1f MiB (%s %.0f MiB)\n", what, r.exit_status,
              r.seconds, rate, r.peak_rss_mib, below ? "within" : "NOT within", kTargetRssMiB);
}

int memory(const Options &o, const Scratch &dir) {
  std::printf("\nmemory\n");
  bool all_below = true;
  {
    const std::string path = dir.file("empty.sao");
    std::ofstream(path, std::ios::binary).close();
    report_memory("empty file:", run_vornet(o, dir, "empty.sao"), 0, all_below);
  }
  {
    saogen::GeneratorOptions g;
    g.seed = o.seed;
    g.records = 0;
    g.target_bytes = kGiB;
    g.format_version = 5;
    g.line_ends = saogen::LineEnds::mixed;
    g.start = saogen::DateTime{2020, 1, 1, 0, 0, 0};
    const std::string path = dir.file("large-v5.sao");
    const saogen::GenerationSummary s = generate_file(path, g);
    const ChildRun r = run_vornet(o, dir, "large-v5.sao");
    report_memory("1 GiB of version-5 records:", r, s.bytes, all_below);
    const uint64_t listed = listed_records(dir);
    std::printf("  listed %llu of %llu records\n", static_cast<unsigned long long>(listed),
                static_cast<unsigned long long>(s.records));
    if (listed != s.records) all_below = false;
    (void)::unlink(path.c_str());
  }
  {
    const std::string path = dir.file("long-line.sao");
    write_file(path,
               [](const saogen::ChunkSink &sink) { saogen::write_long_line(256 * kMiB, sink); });
    report_memory("256 MiB line without a line end:", run_vornet(o, dir, "long-line.sao"),
                  256 * kMiB, all_below);
    (void)::unlink(path.c_str());
  }
  std::printf("  memory target: %s\n", all_below ? "met" : "NOT met");
  return all_below ? 0 : 1;
}

int run(const Options &o) {
  std::printf("vornet: %s\n", o.vornet.c_str());
  std::printf("machine: %s, %ld online CPUs; field kernel level: %s\n", cpu_model().c_str(),
              ::sysconf(_SC_NPROCESSORS_ONLN),
              recio::kernel_level_name(recio::best_kernel_level()));
  std::fflush(stdout);
  Scratch dir(o.work, o.keep);
  int status = 0;
  std::vector<Input> inputs;
  if (o.throughput || o.prescan) inputs = prepare_inputs(o, dir);
  if (o.throughput) {
    std::vector<FileFigures> figures;
    for (const Input &in : inputs)
      figures.push_back(measure_file(o, dir, in));
    print_summary(figures);
  }
  if (o.prescan) status |= prescan_cost(o, dir, inputs.front());
  // The throughput files are no longer needed; the memory runs make their own.
  for (const Input &in : inputs)
    (void)::unlink(dir.file(in.name).c_str());
  if (o.memory) status |= memory(o, dir);
  return status;
}

} // namespace

int main(int argc, char **argv) {
  Options o;
  const char *tmp = std::getenv("TMPDIR");
  o.work = tmp && *tmp ? tmp : "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    const auto value = [&]() -> const char * {
      if (i + 1 >= argc) usage("an option lacks its value");
      return argv[++i];
    };
    if (a == "--vornet")
      o.vornet = value();
    else if (a == "--at-level")
      o.at_level = value();
    else if (a == "--real")
      o.real.push_back(value());
    else if (a == "--input")
      o.input = value();
    else if (a == "--bytes")
      o.sizes.push_back(size_argument(value()));
    else if (a == "--runs")
      o.runs = std::max(1, std::atoi(value()));
    else if (a == "--seed")
      o.seed = size_argument(value());
    else if (a == "--work")
      o.work = value();
    else if (a == "--throughput")
      o.throughput = true;
    else if (a == "--prescan")
      o.prescan = true;
    else if (a == "--memory")
      o.memory = true;
    else if (a == "--keep")
      o.keep = true;
    else
      usage("unknown option");
  }
  if (!o.throughput && !o.prescan && !o.memory) o.throughput = o.prescan = o.memory = true;
  if (o.sizes.empty()) o.sizes = {100 * 1000 * 1000, kGiB};
  if (::access(o.vornet.c_str(), X_OK) != 0) usage("the vornet binary is not there; use --vornet");
  // The child changes directory before it starts the binary.
  char resolved[PATH_MAX];
  if (::realpath(o.vornet.c_str(), resolved)) o.vornet = resolved;
  if (::realpath(o.at_level.c_str(), resolved)) o.at_level = resolved;
  try {
    return run(o);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "vornet_bench: %s\n", e.what());
    return 1;
  }
}
