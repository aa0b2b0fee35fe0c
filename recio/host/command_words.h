// The words of a Windows command line. Windows hands a program its command
// line as one wide string; its C run-time library splits it into words, and
// the split here follows the same documented rules, so that a word is what it
// would be in any console program. Plain code, built on every host so that
// its tests run everywhere.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace recio::host {

struct CommandWord {
  std::u16string text;
  // A "*" or "?" stands outside double quotes: the word is a pattern of file
  // names. A quoted one is taken as it stands.
  bool pattern = false;
};

// Word 0 is the program's name: up to the first blank or tab, or inside
// double quotes, taken as it stands. The others are separated by blanks and
// tabs; double quotes group blanks into a word and are dropped; inside
// quotes a doubled quote is one quote; backslashes are themselves except
// before a quote, where each pair gives one backslash and an odd one makes
// the quote a character of the word.
std::vector<CommandWord> split_command_line(std::u16string_view line);

#ifdef _WIN32
// The words of `line` as UTF-8, each pattern replaced by the names it matches
// (its directory as typed, then each name, in name order; never "." or "..")
// or, when it matches none, kept as it stands. For the host layer's
// command_line() and its tests.
std::vector<std::string> expand_command_line(std::u16string_view line);
#endif

} // namespace recio::host
