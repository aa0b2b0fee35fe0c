// In-process runs of the SAO reader over a hand-made input file, with the
// helpers to write index and group lines.
#pragma once

#include "recio/run_errors.h"
#include "recio/units.h"
#include "sao/destination.h"
#include "sao/index_and_formats.h"
#include "sao/reader_state.h"
#include "support/runtime_fixture.h"
#include "support/sao_text.h"

#include <cstdio>
#include <string>

namespace sao_test {

using testing_support::Dfi;
using testing_support::index_lines;

// An index line of 40 I3 fields, all `value`, recognisable after a read.
inline std::string marker_line(int value) {
  std::string s;
  char field[8];
  std::snprintf(field, sizeof field, "%3d", value);
  for (int k = 0; k < 40; ++k)
    s += field;
  return s + '\n';
}

using testing_support::field_lines;

// How a slot text such as "    (15F8.3)" cuts a line.
struct SlotLayout {
  int per_line = 0;
  char letter = 0; // I, F, E or A
  int width = 0;
};

inline SlotLayout layout_of(std::string_view slot) {
  SlotLayout l;
  size_t p = slot.find('(') + 1;
  while (slot[p] >= '0' && slot[p] <= '9')
    l.per_line = l.per_line * 10 + (slot[p++] - '0');
  l.letter = slot[p++];
  while (p < slot.size() && slot[p] >= '0' && slot[p] <= '9')
    l.width = l.width * 10 + (slot[p++] - '0');
  return l;
}

// A distinct field for element i in the slot's layout, and the value it reads as.
inline std::string value_field(const SlotLayout &l, int i) {
  // Right-justified in the slot's width; built without a fixed buffer, so no
  // width the parser above can return overflows it.
  auto right_justified = [&](std::string text) {
    const size_t w = static_cast<size_t>(l.width);
    return text.size() < w ? std::string(w - text.size(), ' ') + text : text;
  };
  switch (l.letter) {
  case 'I': {
    const int mod = l.width == 1 ? 10 : l.width == 2 ? 100 : 1000;
    return right_justified(std::to_string(i % mod));
  }
  case 'A':
    return std::string(1, static_cast<char>('A' + i % 26));
  default: {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", i + 0.5);
    return right_justified(buf);
  }
  }
}

inline double value_of(const SlotLayout &l, int i) {
  switch (l.letter) {
  case 'I':
    return i % (l.width == 1 ? 10 : l.width == 2 ? 100 : 1000);
  case 'A':
    return 'A' + i % 26;
  default:
    return i + 0.5;
  }
}

// Element i (from 1) of a destination, whatever its kind.
inline double element(const sao::Destination &d, int i) {
  switch (d.kind) {
  case sao::Element::real4:
    return static_cast<const float *>(d.data)[i - 1];
  case sao::Element::int4:
    return static_cast<const int32_t *>(d.data)[i - 1];
  case sao::Element::real8:
    return static_cast<const double *>(d.data)[i - 1];
  case sao::Element::character:
    return static_cast<const char *>(d.data)[i - 1];
  default:
    return *static_cast<const float *>(d.data);
  }
}

class ReaderTest : public testing_support::RuntimeTest {
protected:
  // A fresh run reading `text` as its input file, with the list file open.
  void open_input(const std::string &text) {
    start_run();
    recio::push_traceback_frame(frame_);
    supply_input(text);
  }

  // A fresh run whose record has this index and the format table it builds;
  // the input follows with supply_input().
  void start_reader(const Dfi &dfi) {
    start_run();
    recio::push_traceback_frame(frame_);
    sao::reader().dfi = dfi;
    sao::build_format_table();
  }
  void supply_input(const std::string &text) {
    write_file("in.sao", text);
    recio::connect_unit(sao::kInputUnit, "in.sao", "", 120);
    recio::connect_unit(sao::kListUnit, "preflist.s", "append");
  }

  // The start of a run-time error report for statement `stmt`.
  static std::string report_line(int stmt, const std::string &rest) {
    return "\r\nvornet(" + std::to_string(stmt) + ") : run-time error " + rest;
  }

  recio::TracebackFrame frame_{nullptr, "vornet", "_main", 0};
};

} // namespace sao_test
