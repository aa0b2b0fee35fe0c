// Conversion of the characters kept from numeric input fields. Both
// accumulators take the characters one at a time, so a field of any width
// converts in constant memory.
#pragma once

#include "recio/error_codes.h"

#include <cstdint>

namespace recio {

// Iw: optional sign, decimal digits, or the radix form r#digits.
class IntegerAccumulator {
public:
  void add(char c) {
    if (error_ == 0 && !hash_ && c >= '0' && c <= '9' && magnitude_ < kLimit) {
      magnitude_ = magnitude_ * 10 + static_cast<uint64_t>(c - '0');
      digits_ = true;
      return;
    }
    add_slow(c);
  }
  // The converted value; false with `error` set when the text is not one.
  bool finish(int32_t &value, ErrorCode &error) const;

private:
  static constexpr uint64_t kLimit = uint64_t{1} << 40; // past any 32-bit value
  void add_slow(char c);

  uint64_t magnitude_ = 0;
  uint32_t radix_ = 10;
  uint8_t error_ = 0; // 0, or 1 + the ErrorCode offset below
  bool negative_ = false;
  bool signed_ = false;
  bool digits_ = false;
  bool hash_ = false;
  ErrorCode code_ = ErrorCode::integer_syntax;
};

// Fw.d and Ew.d: optional sign, digits with at most one point, an optional
// exponent (E or D and a signed integer, or a sign right after the digits).
// A letter or sign that no exponent digits follow is an error.
class RealAccumulator {
public:
  explicit RealAccumulator(int32_t implied_fraction_digits)
      : implied_(implied_fraction_digits) {}

  void add(char c) {
    if (state_ == State::mantissa && c >= '0' && c <= '9') {
      add_digit(c);
      return;
    }
    add_slow(c);
  }

  // The value rounded to the nearest 8-byte real.
  bool finish_double(double &value, ErrorCode &error) const;
  // That value rounded again to the nearest 4-byte real.
  bool finish_float(float &value, ErrorCode &error) const;

private:
  static constexpr int kMaxDigits = 800; // beyond any halfway point of a double
  enum class State : uint8_t { mantissa, exponent_start, exponent_sign, exponent, error };

  void add_digit(char c) {
    ++mantissa_digits_;
    if (point_) ++fraction_digits_;
    if (count_ == 0 && c == '0') return; // leading zeros carry no information
    if (count_ < kMaxDigits) {
      digits_[count_++] = c;
    } else {
      ++dropped_;
      if (c != '0') sticky_ = true;
    }
  }
  void add_slow(char c);

  char digits_[kMaxDigits];
  int32_t count_ = 0;
  int64_t dropped_ = 0; // significant digits past kMaxDigits
  int64_t mantissa_digits_ = 0;
  int64_t fraction_digits_ = 0;
  int64_t exponent_ = 0;
  int32_t implied_;
  State state_ = State::mantissa;
  bool negative_ = false;
  bool any_ = false; // a sign, digit or point has been taken
  bool point_ = false;
  bool sticky_ = false;
  bool exponent_negative_ = false;
};

} // namespace recio
