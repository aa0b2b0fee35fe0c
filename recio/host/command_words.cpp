#include "recio/host/command_words.h"

namespace recio::host {

namespace {

bool is_blank(char16_t c) {
  return c == u' ' || c == u'\t';
}

} // namespace

std::vector<CommandWord> split_command_line(std::u16string_view line) {
  std::vector<CommandWord> words;
  size_t i = 0;

  // The program's name: no backslash rules, since a path holds backslashes.
  CommandWord program;
  bool quoted = false;
  for (; i < line.size() && (quoted || !is_blank(line[i])); ++i) {
    if (line[i] == u'"')
      quoted = !quoted;
    else
      program.text.push_back(line[i]);
  }
  words.push_back(std::move(program));

  for (;;) {
    while (i < line.size() && is_blank(line[i]))
      ++i;
    if (i == line.size()) break;
    CommandWord word;
    quoted = false;
    while (i < line.size() && (quoted || !is_blank(line[i]))) {
      const char16_t c = line[i];
      if (c == u'\\') {
        size_t backslashes = 0;
        while (i < line.size() && line[i] == u'\\') {
          ++backslashes;
          ++i;
        }
        if (i < line.size() && line[i] == u'"') {
          word.text.append(backslashes / 2, u'\\');
          if (backslashes % 2 == 1) {
            word.text.push_back(u'"');
            ++i;
          }
        } else {
          word.text.append(backslashes, u'\\');
        }
        continue;
      }
      if (c == u'"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
          word.text.push_back(u'"');
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      if (!quoted && (c == u'*' || c == u'?')) word.pattern = true;
      word.text.push_back(c);
      ++i;
    }
    words.push_back(std::move(word));
  }
  return words;
}

} // namespace recio::host
