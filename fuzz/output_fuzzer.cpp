// Formatted and list-directed output. The input is a format text (up to the
// first line feed), a byte choosing the internal variable's length, then the
// values: a byte whose low bit selects a text (a length byte and that many
// characters) or a 4-byte integer.
//
// The same statement is written into a text variable (twice, over different
// prior contents), to a file unit and to the console; the text values also go
// list-directed to the console. Whatever completes must agree: an internal
// write sets every character of its variable, the file holds the records the
// variable holds, the console shows them with their carriage control taken
// off, and list-directed output follows its 79-character rule.
#include "harness.h"

#include "recio/output_records.h"
#include "recio/run_errors.h"
#include "recio/units.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unistd.h>
#include <variant>
#include <vector>

namespace {

using fuzzing::finding;
using Value = std::variant<std::string, int32_t>;

constexpr uint64_t kWorkLimit = 1 << 20;
constexpr size_t kMaxValues = 200;

struct Outcome {
  bool completed = false;
  std::string err;
};

template <class Write> Outcome run(Write &&write) {
  Outcome o;
  try {
    write();
    recio::close_all_units();
    o.completed = true;
  } catch (const fuzzing::RunEnded &e) {
    if (e.status != 1) finding("a write ended the run with a status other than 1");
  }
  o.err = fuzzing::console_err();
  if (o.completed && !o.err.empty()) finding("a completed write with a report", o.err);
  if (!o.completed) fuzzing::check_reports(o.err, false);
  return o;
}

void write_values(recio::WriteStatement &w, const std::vector<Value> &values) {
  for (const Value &v : values) {
    if (const auto *s = std::get_if<std::string>(&v)) w.item(std::string_view(*s));
    else w.item(std::get<int32_t>(v));
  }
  w.finish();
}

Outcome internal(std::string_view format, const std::vector<Value> &values, size_t length,
                 char prior, std::string &variable) {
  fuzzing::start_run({});
  // Exactly the variable's size, so a write past it is caught.
  std::unique_ptr<char[]> v(new char[length]);
  std::memset(v.get(), prior, length);
  const Outcome o = run([&] {
    recio::WriteStatement w(v.get(), length, format);
    write_values(w, values);
  });
  variable.assign(v.get(), length);
  return o;
}

std::vector<std::string_view> split_records(std::string_view s) {
  std::vector<std::string_view> records;
  while (!s.empty()) {
    const size_t end = s.find("\r\n");
    if (end == std::string_view::npos) finding("a file record without its line end");
    records.push_back(s.substr(0, end));
    s.remove_prefix(end + 2);
  }
  return records;
}

// What the console shows for these records, the last line end included.
std::string console_view(const std::vector<std::string_view> &records) {
  std::string shown;
  for (size_t i = 0; i < records.size(); ++i) {
    if (i > 0) shown += "\r\n";
    if (!records[i].empty()) shown += records[i].substr(1);
  }
  if (!records.empty()) shown += "\r\n";
  return shown;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view input(reinterpret_cast<const char *>(data), size);
  const size_t format_end = input.find('\n');
  if (format_end == std::string_view::npos || format_end + 1 >= size) return 0;
  const std::string_view format = input.substr(0, format_end);
  const size_t length = static_cast<uint8_t>(input[format_end + 1]) % 210 + 1;

  std::vector<Value> values;
  bool line_ends_in_texts = false;
  std::string all_text;
  for (size_t p = format_end + 2; p < size && values.size() < kMaxValues;) {
    const auto kind = static_cast<uint8_t>(input[p++]);
    if (kind & 1) {
      if (size - p < 4) break;
      int32_t n;
      std::memcpy(&n, data + p, 4);
      p += 4;
      values.emplace_back(n);
    } else {
      if (p >= size) break;
      const size_t wanted = static_cast<uint8_t>(input[p++]) % 100;
      const size_t n = std::min(wanted, size - p);
      std::string text(input.substr(p, n));
      p += n;
      if (text.find_first_of("\r\n") != std::string::npos) line_ends_in_texts = true;
      all_text += text;
      values.emplace_back(std::move(text));
    }
  }
  if (!fuzzing::format_work_bounded(format, values.size(), kWorkLimit, true)) return 0;
  fuzzing::enter_work_dir();

  std::string zeros, ones;
  const Outcome a = internal(format, values, length, '\0', zeros);
  const Outcome b = internal(format, values, length, '\xff', ones);
  if (a.completed != b.completed || a.err != b.err)
    finding("an internal write depends on the variable's prior content");
  if (a.completed && zeros != ones) finding("an internal write left characters unset", zeros);

  ::unlink("out.txt");
  fuzzing::start_run({});
  const Outcome f = run([&] {
    recio::connect_unit(20, "out.txt", "");
    recio::WriteStatement w(20, format);
    write_values(w, values);
  });
  const std::string file = fuzzing::read_file("out.txt");

  fuzzing::start_run({});
  const Outcome c = run([&] {
    recio::WriteStatement w(recio::kConsoleOutput, format);
    write_values(w, values);
  });
  const std::string shown = fuzzing::console_out();

  if (f.completed != c.completed) finding("file and console writes end differently");
  if (f.completed && !line_ends_in_texts) {
    const std::vector<std::string_view> records = split_records(file);
    if (records.empty()) finding("a completed write without a record");
    if (a.completed) {
      if (records.size() != 1 || records[0].size() > length)
        finding("an internal write took what does not fit its variable", file);
      std::string padded(records[0]);
      padded.resize(length, ' ');
      if (padded != zeros) finding("internal and file records differ", zeros + "|" + file);
    }
    bool carriage_control = true;
    for (std::string_view r : records)
      if (!r.empty() && r[0] != ' ') carriage_control = false;
    if (carriage_control && shown != console_view(records))
      finding("console and file records differ", shown + "|" + file);
  }

  // List-directed: the texts run together in lines of 79 after the leading blank.
  fuzzing::start_run({});
  const Outcome l = run([&] {
    std::vector<std::string_view> texts;
    for (const Value &v : values)
      if (const auto *s = std::get_if<std::string>(&v)) texts.push_back(*s);
    // write_list takes an initializer list; one call per text would start a
    // record each, so the texts go through in one statement of up to 4.
    switch (texts.size()) {
    case 0: recio::write_list(recio::kConsoleOutput, {}); break;
    case 1: recio::write_list(recio::kConsoleOutput, {texts[0]}); break;
    case 2: recio::write_list(recio::kConsoleOutput, {texts[0], texts[1]}); break;
    case 3: recio::write_list(recio::kConsoleOutput, {texts[0], texts[1], texts[2]}); break;
    default: recio::write_list(recio::kConsoleOutput, {texts[0], texts[1], texts[2], texts[3]}); break;
    }
  });
  if (!l.completed) finding("list-directed output of texts failed", l.err);
  std::string joined;
  size_t taken = 0;
  for (const Value &v : values) {
    if (const auto *s = std::get_if<std::string>(&v)) {
      if (taken++ == 4) break;
      joined += *s;
    }
  }
  std::string expected;
  for (size_t at = 0;; at += 79) {
    if (at > 0) expected += "\r\n";
    expected.append(joined, at < joined.size() ? at : joined.size(), 79);
    if (joined.size() < at + 79) break;
  }
  expected += "\r\n";
  if (fuzzing::console_out() != expected)
    finding("list-directed output breaks its lines wrongly", fuzzing::console_out());
  return 0;
}
