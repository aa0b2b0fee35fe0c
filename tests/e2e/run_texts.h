// Input files and expected texts of whole runs: SAO records built from the
// smallest complete layout, the fixed console and list texts, and a check of
// the shape of a run-time error report.
#pragma once

#include "support/sao_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace e2e {
namespace {

// Time stamps (group 3) and the listing lines they give.
inline constexpr std::string_view kStamp1 = "FE20210320201093000";
inline constexpr std::string_view kStamp2 = "FE20220450214153045";
inline constexpr std::string_view kStamp3 = "FE20233651231235959";
inline constexpr std::string_view kListing1 = "2021.02.01 (032) 09:30:00\r\n";
inline constexpr std::string_view kListing2 = "2022.02.14 (045) 15:30:45\r\n";
inline constexpr std::string_view kListing3 = "2023.12.31 (365) 23:59:59\r\n";

inline constexpr std::string_view kHeader = "  Date (Day of year) Time\r\n\r\n";
inline constexpr std::string_view kStop = "Stop - Program terminated.\r\n";
inline constexpr std::string_view kNamePrompt =
    "File name missing or blank - please enter file name\r\nUNIT 1? ";
inline constexpr std::string_view kFilenamePrompt = " enter the input filename:";

// The two data file index lines. Unset counts are 0; DFI(1) = 16, DFI(2) = 1,
// DFI(3) = 19 and the format version DFI(80) = 2 unless overridden.
inline std::string index_lines(const std::map<int, int> &overrides = {}) {
  testing_support::Dfi dfi{};
  dfi[1] = 16;
  dfi[2] = 1;
  dfi[3] = 19;
  dfi[80] = 2;
  for (const auto &[k, v] : overrides) dfi.at(static_cast<size_t>(k)) = v;
  return testing_support::index_lines(dfi);
}

// Group 1: 16 values in F7.3 fields.
inline std::string group1_line() {
  std::string line;
  for (int i = 1; i <= 16; ++i) {
    char field[16];
    std::snprintf(field, sizeof field, "%7.3f", static_cast<double>(i));
    line += field;
  }
  return line + "\n";
}

// One record: index, groups 1 to 3, then the lines of its later groups.
inline std::string sao_record(std::string_view stamp, const std::map<int, int> &overrides = {},
                              std::string_view later_lines = "") {
  return index_lines(overrides) + group1_line() + "ionogram group two\n" + std::string(stamp) +
         "\n" + std::string(later_lines);
}

// `count` copies of an 8-column field, 15 to a line.
inline std::string f8_lines(int count, std::string_view field) {
  return testing_support::field_lines(count, 15, [&](int) { return std::string(field); });
}

inline std::string two_records() { return sao_record(kStamp1) + sao_record(kStamp2); }
inline std::string two_listings() {
  return std::string(kHeader) + std::string(kListing1) + std::string(kListing2);
}

// Splits text into lines without their line feeds, and joins them again.
inline std::vector<std::string> split_lines(const std::string &text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1)
    lines.push_back(text.substr(start, lf - start));
  return lines;
}
inline std::string join_lines(const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &l : lines) text += l + "\n";
  return text;
}

// A run-time error report with its traceback for the main program at
// `statement`: an empty line, "vornet(n) : run-time error <head>", a line of
// "- " and a one-line message, an empty line and the traceback.
inline ::testing::AssertionResult is_report(const std::string &err, std::string_view head,
                                            int statement) {
  const std::string n = std::to_string(statement);
  const std::string prefix = "\r\nvornet(" + n + ") : run-time error " + std::string(head) + "\r\n- ";
  const std::string suffix =
      "\r\n\r\nExecution traceback:\r\n\t\tfrom main program in vornet(" + n + ")\r\n";
  if (err.size() <= prefix.size() + suffix.size() || err.compare(0, prefix.size(), prefix) != 0 ||
      err.compare(err.size() - suffix.size(), suffix.size(), suffix) != 0)
    return ::testing::AssertionFailure() << "not a report of \"" << head << "\" at " << n << ": "
                                         << ::testing::PrintToString(err);
  const std::string message = err.substr(prefix.size(), err.size() - prefix.size() - suffix.size());
  if (message.find_first_of("\r\n") != std::string::npos)
    return ::testing::AssertionFailure() << "message is not one line: "
                                         << ::testing::PrintToString(message);
  return ::testing::AssertionSuccess();
}

} // namespace
} // namespace e2e
