#include "recio/error_codes.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(ErrorCodes, NumbersFollowTheBandTable) {
  struct Case {
    recio::ErrorCode code;
    int32_t number;
  };
  const Case cases[] = {
      {recio::ErrorCode::subscript_out_of_range, 6096},
      {recio::ErrorCode::fp_invalid, 6101},
      {recio::ErrorCode::fp_divide_by_zero, 6103},
      {recio::ErrorCode::fp_overflow, 6104},
      {recio::ErrorCode::format_no_open_parenthesis, 6200},
      {recio::ErrorCode::integer_syntax, 6300},
      {recio::ErrorCode::rewind_console, 6403},
      {recio::ErrorCode::open_invalid_argument, 6412},
      {recio::ErrorCode::already_connected, 6413},
      {recio::ErrorCode::open_access_denied, 6414},
      {recio::ErrorCode::open_file_exists, 6415},
      {recio::ErrorCode::open_not_found, 6416},
      {recio::ErrorCode::open_too_many_files, 6417},
      {recio::ErrorCode::read_failed, 6500},
      {recio::ErrorCode::end_of_file, 6501},
  };
  for (const Case &c : cases) EXPECT_EQ(recio::error_number(c.code), c.number);
}

TEST(ErrorCodes, EveryCodeHasItsOwnNumberAndAOneLineMessage) {
  std::set<int32_t> seen;
  for (int code = 0; code <= 255; ++code) {
    const int32_t number = recio::error_number(static_cast<recio::ErrorCode>(code));
    EXPECT_TRUE(seen.insert(number).second) << "code " << code;
  }
  for (int32_t number : {6096, 6101, 6103, 6104, 6200, 6201, 6202, 6203, 6204, 6205, 6206, 6207,
                         6300, 6301, 6302, 6303, 6304, 6305, 6306, 6307, 6308, 6309, 6310, 6403,
                         6404, 6412, 6413, 6414, 6415, 6416, 6417, 6500, 6501, 6502, 6503}) {
    const std::string_view m = recio::message_text(number);
    EXPECT_FALSE(m.empty()) << number;
    EXPECT_EQ(m.find_first_of("\r\n"), std::string_view::npos) << number;
  }
}

} // namespace
