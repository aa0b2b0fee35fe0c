#include "harness.h"

#include "recio/format.h"
#include "recio/run_errors.h"
#include "recio/units.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fuzzing {

namespace {

int g_in = -1, g_out = -1, g_err = -1;
std::vector<std::string> g_words;
std::vector<char *> g_argv;

[[noreturn]] void throw_run_ended(int status) { throw RunEnded{status}; }

int reopen(int fd, const char *name) {
  if (fd >= 0) ::close(fd);
  fd = ::open(name, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) finding("cannot create a console file", name);
  return fd;
}

std::string read_fd(int fd) {
  std::string s;
  char buf[4096];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buf, sizeof buf, at);
    if (n <= 0) break;
    s.append(buf, static_cast<size_t>(n));
    at += n;
  }
  return s;
}

bool starts(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// Takes one line (through "\r\n") off the front of `s`; false when there is none.
bool take_line(std::string_view &s, std::string_view &line) {
  const size_t end = s.find("\r\n");
  if (end == std::string_view::npos) return false;
  line = s.substr(0, end);
  s.remove_prefix(end + 2);
  return true;
}

bool all_digits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

uint64_t saturating_add(uint64_t a, uint64_t b) { return a + b < a ? UINT64_MAX : a + b; }
uint64_t saturating_mul(uint64_t a, uint64_t b) {
  if (a != 0 && b > UINT64_MAX / a) return UINT64_MAX;
  return a * b;
}

// Steps of one walk through ops [begin, end).
uint64_t walk_cost(const std::vector<recio::Descriptor> &ops, size_t begin, size_t end,
                   bool fields) {
  uint64_t cost = 0;
  for (size_t i = begin; i < end; ++i) {
    const recio::Descriptor &d = ops[i];
    uint64_t step = 1;
    switch (d.op) {
    case recio::Op::end:
    case recio::Op::invalid:
      return saturating_add(cost, 1);
    case recio::Op::group_begin: {
      // A group left open by a fault in the format runs to the fault.
      const size_t close =
          static_cast<size_t>(d.digits) > i ? static_cast<size_t>(d.digits) : end;
      step = saturating_mul(static_cast<uint64_t>(d.repeat),
                            saturating_add(walk_cost(ops, i + 1, close, fields), 1));
      i = close;
      break;
    }
    case recio::Op::skip:
      step = saturating_add(static_cast<uint64_t>(d.width), 1);
      break;
    case recio::Op::literal:
      step = saturating_add(static_cast<uint64_t>(d.digits), 1);
      break;
    case recio::Op::slash:
      step = static_cast<uint64_t>(d.repeat);
      break;
    case recio::Op::int_field:
    case recio::Op::fixed_field:
    case recio::Op::exp_field:
    case recio::Op::text_field:
      if (fields) step = saturating_add(static_cast<uint64_t>(d.width), 1);
      break;
    default:
      break;
    }
    cost = saturating_add(cost, step);
  }
  return cost;
}

} // namespace

void finding(const char *what, std::string_view detail) {
  std::fprintf(stderr, "\n==== FINDING: %s\n%.*s\n====\n", what, static_cast<int>(detail.size()),
               detail.data());
  std::abort();
}

void enter_work_dir() {
  static bool entered = false;
  if (entered) return;
  entered = true;
  const char *base = std::getenv("TMPDIR");
  struct stat st {};
  std::string templ = base && *base ? base : (::stat("/dev/shm", &st) == 0 ? "/dev/shm" : "/tmp");
  templ += "/vornet-fuzz-XXXXXX";
  if (!::mkdtemp(templ.data()) || ::chdir(templ.c_str()) != 0)
    finding("cannot make a working directory", templ);
  g_in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  // The directory goes when the fuzzer ends.
  static const std::string dir = templ;
  std::atexit([] {
    const std::string cmd = "rm -rf '" + dir + "'";
    (void)std::system(cmd.c_str());
  });
}

void write_file(const char *name, const void *data, size_t size) {
  const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) finding("cannot write a file", name);
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n <= 0) finding("cannot write a file", name);
    p += n;
    size -= static_cast<size_t>(n);
  }
  ::close(fd);
}

std::string read_file(const char *name) {
  const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string s = read_fd(fd);
  ::close(fd);
  return s;
}

void start_run(std::initializer_list<const char *> args, const char *stdin_file) {
  enter_work_dir();
  static int file_in = -1;
  if (file_in >= 0) ::close(file_in);
  file_in = stdin_file ? ::open(stdin_file, O_RDONLY | O_CLOEXEC) : -1;
  if (stdin_file && file_in < 0) finding("cannot open standard input", stdin_file);
  g_out = reopen(g_out, "console.out");
  g_err = reopen(g_err, "console.err");
  g_words.assign(1, "vornet");
  for (const char *a : args) g_words.emplace_back(a);
  g_argv.clear();
  for (std::string &w : g_words) g_argv.push_back(w.data());
  g_argv.push_back(nullptr);
  recio::initialize_runtime(static_cast<int>(g_words.size()), g_argv.data(),
                            file_in >= 0 ? file_in : g_in, g_out, g_err);
  recio::set_exit_handler(throw_run_ended);
}

std::string console_out() { return read_fd(g_out); }
std::string console_err() { return read_fd(g_err); }

void check_reports(std::string_view err, bool with_traceback) {
  const std::string_view all = err;
  if (err.empty()) finding("a run-time error without a report");
  // A report takes the traceback frames with it, so an error raised while the
  // run is ending (a list file that cannot be written out) has neither a
  // source position nor a traceback when it follows another report.
  for (bool first = true; !err.empty(); first = false) {
    std::string_view line;
    if (!take_line(err, line) || !line.empty()) finding("report does not start with CR LF", all);
    if (!take_line(err, line)) finding("report line not ended", all);
    // Optional source position: name(number) : 
    const size_t at = line.find("run-time error ");
    if (at == std::string_view::npos) finding("no \"run-time error\" in the report", all);
    if (at > 0) {
      const std::string_view prefix = line.substr(0, at);
      const size_t open = prefix.find('(');
      if (open == std::string_view::npos || prefix.size() < open + 5 ||
          prefix.substr(prefix.size() - 4) != ") : " ||
          !all_digits(prefix.substr(open + 1, prefix.size() - 4 - open - 1)))
        finding("malformed source position", all);
    }
    const std::string_view rest = line.substr(at + 15);
    if (rest.size() < 6 || (rest[0] != 'F' && rest[0] != 'M') || rest[1] != '6' ||
        !all_digits(rest.substr(1, 4)) || rest[5] != ':')
      finding("malformed error number", all);
    if (!take_line(err, line) || !starts(line, "- ") || line.size() < 3)
      finding("no message line", all);
    if ((with_traceback && first) || starts(err, "\r\nExecution traceback:\r\n")) {
      if (!take_line(err, line) || !line.empty() || !take_line(err, line) ||
          line != "Execution traceback:")
        finding("no traceback", all);
      int frames = 0;
      while (starts(err, "\t\tfrom ")) {
        if (!take_line(err, line) || line.find(" in ") == std::string_view::npos ||
            line.back() != ')')
          finding("malformed traceback line", all);
        ++frames;
      }
      if (frames == 0) finding("traceback without frames", all);
    }
  }
}

bool format_work_bounded(std::string_view format, uint64_t items, uint64_t limit,
                         bool fields) {
  const recio::ParsedFormat parsed = recio::parse_format(format);
  const uint64_t once = walk_cost(parsed.ops, 0, parsed.ops.size(), fields);
  return saturating_mul(once, saturating_add(items, 1)) <= limit;
}

} // namespace fuzzing
