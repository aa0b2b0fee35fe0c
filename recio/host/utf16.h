// UTF-8 and UTF-16: the record services hold every name as UTF-8 bytes, the
// wide calls of Windows take and give UTF-16. Plain code with no host call,
// built on every host so that its tests run everywhere.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace recio::host {

// Appends the UTF-16 form of `utf8` to `out`. False, with `out` as it was,
// when `utf8` is not well-formed: a stray continuation byte, a sequence cut
// short, an overlong form, an encoded surrogate or a value past U+10FFFF.
// A name that is not well-formed names no file: it is never guessed at.
bool utf8_to_utf16(std::string_view utf8, std::u16string &out);

// Appends the UTF-8 form of `utf16` to `out`. A lone surrogate has no UTF-8
// form: it is appended as the three bytes its value would take, which no
// well-formed reading (utf8_to_utf16 included) accepts, and the result is
// false. A name holding one is so kept as it was given, and opening it fails
// as an invalid name instead of reaching another file.
bool utf16_to_utf8(std::u16string_view utf16, std::string &out);

// For showing text alone (a console): appends the UTF-16 form of `utf8` to
// `out`, with U+FFFD for each ill-formed stretch. Returns how many bytes at
// the end were left out because they begin a sequence that the next piece of
// text may complete.
size_t utf8_to_utf16_for_display(std::string_view utf8, std::u16string &out);

} // namespace recio::host
