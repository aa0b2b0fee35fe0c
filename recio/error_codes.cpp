#include "recio/error_codes.h"

#include <array>

namespace recio {

namespace {

// First internal code of each band and the table value it maps to; the codes
// of a band map to consecutive values.
struct Band {
  uint8_t first_code;
  int16_t first_value;
};
constexpr std::array<Band, 8> kBands{{
    {0, 96}, {11, 200}, {26, 300}, {46, 400}, {72, 500}, {89, 600}, {92, 700}, {94, 702}}};

struct Message {
  int16_t number;
  std::string_view text;
};

constexpr Message kMessages[] = {
    {6096, "array subscript out of declared bounds"},
    {6101, "floating-point error: invalid"},
    {6103, "floating-point error: divide by zero"},
    {6104, "floating-point error: overflow"},
    {6200, "format does not begin with an opening parenthesis"},
    {6201, "unknown or misplaced edit descriptor in format"},
    {6202, "missing or invalid field width or count in format"},
    {6203, "format groups nested more than 16 levels deep"},
    {6204, "format ends before its closing parenthesis"},
    {6205, "H literal runs past the end of the format"},
    {6206, "format has no data edit descriptor for the item"},
    {6207, "H literal in an input format"},
    {6300, "invalid character in integer field"},
    {6301, "integer value out of range"},
    {6302, "invalid radix in integer field"},
    {6303, "invalid character in real field"},
    {6304, "real value out of range"},
    {6305, "edit descriptor does not match the item's type"},
    {6306, "console record longer than 130 characters"},
    {6307, "internal write needs more characters than the variable holds"},
    {6308, "internal write needs a second record"},
    {6309, "edit descriptor does not match the value's type"},
    {6310, "edit descriptor not supported for output"},
    {6403, "a console connection cannot be rewound"},
    {6404, "file cannot be positioned"},
    {6412, "open failed: invalid file name or argument"},
    {6413, "file already connected to another unit"},
    {6414, "open failed: access denied"},
    {6415, "open failed: file exists"},
    {6416, "open failed: file or path not found"},
    {6417, "open failed: too many open files"},
    {6500, "the system reported a file access failure"},
    {6501, "end of file met"},
    {6502, "the system reported a write failure"},
    {6503, "unit not connected"},
    {6700, "not enough memory for the run"},
};

} // namespace

int32_t error_number(ErrorCode code) {
  const auto c = static_cast<uint8_t>(code);
  const Band *band = &kBands[0];
  for (const Band &b : kBands)
    if (c >= b.first_code) band = &b;
  return 6000 + band->first_value + (c - band->first_code);
}

std::string_view message_text(int32_t number) {
  for (const Message &m : kMessages)
    if (m.number == number) return m.text;
  return {};
}

} // namespace recio
