// The many-files benchmark: a station's archive as stations keep it, one
// record per file, listed by one run of vornet, by a loop of one run per
// file, counted by one run of grep -c (a tool a user would reach for to read
// every file), and read by a program that only opens, reads and closes every
// file (the floor); then a station-year (105,120 files, one every five minutes)
// through find -print0 | xargs -0, and the start-up of a run of one file
// against an empty C++ program compiled and linked the same way.
//
//   vornet_many_files_bench --samples DIR [--files N] [--year N] [--runs N]
//                           [--startup-runs N] [--tmp DIR] [--grep PATH] [--keep]
//
// The files are copies of the real one-record samples of DIR
// (TR169_*.SAO), taken in turn, in a temporary directory; every figure is
// measured with the files in the page cache, in this one run. Times are
// medians of wall-clock and of processor time (user and system, the child
// and every process it waited for).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "scratch_dir.h"

namespace {

struct Options {
  std::string vornet = VORNET_BINARY;
  std::string empty = VORNET_EMPTY_MAIN;
  std::string floor = VORNET_OPEN_READ_CLOSE;
  std::string grep = "/bin/grep";
  std::string samples;
  std::string tmp;
  size_t files = 3000;
  size_t year = 105120;
  int runs = 5;
  int startup_runs = 300;
  bool keep = false;
};

// The targets, printed beside the figures.
constexpr double kTargetLoopSpeedUp = 50;
constexpr double kTargetFloorRatio = 3;
constexpr double kTargetGrepRatio = 2;
constexpr double kTargetYearSeconds = 5;
constexpr double kTargetStartupRatio = 1.3;

struct Run {
  int status = -1;
  double wall = 0;
  double cpu = 0;
  long minor_faults = 0;
};

struct Figures {
  std::vector<double> wall, cpu;
  std::vector<long> faults;
  void add(const Run &r) {
    wall.push_back(r.wall);
    cpu.push_back(r.cpu);
    faults.push_back(r.minor_faults);
  }
};

template <class T> T median(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double seconds_of(const timeval &t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Runs `argv` with its working directory at `dir`, standard input and output
// on the null device and standard error in `dir`/stderr.txt.
Run run(const std::string &dir, const std::vector<std::string> &argv) {
  std::vector<char *> words;
  for (const std::string &w : argv) words.push_back(const_cast<char *>(w.c_str()));
  words.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int null_fd = ::open("/dev/null", O_RDWR);
    const int err_fd =
        ::open((dir + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (null_fd < 0 || err_fd < 0 || ::chdir(dir.c_str()) != 0) ::_exit(126);
    ::dup2(null_fd, 0);
    ::dup2(null_fd, 1);
    ::dup2(err_fd, 2);
    ::execv(words[0], words.data());
    ::_exit(127);
  }
  int status = 0;
  rusage ru{};
  while (::wait4(pid, &status, 0, &ru) < 0)
    if (errno != EINTR) throw std::runtime_error("wait4 failed");
  Run r;
  r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.cpu = seconds_of(ru.ru_utime) + seconds_of(ru.ru_stime);
  r.minor_faults = ru.ru_minflt;
  if (r.status == 127) throw std::runtime_error("cannot run " + argv[0]);
  return r;
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const std::string &content) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || ::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
    throw std::runtime_error("cannot write " + path);
  ::close(fd);
}

std::vector<std::string> one_record_samples(const std::string &dir) {
  std::vector<std::string> names;
  if (DIR *d = ::opendir(dir.c_str())) {
    while (const dirent *e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name.rfind("TR169_", 0) == 0 && name.size() > 4 &&
          name.compare(name.size() - 4, 4, ".SAO") == 0)
        names.push_back(name);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> contents;
  for (const std::string &n : names) contents.push_back(read_file(dir + "/" + n));
  return contents;
}

// The name of the i-th ionogram of a year at five-minute cadence, as the
// station names it: TR169_YYYYDDDHHMMSS.SAO.
std::string ionogram_name(size_t i) {
  char name[40];
  const size_t day = i / 288 + 1, minute = i % 288 * 5;
  std::snprintf(name, sizeof name, "TR169_2021%03zu%02zu%02zu00.SAO", day, minute / 60,
                minute % 60);
  return name;
}

// The benchmark's directory: under --tmp, $TMPDIR or /tmp.
std::string scratch_base(const Options &o) {
  const char *env = std::getenv("TMPDIR");
  return !o.tmp.empty() ? o.tmp : env && *env ? env : "/tmp";
}

using bench::Scratch;

// Runs `argv` in `work` after removing its list file, `runs` times after one
// unmeasured run; every run must end with status 0 and leave `records`
// listing lines (when `records` is not 0).
Figures measure(const std::string &work, const std::vector<std::string> &argv, int runs,
                size_t records) {
  Figures f;
  for (int i = 0; i <= runs; ++i) {
    (void)::unlink((work + "/preflist.s").c_str());
    const Run r = run(work, argv);
    if (r.status != 0)
      throw std::runtime_error(argv[0] + " ended with status " + std::to_string(r.status) +
                               "; see " + work + "/stderr.txt");
    if (records != 0) {
      const std::string list = read_file(work + "/preflist.s");
      const size_t lines = static_cast<size_t>(std::count(list.begin(), list.end(), '\n'));
      if (lines != 3 * records)
        throw std::runtime_error("the list holds " + std::to_string(lines) + " lines, not " +
                                 std::to_string(3 * records));
    }
    if (i > 0) f.add(r);
  }
  return f;
}

void print_row(const char *what, const Figures &f, size_t files, const Figures &loop,
               const Figures &floor) {
  const double wall = median(f.wall), cpu = median(f.cpu);
  std::printf("  %-30s %9.3f %9.3f %9.2f %9.0f %8.1f %8.2f %8.2f\n", what, wall, cpu,
              wall / static_cast<double>(files) * 1e6, static_cast<double>(files) / wall,
              median(loop.wall) / wall, wall / median(floor.wall), cpu / median(floor.cpu));
}

void many_files(const Options &o, const Scratch &scratch, const std::string &archive,
                const std::vector<std::string> &names) {
  const std::string work = scratch.sub("work");
  const std::vector<std::string> some(names.begin(), names.begin() + o.files);
  std::vector<std::string> one_run{o.vornet}, floor_run{o.floor}, grep_run{o.grep, "-c", ""};
  std::vector<std::string> loop{"/bin/sh", "-c", "for f do \"$0\" \"$f\" || exit 1; done", o.vornet};
  for (const std::string &n : some) {
    const std::string path = archive + "/" + n;
    one_run.push_back(path);
    floor_run.push_back(path);
    grep_run.push_back(path);
    loop.push_back(path);
  }
  const Figures floor = measure(work, floor_run, o.runs, 0);
  const Figures grep = measure(work, grep_run, o.runs, 0);
  const Figures all = measure(work, one_run, o.runs, o.files);
  const Figures each = measure(work, loop, std::max(1, o.runs / 2), o.files);

  std::printf("\n=== %zu one-record files: one run, the loop of one run per file, the floor\n",
              o.files);
  std::printf("  %-30s %9s %9s %9s %9s %8s %8s %8s\n", "pass", "wall s", "cpu s", "us/file",
              "files/s", "loop /", "/ floor", "cpu/flr");
  print_row("vornet F1 ... Fn", all, o.files, each, floor);
  print_row("for f; do vornet \"$f\"; done", each, o.files, each, floor);
  print_row("grep -c '' F1 ... Fn", grep, o.files, each, floor);
  print_row("open, read, close (floor)", floor, o.files, each, floor);
  const double speed_up = median(each.wall) / median(all.wall);
  const double floor_ratio = median(all.wall) / median(floor.wall);
  const double grep_ratio = median(all.wall) / median(grep.wall);
  std::printf("targets: one run at least %.0f times faster than the loop: %.1f (%s); "
              "within %.0f times the floor: %.2f (%s); within %.0f times grep -c: %.2f (%s)\n",
              kTargetLoopSpeedUp, speed_up, speed_up >= kTargetLoopSpeedUp ? "met" : "NOT met",
              kTargetFloorRatio, floor_ratio, floor_ratio <= kTargetFloorRatio ? "met" : "NOT met",
              kTargetGrepRatio, grep_ratio, grep_ratio <= kTargetGrepRatio ? "met" : "NOT met");
}

void station_year(const Options &o, const Scratch &scratch, const std::string &archive,
                  size_t files) {
  const std::string work = scratch.sub("year-work");
  const std::string script = "find \"$1\" -name '*.SAO' -print0 | xargs -0 \"$0\"";
  const Figures year =
      measure(work, {"/bin/sh", "-c", script, o.vornet, archive}, std::max(1, o.runs / 2), files);
  const Figures floor =
      measure(work, {"/bin/sh", "-c", script, o.floor, archive}, std::max(1, o.runs / 2), 0);
  const double wall = median(year.wall);
  std::printf("\n=== a station-year: %zu files through find -print0 | xargs -0 vornet\n", files);
  std::printf("  vornet: %.2f s wall, %.2f s processor, %.1f us a file, %.0f files a second\n",
              wall, median(year.cpu), wall / static_cast<double>(files) * 1e6,
              static_cast<double>(files) / wall);
  std::printf("  floor through the same xargs: %.2f s wall (vornet / floor %.2f)\n",
              median(floor.wall), wall / median(floor.wall));
  std::printf("target: under %.0f s: %s\n", kTargetYearSeconds,
              wall < kTargetYearSeconds ? "met" : "NOT met");
}

// One one-record file, alternately listed by vornet and ignored by the empty
// program, so that both meet the same load; between them, vornet asked for
// its version and listing an empty file, which show where its time goes.
void startup(const Options &o, const Scratch &scratch, const std::string &archive,
             const std::string &first) {
  const std::string work = scratch.sub("startup-work");
  const std::string input = archive + "/" + first;
  write_file(work + "/empty.sao", "");
  Figures empty, version, nothing, vornet;
  for (int i = 0; i < o.startup_runs; ++i) {
    (void)::unlink((work + "/preflist.s").c_str());
    empty.add(run(work, {o.empty}));
    version.add(run(work, {o.vornet, "--version"}));
    nothing.add(run(work, {o.vornet, "empty.sao"}));
    const Run r = run(work, {o.vornet, input});
    if (r.status != 0) throw std::runtime_error("vornet failed on " + input);
    vornet.add(r);
  }
  const double base = median(empty.cpu);
  std::printf("\n=== start-up: a run of one one-record file against an empty C++ main, "
              "%d runs each\n",
              o.startup_runs);
  std::printf("  %-30s %9s %9s %9s %8s\n", "", "cpu ms", "wall ms", "faults", "/ empty");
  auto row = [&](const char *what, const Figures &f) {
    std::printf("  %-30s %9.3f %9.3f %9ld %8.2f\n", what, median(f.cpu) * 1e3,
                median(f.wall) * 1e3, median(f.faults), median(f.cpu) / base);
  };
  row("empty main", empty);
  row("vornet --version", version);
  row("vornet on an empty file", nothing);
  row("vornet on a one-record file", vornet);
  const double ratio = median(vornet.cpu) / base;
  std::printf("target: at most %.1f times the empty main's processor time: %.2f (%s)\n",
              kTargetStartupRatio, ratio, ratio <= kTargetStartupRatio ? "met" : "NOT met");
}

Options parse(int argc, char **argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
      return argv[++i];
    };
    if (a == "--samples") o.samples = value();
    else if (a == "--vornet") o.vornet = value();
    else if (a == "--tmp") o.tmp = value();
    else if (a == "--grep") o.grep = value();
    else if (a == "--files") o.files = std::stoul(value());
    else if (a == "--year") o.year = std::stoul(value());
    else if (a == "--runs") o.runs = std::stoi(value());
    else if (a == "--startup-runs") o.startup_runs = std::stoi(value());
    else if (a == "--keep") o.keep = true;
    else throw std::runtime_error("unknown option " + a);
  }
  if (o.samples.empty()) throw std::runtime_error("--samples DIR is needed");
  if (o.runs < 1 || o.startup_runs < 1 || o.files < 1) throw std::runtime_error("counts start at 1");
  return o;
}

} // namespace

int main(int argc, char **argv) {
  try {
    const Options o = parse(argc, argv);
    const std::vector<std::string> samples = one_record_samples(o.samples);
    if (samples.empty()) {
      std::printf("no one-record samples (TR169_*.SAO) in %s: many-files benchmark skipped\n",
                  o.samples.c_str());
      return 0;
    }
    Scratch scratch(scratch_base(o), o.keep, "vornet-many");
    const std::string archive = scratch.sub("archive");
    const size_t count = std::max(o.files, o.year);
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) {
      names.push_back(ionogram_name(i));
      write_file(archive + "/" + names.back(), samples[i % samples.size()]);
    }
    std::printf("many files: copies of %zu real one-record samples; machine: %ld processors\n",
                samples.size(), ::sysconf(_SC_NPROCESSORS_ONLN));
    many_files(o, scratch, archive, names);
    if (o.year > 0) station_year(o, scratch, archive, count);
    startup(o, scratch, archive, names.front());
    return 0;
  } catch (const std::exception &e) {
    std::fprintf(stderr, "vornet_many_files_bench: %s\n", e.what());
    return 1;
  }
}
