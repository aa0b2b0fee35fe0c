// Format notation and field input. The input is a format text (up to the
// first line feed), a plan of read items (up to the second) and the records
// to read. The records are read from a file connected as unit 1, or from the
// console, through the fuzzed format into items of every kind.
//
// Every plan runs twice: once with its items in bulk (items(values, n)), once
// item by item. Both must give the same values, statuses and end.
#include "harness.h"

#include "recio/field_input.h"
#include "recio/format.h"
#include "recio/run_errors.h"
#include "recio/units.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using fuzzing::finding;

constexpr uint64_t kWorkLimit = 1 << 20;
constexpr size_t kMaxItems = 4000;
constexpr size_t kMaxStatements = 16;

enum class Kind : uint8_t { ints, floats, doubles, text, texts, into_one, next_statement };

struct Step {
  Kind kind;
  size_t count;  // items
  size_t length; // text length
};

struct Plan {
  recio::Handling handling;
  bool console = false;
  std::vector<Step> steps;
  size_t items = 0;
};

Plan make_plan(std::string_view text) {
  Plan plan;
  if (text.empty()) return plan;
  const auto mode = static_cast<uint8_t>(text[0]);
  plan.handling = {(mode & 1) != 0, (mode & 2) != 0};
  plan.console = (mode & 4) != 0;
  size_t statements = 1;
  for (size_t i = 1; i + 1 < text.size() && plan.items < kMaxItems; i += 2) {
    const auto k = static_cast<uint8_t>(text[i]);
    const auto c = static_cast<uint8_t>(text[i + 1]);
    Step s{static_cast<Kind>(k % 7), 1, 1};
    switch (s.kind) {
    case Kind::text:
      s.length = c % 130 + 1;
      break;
    case Kind::texts:
      s.length = c % 8 + 1;
      s.count = c / 8 % 32 + 1;
      break;
    case Kind::next_statement:
      if (++statements > kMaxStatements) return plan;
      s.count = 0;
      break;
    default:
      s.count = c % 200 + 1;
      break;
    }
    plan.items += s.count;
    plan.steps.push_back(s);
  }
  return plan;
}

// What a run of the plan produced, for comparing the two runs.
struct Transcript {
  std::string text;
  template <class T> void add(const T *values, size_t n) {
    text.append(reinterpret_cast<const char *>(values), n * sizeof(T));
  }
  void add(std::string_view s) { text.append(s); }
  void add_number(int64_t n) { text.append(std::to_string(n)).push_back(';'); }
};

void check_status(const Plan &plan, int32_t status) {
  if (status == 0) return;
  // A statement that takes its errors is not stopped by an end of file either.
  if (status == -1 && (plan.handling.end_of_file || plan.handling.errors)) return;
  if (status > 6000 && status < 7000 && plan.handling.errors) return;
  finding("a status the statement did not ask for", std::to_string(status));
}

template <class T> void fill(std::vector<T> &v, size_t n) {
  v.assign(n, T{});
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<T>(i * 7 + 3);
}

void run_step(recio::ReadStatement &read, const Step &s, bool bulk, Transcript &t) {
  switch (s.kind) {
  case Kind::ints: {
    std::vector<int32_t> v;
    fill(v, s.count);
    if (bulk) read.items(v.data(), v.size());
    else for (int32_t &x : v) read.item(x);
    t.add(v.data(), v.size());
    break;
  }
  case Kind::floats: {
    std::vector<float> v;
    fill(v, s.count);
    if (bulk) read.items(v.data(), v.size());
    else for (float &x : v) read.item(x);
    t.add(v.data(), v.size());
    break;
  }
  case Kind::doubles: {
    std::vector<double> v;
    fill(v, s.count);
    if (bulk) read.items(v.data(), v.size());
    else for (double &x : v) read.item(x);
    t.add(v.data(), v.size());
    break;
  }
  case Kind::text: {
    std::vector<char> v(s.length, '#');
    read.item(v.data(), v.size());
    t.add(std::string_view(v.data(), v.size()));
    break;
  }
  case Kind::texts: {
    std::vector<char> v(s.length * s.count, '#');
    if (bulk) read.texts(v.data(), s.length, s.count);
    else for (size_t i = 0; i < s.count; ++i) read.item(v.data() + i * s.length, s.length);
    t.add(std::string_view(v.data(), v.size()));
    break;
  }
  case Kind::into_one: {
    float x = 42.0f;
    if (bulk) read.items_into_one(x, s.count);
    else for (size_t i = 0; i < s.count; ++i) read.item(x);
    t.add(&x, 1);
    break;
  }
  case Kind::next_statement:
    break;
  }
  t.add_number(read.status());
}

Transcript run_plan(const Plan &plan, std::string_view format, bool bulk) {
  Transcript t;
  fuzzing::start_run({}, plan.console ? "records" : nullptr);
  static recio::TracebackFrame frame;
  frame = {nullptr, "fuzz", "_main", 1};
  recio::push_traceback_frame(frame);
  const int32_t unit = plan.console ? recio::kConsoleInput : 1;
  try {
    if (!plan.console) recio::connect_unit(1, "records", "");
    size_t next = 0;
    while (next <= plan.steps.size()) {
      recio::ReadStatement read(unit, format, plan.handling);
      for (; next < plan.steps.size() && plan.steps[next].kind != Kind::next_statement; ++next)
        run_step(read, plan.steps[next], bulk, t);
      ++next;
      const int32_t status = read.finish();
      check_status(plan, status);
      t.add_number(status);
    }
    recio::close_all_units();
  } catch (const fuzzing::RunEnded &e) {
    if (e.status != 1) finding("a read ended the run with a status other than 1");
    const std::string err = fuzzing::console_err();
    fuzzing::check_reports(err, true);
    t.add("ended:");
    t.add(err);
  }
  return t;
}

// Formats whose validity is known, checked once before fuzzing: every format
// the program uses, and the notation's corner cases.
void check_known_formats() {
  const std::string deep = std::string(16, '(') + "I3" + std::string(16, ')');
  const std::pair<std::string, bool> known[] = {
      {"      (40I3)", true}, {"    (16F7.3)", true}, {"      (A120)", true},
      {"     (120A1)", true}, {"  (13E9.4E1)", true}, {" (10E11.6E1)", true},
      {"     (60I2) ", true}, {"  (6E20.12) ", true}, {"(a,i8,a)", true},
      {"(a/)", true}, {"(a,1h.,a,1h.,a,2h (,a,2h) ,a,1h:,a,1h:,a)", true},
      {"(4X,A8)", true}, {"(I4,/,I3)", true}, {"(I4/I3)", true}, {"(/,I3)", true},
      {"(1H,,A)", true}, {"(2(I2,1X),3(F4.1))", true}, {"(" + deep + ")", true},
      {"", false}, {std::string(12, '\0'), false}, {"(I3", false}, {"(,I3)", false},
      {"(I3,)", false}, {"(I3,,I3)", false}, {"(I4,/,)", false}, {"(F7)", false},
      {"(I)", false}, {"(0I3)", false}, {"((" + deep + "))", false}, {"(5H)", false},
  };
  for (const auto &[text, valid] : known) {
    const recio::ParsedFormat parsed = recio::parse_format(text);
    if (parsed.ops.empty() || (parsed.ops.back().op == recio::Op::end) != valid)
      finding(valid ? "a valid format is rejected" : "an invalid format is accepted", text);
  }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  check_known_formats();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view input(reinterpret_cast<const char *>(data), size);
  const size_t format_end = input.find('\n');
  if (format_end == std::string_view::npos) return 0;
  const size_t plan_end = input.find('\n', format_end + 1);
  if (plan_end == std::string_view::npos) return 0;
  const std::string_view format = input.substr(0, format_end);
  const Plan plan = make_plan(input.substr(format_end + 1, plan_end - format_end - 1));
  if (!fuzzing::format_work_bounded(format, plan.items, kWorkLimit)) return 0;
  fuzzing::enter_work_dir();
  const std::string_view records = input.substr(plan_end + 1);
  fuzzing::write_file("records", records.data(), records.size());

  const Transcript bulk = run_plan(plan, format, true);
  const Transcript single = run_plan(plan, format, false);
  if (bulk.text != single.text) finding("items in bulk and one by one differ");
  return 0;
}
