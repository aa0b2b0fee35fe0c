#include "recio/real_conversion.h"

#include "recio/kernels/powers_of_ten.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace recio {

void IntegerAccumulator::add_slow(char c) {
  if (error_ != 0) return;
  auto fail = [&](ErrorCode code) {
    error_ = 1;
    code_ = code;
  };
  if ((c == '+' || c == '-') && !signed_ && !digits_ && !hash_) {
    signed_ = true;
    negative_ = c == '-';
    return;
  }
  if (c == '#') {
    if (hash_) return fail(ErrorCode::integer_radix);
    const uint64_t r = digits_ ? magnitude_ : 16;
    if (r < 2 || r > 36) return fail(ErrorCode::integer_radix);
    radix_ = static_cast<uint32_t>(r);
    hash_ = true;
    magnitude_ = 0;
    digits_ = false;
    return;
  }
  uint32_t v = 99;
  if (c >= '0' && c <= '9') v = static_cast<uint32_t>(c - '0');
  else if (hash_ && c >= 'a' && c <= 'z') v = static_cast<uint32_t>(c - 'a' + 10);
  else if (hash_ && c >= 'A' && c <= 'Z') v = static_cast<uint32_t>(c - 'A' + 10);
  if (v >= radix_) return fail(ErrorCode::integer_syntax);
  if (magnitude_ < kLimit) magnitude_ = magnitude_ * radix_ + v;
  digits_ = true;
}

bool IntegerAccumulator::finish(int32_t &value, ErrorCode &error) const {
  if (error_ != 0) {
    error = code_;
    return false;
  }
  const uint64_t limit = negative_ ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
  if (magnitude_ > limit) {
    error = ErrorCode::integer_range;
    return false;
  }
  value = negative_ ? static_cast<int32_t>(-static_cast<int64_t>(magnitude_))
                    : static_cast<int32_t>(magnitude_);
  return true;
}

void RealAccumulator::add_slow(char c) {
  switch (state_) {
  case State::mantissa:
    // Digits taken by add() do not set any_: a sign after them is an exponent.
    if ((c == '+' || c == '-') && !any_ && mantissa_digits_ == 0) {
      negative_ = c == '-';
      any_ = true;
      return;
    }
    any_ = true;
    if (c == '.' && !point_) {
      point_ = true;
      return;
    }
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
      state_ = State::exponent_start;
      return;
    }
    if ((c == '+' || c == '-') && mantissa_digits_ > 0) {
      exponent_negative_ = c == '-';
      state_ = State::exponent_sign;
      return;
    }
    break;
  case State::exponent_start:
    if (c == '+' || c == '-') {
      exponent_negative_ = c == '-';
      state_ = State::exponent_sign;
      return;
    }
    [[fallthrough]];
  case State::exponent_sign:
  case State::exponent:
    if (c >= '0' && c <= '9') {
      if (exponent_ < 1000000) exponent_ = exponent_ * 10 + (c - '0');
      state_ = State::exponent;
      return;
    }
    break;
  case State::error:
    return;
  }
  state_ = State::error;
}

bool RealAccumulator::finish_double(double &value, ErrorCode &error) const {
  // An exponent letter or sign with no integer after it is not an exponent:
  // it is a character left over after the number.
  if (state_ == State::error || state_ == State::exponent_start ||
      state_ == State::exponent_sign) {
    error = ErrorCode::real_syntax;
    return false;
  }
  const double sign = negative_ ? -1.0 : 1.0;
  if (count_ == 0) {
    value = sign * 0.0;
    return true;
  }
  const int64_t fraction = point_ ? fraction_digits_ : implied_;
  const int64_t exp10 = (exponent_negative_ ? -exponent_ : exponent_) - fraction + dropped_;

  // Exact when the digits and the power of ten are both exact doubles.
  using kernels::kMaxExactPower;
  using kernels::kPowersOfTen;
  if (count_ <= 15 && !sticky_ && exp10 >= -kMaxExactPower && exp10 <= kMaxExactPower) {
    uint64_t m = 0;
    for (int32_t i = 0; i < count_; ++i) m = m * 10 + static_cast<uint64_t>(digits_[i] - '0');
    const double d = static_cast<double>(m);
    value = sign * (exp10 < 0 ? d / kPowersOfTen[-exp10] : d * kPowersOfTen[exp10]);
    return true;
  }

  // Otherwise the digits and exponent in scientific notation, read by the C
  // library's correctly rounded conversion (in the C locale, which the
  // program never leaves). A dropped non-zero digit is kept as one trailing
  // digit, which decides ties the same way.
  char text[kMaxDigits + 32];
  size_t n = 0;
  text[n++] = digits_[0];
  text[n++] = '.';
  std::memcpy(text + n, digits_ + 1, static_cast<size_t>(count_ - 1));
  n += static_cast<size_t>(count_ - 1);
  if (sticky_) text[n++] = '1';
  text[n++] = 'e';
  int64_t sci = exp10 + count_ - 1; // exponent of the first digit
  if (sci > 100000) sci = 100000;
  if (sci < -100000) sci = -100000;
  n = static_cast<size_t>(std::to_chars(text + n, text + sizeof text - 1, sci).ptr - text);
  text[n] = '\0';
  // Too large rounds to infinity, which no destination takes; too small for
  // the smallest subnormal rounds to zero, which is the value.
  const double d = std::strtod(text, nullptr);
  if (d > std::numeric_limits<double>::max()) {
    error = ErrorCode::real_range;
    return false;
  }
  value = sign * d;
  return true;
}

bool RealAccumulator::finish_float(float &value, ErrorCode &error) const {
  double d = 0;
  if (!finish_double(d, error)) return false;
  // The largest magnitude a 4-byte destination accepts.
  constexpr double kLargest = 3.402823466e38;
  if (d > kLargest || d < -kLargest) {
    error = ErrorCode::real_range;
    return false;
  }
  value = static_cast<float>(d);
  return true;
}

} // namespace recio
