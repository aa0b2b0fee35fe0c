// Internal error codes of the record services and the error numbers shown
// for them. An error number is 6000 plus the table value of its code.
#pragma once

#include <cstdint>
#include <string_view>

namespace recio {

enum class ErrorCode : uint8_t {
  subscript_out_of_range = 0,
  fp_invalid = 5,
  fp_divide_by_zero = 7,
  fp_overflow = 8,

  format_no_open_parenthesis = 11,
  format_bad_descriptor = 12,
  format_bad_number = 13,
  format_nested_too_deep = 14,
  format_unterminated = 15,
  format_literal_past_end = 16,
  format_no_data_descriptor = 17,
  format_literal_on_input = 18,

  integer_syntax = 26,
  integer_range = 27,
  integer_radix = 28,
  real_syntax = 29,
  real_range = 30,
  input_kind_mismatch = 31,
  console_line_too_long = 32,
  internal_write_overflow = 33,
  internal_write_second_record = 34,
  output_kind_mismatch = 35,
  output_descriptor_unsupported = 36,

  rewind_console = 49,
  rewind_failed = 50,
  open_invalid_argument = 58,
  already_connected = 59,
  open_access_denied = 60,
  open_file_exists = 61,
  open_not_found = 62,
  open_too_many_files = 63,

  read_failed = 72,
  end_of_file = 73,
  write_failed = 74,
  unit_not_connected = 75,

  out_of_memory = 92,
};

// 6000 plus the table value of `code`.
int32_t error_number(ErrorCode code);

// One line describing the condition that `number` names; empty for a number
// that no code maps to.
std::string_view message_text(int32_t number);

} // namespace recio
