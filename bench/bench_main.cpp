// vornet_bench: throughput and peak memory of the vornet binary.
//
//   vornet_bench [--vornet PATH] [--input FILE | --bytes N | --records N]
//                [--runs K] [--seed S] [--work DIR] [--keep]
//   vornet_bench --memory [--vornet PATH] [--work DIR] [--keep]
//
// Throughput mode lists one input (generated unless --input names one) K times
// and sets vornet's time against a baseline measured in the same run on the same
// file: a plain scalar pass that reads the file through a buffer and converts
// every field with strtol or strtod. Figures are reported as the ratio of
// vornet's time to the baseline's, with MB/s (10^6 bytes a second) and the
// child's peak resident set size.
//
// Memory mode lists a 1 GiB file of realistic records and a 256 MiB single line
// without a line end, and reports each run's peak resident set size against the
// target of 16 MiB.
#include "baseline_reader.h"
#include "sao_generator.h"
#include "size_argument.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kMiB = 1ull << 20;
constexpr uint64_t kGiB = 1ull << 30;
constexpr double kTargetRssMiB = 16.0;

struct Options {
  std::string vornet = VORNET_BINARY;
  std::string input;
  std::string work;
  uint64_t bytes = 128 * kMiB;
  uint64_t records = 0;
  uint64_t seed = 1;
  int runs = 5;
  bool memory = false;
  bool keep = false;
};

[[noreturn]] void usage(const char *problem) {
  std::fprintf(stderr,
               "vornet_bench: %s\n"
               "usage: vornet_bench [--vornet PATH] [--input FILE | --bytes N | --records N]\n"
               "                    [--runs K] [--seed S] [--work DIR] [--keep]\n"
               "       vornet_bench --memory [--vornet PATH] [--work DIR] [--keep]\n",
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

double mb_per_s(uint64_t bytes, double seconds) {
  return static_cast<double>(bytes) / 1e6 / seconds;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

uint64_t file_size(const std::string &path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + path);
  return static_cast<uint64_t>(st.st_size);
}

class Scratch {
public:
  Scratch(const std::string &base, bool keep) : keep_(keep) {
    std::string templ = base + "/vornet-bench-XXXXXX";
    if (!::mkdtemp(templ.data())) throw std::runtime_error("cannot create a directory in " + base);
    path_ = templ;
  }
  ~Scratch() {
    if (keep_) {
      std::fprintf(stderr, "kept %s\n", path_.c_str());
      return;
    }
    const std::string cmd = "rm -rf '" + path_ + "'";
    (void)std::system(cmd.c_str());
  }
  std::string file(const std::string &name) const { return path_ + "/" + name; }
  const std::string &path() const { return path_; }

private:
  std::string path_;
  bool keep_;
};

struct ChildRun {
  int exit_status = -1;
  double seconds = 0;
  double user_seconds = 0;
  double system_seconds = 0;
  double peak_rss_mib = 0;
};

// Runs vornet on `input_name` with its working directory at `dir`, its standard
// output thrown away and its standard error kept in "stderr.txt".
ChildRun run_vornet(const Options &o, const Scratch &dir, const std::string &input_name) {
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
    char *argv[] = {const_cast<char *>("vornet"), const_cast<char *>(input_name.c_str()), nullptr};
    ::execv(o.vornet.c_str(), argv);
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
  r.user_seconds =
      static_cast<double>(ru.ru_utime.tv_sec) + static_cast<double>(ru.ru_utime.tv_usec) / 1e6;
  r.system_seconds =
      static_cast<double>(ru.ru_stime.tv_sec) + static_cast<double>(ru.ru_stime.tv_usec) / 1e6;
  r.peak_rss_mib = static_cast<double>(ru.ru_maxrss) / 1024.0; // kilobytes on Linux
  if (r.exit_status == 127) throw std::runtime_error("cannot run " + o.vornet);
  return r;
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

std::string generate_file(const std::string &path, saogen::GeneratorOptions g,
                          saogen::GenerationSummary &summary) {
  std::FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + path);
  const Clock::time_point start = Clock::now();
  summary = saogen::generate(g, [&](std::string_view chunk) {
    if (std::fwrite(chunk.data(), 1, chunk.size(), f) != chunk.size())
      throw std::runtime_error("cannot write " + path);
  });
  if (std::fclose(f) != 0) throw std::runtime_error("cannot write " + path);
  std::printf("generated %s: %llu records, %llu lines, %.1f MiB in %.2f s\n", path.c_str(),
              static_cast<unsigned long long>(summary.records),
              static_cast<unsigned long long>(summary.lines),
              static_cast<double>(summary.bytes) / static_cast<double>(kMiB), seconds_since(start));
  return path;
}

int throughput(const Options &o) {
  Scratch dir(o.work, o.keep);
  const std::string input = dir.file("input.sao");
  uint64_t expected_records = 0;
  if (!o.input.empty()) {
    char resolved[PATH_MAX];
    if (!::realpath(o.input.c_str(), resolved)) usage("cannot find the --input file");
    if (::symlink(resolved, input.c_str()) != 0) throw std::runtime_error("cannot link the input");
  } else {
    saogen::GeneratorOptions g;
    g.seed = o.seed;
    g.records = o.records;
    g.target_bytes = o.records ? 0 : o.bytes;
    g.start = saogen::DateTime{2023, 12, 28, 0, 0, 0};
    saogen::GenerationSummary s;
    generate_file(input, g, s);
    expected_records = s.records;
  }
  const uint64_t bytes = file_size(input);

  // One pass of each first, so that both start from the page cache.
  const bench::BaselineResult check = bench::scan_sao_file(input);
  if (expected_records != 0 && check.records != expected_records)
    std::printf("warning: the baseline found %llu records, %llu were generated\n",
                static_cast<unsigned long long>(check.records),
                static_cast<unsigned long long>(expected_records));
  const ChildRun first = run_vornet(o, dir, "input.sao");
  const uint64_t listed = listed_records(dir);
  if (first.exit_status != 0) {
    std::printf("vornet ended with status %d; see %s\n", first.exit_status,
                dir.file("stderr.txt").c_str());
    return 1;
  }
  if (listed != check.records)
    std::printf("warning: vornet listed %llu records, the baseline walked %llu\n",
                static_cast<unsigned long long>(listed),
                static_cast<unsigned long long>(check.records));

  std::vector<double> base_times, vornet_times;
  double peak_rss = first.peak_rss_mib, cpu = 0;
  volatile double sink = 0;
  for (int i = 0; i < o.runs; ++i) {
    const Clock::time_point start = Clock::now();
    const bench::BaselineResult b = bench::scan_sao_file(input);
    base_times.push_back(seconds_since(start));
    sink = sink + b.checksum;

    const ChildRun r = run_vornet(o, dir, "input.sao");
    if (r.exit_status != 0) {
      std::printf("vornet ended with status %d\n", r.exit_status);
      return 1;
    }
    vornet_times.push_back(r.seconds);
    peak_rss = std::max(peak_rss, r.peak_rss_mib);
    cpu += r.user_seconds + r.system_seconds;
  }
  (void)sink;

  const double base_min = *std::min_element(base_times.begin(), base_times.end());
  const double vornet_min = *std::min_element(vornet_times.begin(), vornet_times.end());
  const double base_med = median(base_times);
  const double vornet_med = median(vornet_times);
  std::printf("input: %llu bytes (%.1f MiB), %llu lines, %llu records, %llu fields; %d runs each\n",
              static_cast<unsigned long long>(bytes),
              static_cast<double>(bytes) / static_cast<double>(kMiB),
              static_cast<unsigned long long>(check.lines),
              static_cast<unsigned long long>(check.records),
              static_cast<unsigned long long>(check.fields), o.runs);
  std::printf("baseline scalar pass: min %.3f s (%.1f MB/s), median %.3f s (%.1f MB/s)\n", base_min,
              mb_per_s(bytes, base_min), base_med, mb_per_s(bytes, base_med));
  std::printf("vornet:               min %.3f s (%.1f MB/s), median %.3f s (%.1f MB/s), "
              "cpu %.3f s a run\n",
              vornet_min, mb_per_s(bytes, vornet_min), vornet_med, mb_per_s(bytes, vornet_med),
              cpu / o.runs);
  std::printf("vornet records listed: %llu\n", static_cast<unsigned long long>(listed));
  std::printf("ratio vornet time / baseline time: %.2f (min), %.2f (median)\n",
              vornet_min / base_min, vornet_med / base_med);
  std::printf("vornet peak RSS: %.1f MiB\n", peak_rss);
  return 0;
}

void report_memory(const char *what, const ChildRun &r, uint64_t bytes, bool &all_below) {
  const bool below = r.peak_rss_mib < kTargetRssMiB;
  all_below = all_below && below;
  char rate[32] = "";
  if (bytes != 0) std::snprintf(rate, sizeof rate, " (%.1f MB/s)", mb_per_s(bytes, r.seconds));
  std::printf("%-34s exit %d, %.2f s%s, peak RSS %.1f MiB (%s %.0f MiB)\n", what, r.exit_status,
              r.seconds, rate, r.peak_rss_mib, below ? "below" : "NOT below", kTargetRssMiB);
}

int memory(const Options &o) {
  Scratch dir(o.work, o.keep);
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
    saogen::GenerationSummary s;
    const std::string path = generate_file(dir.file("large.sao"), g, s);
    const ChildRun r = run_vornet(o, dir, "large.sao");
    report_memory("1 GiB of records:", r, s.bytes, all_below);
    const uint64_t listed = listed_records(dir);
    std::printf("  listed %llu of %llu records\n", static_cast<unsigned long long>(listed),
                static_cast<unsigned long long>(s.records));
    if (listed != s.records) all_below = false;
    (void)::unlink(path.c_str());
  }
  {
    const std::string path = dir.file("long-line.sao");
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + path);
    saogen::write_long_line(256 * kMiB, [&](std::string_view chunk) {
      if (std::fwrite(chunk.data(), 1, chunk.size(), f) != chunk.size())
        throw std::runtime_error("cannot write " + path);
    });
    if (std::fclose(f) != 0) throw std::runtime_error("cannot write " + path);
    report_memory("256 MiB line without a line end:", run_vornet(o, dir, "long-line.sao"),
                  256 * kMiB, all_below);
    (void)::unlink(path.c_str());
  }
  std::printf("memory target: %s\n", all_below ? "met" : "NOT met");
  return all_below ? 0 : 1;
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
    else if (a == "--input")
      o.input = value();
    else if (a == "--bytes")
      o.bytes = size_argument(value());
    else if (a == "--records")
      o.records = size_argument(value());
    else if (a == "--runs")
      o.runs = std::max(1, std::atoi(value()));
    else if (a == "--seed")
      o.seed = size_argument(value());
    else if (a == "--work")
      o.work = value();
    else if (a == "--memory")
      o.memory = true;
    else if (a == "--keep")
      o.keep = true;
    else
      usage("unknown option");
  }
  if (::access(o.vornet.c_str(), X_OK) != 0) usage("the vornet binary is not there; use --vornet");
  // The child changes directory before it starts the binary.
  char resolved[PATH_MAX];
  if (::realpath(o.vornet.c_str(), resolved)) o.vornet = resolved;
  try {
    std::printf("vornet: %s\n", o.vornet.c_str());
    return o.memory ? memory(o) : throughput(o);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "vornet_bench: %s\n", e.what());
    return 1;
  }
}
