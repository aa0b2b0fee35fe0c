#include "driver/prescan.h"

#include "recio/line_text.h"
#include "recio/output_records.h"
#include "recio/run_errors.h"
#include "recio/units.h"
#include "sao/reader_state.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace driver {

namespace {

constexpr int32_t kLastLine = 9999;

struct Finding {
  std::string_view message;
  int32_t console_statement;
  int32_t list_statement;
};

constexpr Finding kBlankLine{" -----> Blank line in sao file @ line ", 173, 175};
constexpr Finding kNul{" -----> Nul character in sao file @ line ", 181, 183};
constexpr Finding kAsterisk{" -----> \"*\" in sao file @ line ", 188, 190};

void report(const Finding &f, int32_t line_number) {
  const int32_t units[] = {recio::kConsoleOutput, sao::kListUnit};
  const int32_t statements[] = {f.console_statement, f.list_statement};
  for (int i = 0; i < 2; ++i) {
    recio::set_statement(statements[i]);
    recio::WriteStatement write(units[i], "(a,i8,a)");
    write.item(f.message);
    write.item(line_number);
    write.item(" <-----");
    write.finish();
  }
}

} // namespace

void prescan() {
  std::array<char, 120> line;
  for (int32_t line_number = 1; line_number <= kLastLine; ++line_number) {
    line.fill(' ');
    recio::set_statement(171);
    if (recio::read_line_text(sao::kInputUnit, line.data(), line.size(), recio::kEndOnly) < 0)
      return;
    const std::string_view text(line.data(), line.size());
    if (text.find_first_not_of(' ') == std::string_view::npos) return report(kBlankLine, line_number);
    // Whichever of a NUL and a "*" stands further left; two memchr calls
    // rather than find_first_of, which tests every character against the set.
    const void *nul = std::memchr(text.data(), '\0', text.size());
    const void *star = std::memchr(text.data(), '*', text.size());
    if (nul || star) return report(!star || (nul && nul < star) ? kNul : kAsterisk, line_number);
  }
}

} // namespace driver
