#include "sao_generator.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ostream>
#include <stdexcept>

namespace saogen {

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t days_from_civil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(int64_t z, int &year, int &month, int &day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

void append_digits(std::string &out, int64_t value, int width) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  const int n = static_cast<int>(r.ptr - buf);
  if (n < width) out.append(static_cast<size_t>(width - n), '0');
  out.append(buf, r.ptr);
}

// Fw.3 from a value in thousandths, right-justified; a leading zero before the
// point is dropped when the field would not hold it.
void put_fixed(std::string &out, int width, int64_t milli) {
  char buf[32];
  char *p = buf;
  const bool negative = milli < 0;
  const uint64_t a = negative ? static_cast<uint64_t>(-milli) : static_cast<uint64_t>(milli);
  if (negative) *p++ = '-';
  const uint64_t whole = a / 1000;
  const uint64_t frac = a % 1000;
  p = std::to_chars(p, buf + 24, whole).ptr;
  *p++ = '.';
  *p++ = static_cast<char>('0' + frac / 100);
  *p++ = static_cast<char>('0' + frac / 10 % 10);
  *p++ = static_cast<char>('0' + frac % 10);
  std::string_view text(buf, static_cast<size_t>(p - buf));
  std::string shorter;
  if (static_cast<int>(text.size()) > width && whole == 0) {
    shorter = negative ? "-" : "";
    shorter.append(text.substr(negative ? 2 : 1));
    text = shorter;
  }
  if (static_cast<int>(text.size()) > width) throw std::logic_error("value wider than its field");
  out.append(static_cast<size_t>(width - static_cast<int>(text.size())), ' ');
  out.append(text);
}

void put_int(std::string &out, int width, int64_t value) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  const int n = static_cast<int>(r.ptr - buf);
  if (n > width) throw std::logic_error("integer wider than its field");
  out.append(static_cast<size_t>(width - n), ' ');
  out.append(buf, r.ptr);
}

// Ew.dEe: 0.<d digits of mantissa>E<sign><e digits>, right-justified; the zero
// before the point gives way to a minus sign in a tight field.
void put_exp(std::string &out, int width, int d, int e, uint64_t mantissa, int exponent,
             bool negative) {
  char buf[48];
  char *p = buf;
  if (negative) *p++ = '-';
  // The zero before the point gives way to the sign in a field too narrow for both.
  if (!negative || width > 4 + d + e) *p++ = '0';
  *p++ = '.';
  for (int i = d - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + mantissa % 10);
    mantissa /= 10;
  }
  p += d;
  *p++ = 'E';
  *p++ = exponent < 0 ? '-' : '+';
  int magnitude = exponent < 0 ? -exponent : exponent;
  for (int i = e - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  }
  p += e;
  const int n = static_cast<int>(p - buf);
  if (n > width) throw std::logic_error("value wider than its field");
  out.append(static_cast<size_t>(width - n), ' ');
  out.append(buf, static_cast<size_t>(n));
}

// How a group of a record of format version 2 or above is laid out.
enum class Field : uint8_t { none, f83, f73, i2, i3, i1, e116, e83, e2012, a1 };

struct Layout {
  Field field;
  int per_line;
};

constexpr Layout layout_of(Field f) {
  switch (f) {
  case Field::f83:
  case Field::e83:
    return {f, 15};
  case Field::f73:
    return {f, 16};
  case Field::i2:
    return {f, 60};
  case Field::i3:
    return {f, 40};
  case Field::i1:
  case Field::a1:
    return {f, 120};
  case Field::e116:
    return {f, 10};
  case Field::e2012:
    return {f, 6};
  default:
    return {f, 1};
  }
}

// Groups 4 to 60 by the slot that reads them.
constexpr Field kGroupField[61] = {
    Field::none, Field::none, Field::none, Field::none,  Field::f83,
    Field::i2,   Field::f73,                                         // 4 to 6
    Field::f83,  Field::f83,  Field::i3,   Field::i1,    Field::f83, // 7 to 11
    Field::f83,  Field::f83,  Field::i3,   Field::i1,    Field::f83, // 12 to 16
    Field::f83,  Field::f83,  Field::i3,   Field::i1,    Field::f83, // 17 to 21
    Field::f83,  Field::i3,   Field::i1,   Field::f83,               // 22 to 25
    Field::f83,  Field::i3,   Field::i1,   Field::f83,               // 26 to 29
    Field::f83,  Field::i3,   Field::i1,   Field::f83,               // 30 to 33
    Field::i2,   Field::i2,   Field::i2,                             // 34 to 36
    Field::e116, Field::e116, Field::e116, Field::e2012,             // 37 to 40
    Field::i1,   Field::e116,                                        // 41, 42
    Field::f83,  Field::i3,   Field::i1,   Field::f83,               // 43 to 46
    Field::f83,  Field::i3,   Field::i1,   Field::f83,               // 47 to 50
    Field::e83,  Field::e83,  Field::e83,                            // 51 to 53
    Field::a1,   Field::a1,   Field::i1,   Field::e116,              // 54 to 57
    Field::e83,  Field::e83,  Field::e83,                            // 58 to 60
};

int guard_of(int k) {
  if (k == 52 || k == 53) return 51;
  if (k == 59 || k == 60) return 58;
  return k;
}

int64_t ceil_div(int64_t a, int64_t b) {
  return (a + b - 1) / b;
}

// Lines a record with this index takes.
int64_t record_lines(const std::array<int32_t, 81> &dfi) {
  int64_t lines = 2;
  if (dfi[1] >= 1) lines += ceil_div(dfi[1], 16);
  if (dfi[2] >= 1) lines += dfi[2] == 2 ? 2 : 1;
  if (dfi[3] >= 1) lines += 1;
  for (int k = 4; k <= 60; ++k) {
    if (dfi[guard_of(k)] < 1) continue;
    lines += dfi[k] >= 1 ? ceil_div(dfi[k], layout_of(kGroupField[k]).per_line) : 1;
  }
  return lines;
}

constexpr int64_t kMissing = 9999000; // 9999.000, a value the scaler left out

} // namespace

bool is_leap_year(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int day_of_year(int year, int month, int day) {
  return static_cast<int>(days_from_civil(year, month, day) - days_from_civil(year, 1, 1) + 1);
}

DateTime advance(const DateTime &t, int64_t seconds) {
  int64_t total = days_from_civil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 +
                  t.second + seconds;
  int64_t days = total / 86400;
  int64_t rest = total % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  DateTime r;
  civil_from_days(days, r.year, r.month, r.day);
  r.hour = static_cast<int>(rest / 3600);
  r.minute = static_cast<int>(rest / 60 % 60);
  r.second = static_cast<int>(rest % 60);
  return r;
}

std::string time_stamp_digits(const DateTime &t) {
  std::string s;
  append_digits(s, t.year, 4);
  append_digits(s, day_of_year(t.year, t.month, t.day), 3);
  append_digits(s, t.month, 2);
  append_digits(s, t.day, 2);
  append_digits(s, t.hour, 2);
  append_digits(s, t.minute, 2);
  append_digits(s, t.second, 2);
  return s;
}

std::string listing_line(const DateTime &t) {
  std::string s;
  append_digits(s, t.year, 4);
  s.push_back('.');
  append_digits(s, t.month, 2);
  s.push_back('.');
  append_digits(s, t.day, 2);
  s.append(" (");
  append_digits(s, day_of_year(t.year, t.month, t.day), 3);
  s.append(") ");
  append_digits(s, t.hour, 2);
  s.push_back(':');
  append_digits(s, t.minute, 2);
  s.push_back(':');
  append_digits(s, t.second, 2);
  return s;
}

bool parse_date_time(std::string_view text, DateTime &t) {
  int v[6] = {0, 0, 0, 0, 0, 0};
  const char *p = text.data();
  const char *end = p + text.size();
  constexpr char kSeparators[] = {'-', '-', 'T', ':', ':'};
  for (int i = 0; i < 6; ++i) {
    const auto r = std::from_chars(p, end, v[i]);
    if (r.ec != std::errc()) return false;
    p = r.ptr;
    if (p == end) {
      if (i != 2 && i != 5) return false;
      break;
    }
    if (i == 5 || *p != kSeparators[i]) return false;
    ++p;
  }
  if (v[1] < 1 || v[1] > 12 || v[2] < 1 || v[3] < 0 || v[3] > 23 || v[4] < 0 || v[4] > 59 ||
      v[5] < 0 || v[5] > 59)
    return false;
  const int64_t first = days_from_civil(v[0], v[1], 1);
  const int64_t next_first =
      v[1] == 12 ? days_from_civil(v[0] + 1, 1, 1) : days_from_civil(v[0], v[1] + 1, 1);
  if (v[2] > next_first - first) return false;
  t = DateTime{v[0], v[1], v[2], v[3], v[4], v[5]};
  return true;
}

SaoGenerator::SaoGenerator(const GeneratorOptions &options)
    : options_(options), state_(options.seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull),
      time_(options.start) {
  if (options.format_version < 2)
    throw std::invalid_argument("records are generated in format version 2 and above");
  if (options.start.year < 1000 || options.start.year > 9999)
    throw std::invalid_argument("the year must have four digits");

  // Station constants: F7.3 fields that run together when they fill their width.
  station_.constants.clear();
  for (int64_t v : {uniform(100, 900), -uniform(1000, 2500), -uniform(10000, 14000),
                    uniform(270000, 290000), uniform(100000, 130000)})
    put_fixed(station_.constants, 7, v);

  char description[120];
  std::snprintf(description, sizeof description,
                "DPS-4D %03d/GN%02d%c, NAME Generated station %d, ARTIST 5002, NH 4.%02d, "
                "VIEWER SAOExplorer v 3.6.1",
                static_cast<int>(uniform(1, 999)), static_cast<int>(uniform(10, 99)),
                static_cast<char>('A' + uniform(0, 25)), static_cast<int>(uniform(1, 99)),
                static_cast<int>(uniform(10, 99)));
  station_.description = description;

  // Sounder settings after the time stamp: digits, with the program letter of
  // current sounders.
  const size_t settings_length = options.format_version == 2 ? 101 : 58;
  for (size_t i = 0; i < settings_length; ++i)
    station_.settings.push_back(static_cast<char>('0' + uniform(0, 9)));
  if (options.format_version >= 4) station_.settings[48] = 'G';
  station_.base_frequency = static_cast<double>(uniform(1000, 2500));
}

uint64_t SaoGenerator::next() {
  // splitmix64: the same sequence on every platform.
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

int64_t SaoGenerator::uniform(int64_t lo, int64_t hi) {
  return lo + static_cast<int64_t>(next() % static_cast<uint64_t>(hi - lo + 1));
}

bool SaoGenerator::chance(int percent) {
  return uniform(1, 100) <= percent;
}

void SaoGenerator::choose_counts(std::array<int32_t, 81> &dfi) {
  for (int attempt = 0;; ++attempt) {
    dfi.fill(0);
    dfi[1] = 5;
    dfi[2] = 1;
    dfi[3] = options_.format_version == 2 ? 120 : 77;
    dfi[4] = 49;
    dfi[5] = 20;
    dfi[6] = 8;
    const auto trace = [&](int first, int n, bool true_heights) {
      dfi[first] = n;
      dfi[first + 1] = true_heights ? n : 0;
      for (int k = first + 2; k <= first + 4; ++k)
        dfi[k] = n;
    };
    trace(7, static_cast<int>(uniform(40, 220)), chance(25));            // F2 layer, O trace
    if (chance(50)) trace(12, static_cast<int>(uniform(10, 60)), false); // F1 layer
    if (chance(70)) trace(17, static_cast<int>(uniform(5, 30)), false);  // E layer
    if (chance(40))
      for (int k = 22; k <= 25; ++k)
        dfi[k] = static_cast<int32_t>(uniform(3, 20)); // Es
    if (chance(15)) {
      const int32_t n = static_cast<int32_t>(uniform(3, 25));
      for (int k = 26; k <= 29; ++k)
        dfi[k] = n;
    }
    if (chance(10)) {
      const int32_t n = static_cast<int32_t>(uniform(3, 25));
      for (int k = 30; k <= 33; ++k)
        dfi[k] = n;
    }
    if (chance(10)) dfi[34] = dfi[35] = dfi[36] = static_cast<int32_t>(uniform(1, 20));
    dfi[37] = 10;
    dfi[38] = chance(20) ? 10 : 0;
    dfi[39] = 7;
    dfi[40] = static_cast<int32_t>(6 * uniform(5, 20) + 1);
    const int32_t profile = static_cast<int32_t>(uniform(20, 110));
    dfi[41] = profile;
    dfi[42] = 2;
    if (chance(60)) {
      const int32_t n = static_cast<int32_t>(uniform(6, 40));
      for (int k = 43; k <= 46; ++k)
        dfi[k] = n;
    }
    const int32_t points = static_cast<int32_t>(uniform(50, 150));
    dfi[51] = dfi[52] = dfi[53] = points;
    dfi[54] = dfi[55] = profile;
    dfi[56] = 120;
    if (chance(10)) dfi[58] = dfi[59] = dfi[60] = static_cast<int32_t>(uniform(10, 40));
    dfi[80] = options_.format_version;
    const int64_t lines = record_lines(dfi);
    if ((lines >= 60 && lines <= 150) || attempt > 1000) return;
  }
}

void SaoGenerator::end_line(std::string &out, bool after_time_stamp) {
  if (options_.line_ends == LineEnds::crlf ||
      (options_.line_ends == LineEnds::mixed && !after_time_stamp))
    out.push_back('\r');
  out.push_back('\n');
}

GeneratedRecord SaoGenerator::append_record(std::string &out) {
  const size_t begin = out.size();
  std::array<int32_t, 81> dfi;
  choose_counts(dfi);

  for (int k = 1; k <= 80; ++k) {
    put_int(out, 3, dfi[k]);
    if (k == 40 || k == 80) end_line(out);
  }
  out.append(station_.constants);
  end_line(out);
  out.append(station_.description);
  end_line(out);
  {
    std::string stamp = (options_.format_version == 2 ? "FE" : "FF") + time_stamp_digits(time_);
    std::string settings = station_.settings;
    // The sounder's running counters change from ionogram to ionogram.
    settings[3] = static_cast<char>('0' + produced_ % 10);
    settings[4] = static_cast<char>('0' + produced_ / 10 % 10);
    stamp.append(settings);
    out.append(stamp, 0, static_cast<size_t>(dfi[3]));
    end_line(out, true);
  }

  // Trace shapes for this ionogram, in thousandths.
  const int64_t start_freq = static_cast<int64_t>(station_.base_frequency) + uniform(-200, 200);
  const int64_t freq_step = uniform(25, 100);
  const int64_t start_height = uniform(90000, 260000);
  const int64_t height_rise = uniform(150000, 500000);

  const auto group = [&](int k, auto value) {
    const int32_t n = dfi[k];
    if (dfi[guard_of(k)] < 1) return;
    if (n < 1) {
      end_line(out);
      return;
    }
    const Layout layout = layout_of(kGroupField[k]);
    for (int32_t i = 0; i < n; ++i) {
      value(i, n);
      if ((i + 1) % layout.per_line == 0 || i + 1 == n) end_line(out);
    }
  };
  const auto heights = [&](int k, int64_t base) {
    group(k, [&](int32_t i, int32_t n) {
      const int64_t h = base + height_rise * i / n * i / n + uniform(-400, 400);
      put_fixed(out, 8, std::max<int64_t>(h, 60000));
    });
  };
  const auto frequencies = [&](int k) {
    group(k, [&](int32_t i, int32_t) { put_fixed(out, 8, start_freq + freq_step * i); });
  };
  const auto amplitudes = [&](int k) {
    group(k, [&](int32_t, int32_t) { put_int(out, 3, chance(4) ? 0 : uniform(30, 99)); });
  };
  const auto dopplers = [&](int k) {
    group(k, [&](int32_t, int32_t) {
      out.push_back(static_cast<char>('0' + (chance(80) ? 3 : uniform(0, 7))));
    });
  };
  const auto exps = [&](int k, int width, int d, int e, int lo_exp, int hi_exp) {
    group(k, [&](int32_t, int32_t) {
      uint64_t limit = 1;
      for (int j = 0; j < d; ++j)
        limit *= 10;
      const uint64_t mantissa = limit / 10 + next() % (limit - limit / 10);
      put_exp(out, width, d, e, mantissa, static_cast<int>(uniform(lo_exp, hi_exp)), chance(30));
    });
  };

  // Group 4: scaled ionospheric characteristics, many of them left out.
  group(4, [&](int32_t i, int32_t) {
    if (chance(35)) {
      put_fixed(out, 8, kMissing);
    } else if (i % 4 == 3) {
      put_fixed(out, 8, uniform(90000, 650000));
    } else if (i % 7 == 5) {
      put_fixed(out, 8, -uniform(0, 99999));
    } else {
      put_fixed(out, 8, uniform(0, 15000));
    }
  });
  group(5, [&](int32_t, int32_t) { put_int(out, 2, chance(85) ? 0 : uniform(1, 9)); });
  group(6, [&](int32_t i, int32_t n) { put_fixed(out, 7, (2 * i - (n - 1)) * 1172); });

  heights(7, start_height + 100000);
  heights(8, start_height + 50000);
  amplitudes(9);
  dopplers(10);
  frequencies(11);
  heights(12, start_height + 80000);
  heights(13, start_height + 60000);
  amplitudes(14);
  dopplers(15);
  frequencies(16);
  heights(17, start_height);
  heights(18, start_height);
  amplitudes(19);
  dopplers(20);
  frequencies(21);
  heights(22, start_height);
  amplitudes(23);
  dopplers(24);
  frequencies(25);
  heights(26, start_height + 120000);
  amplitudes(27);
  dopplers(28);
  frequencies(29);
  heights(30, start_height + 150000);
  amplitudes(31);
  dopplers(32);
  frequencies(33);
  for (int k = 34; k <= 36; ++k)
    group(k, [&](int32_t, int32_t) { put_int(out, 2, uniform(0, 99)); });
  exps(37, 11, 6, 1, 0, 3);
  exps(38, 11, 6, 1, 0, 3);
  exps(39, 11, 6, 1, 0, 2);
  exps(40, 20, 12, 2, -10, 15); // polynomial coefficients of the profile
  dopplers(41);
  exps(42, 11, 6, 1, 0, 2);
  heights(43, start_height + 110000); // X trace
  amplitudes(44);
  dopplers(45);
  frequencies(46);
  heights(47, start_height);
  amplitudes(48);
  dopplers(49);
  frequencies(50);
  // The profile: true heights, plasma frequencies, electron densities.
  group(51, [&](int32_t i, int32_t) { put_fixed(out, 8, 90000 + 10000 * i + uniform(0, 999)); });
  group(52, [&](int32_t i, int32_t n) {
    const int64_t peak = 9900;
    const int64_t x = 2 * i - n;
    put_fixed(out, 8, std::max<int64_t>(200, peak - peak * x * x / (n * n)));
  });
  exps(53, 8, 3, 1, 3, 7);
  group(54, [&](int32_t i, int32_t) { out.push_back(i == 0 || chance(85) ? '/' : ' '); });
  group(55, [&](int32_t i, int32_t) { out.push_back(i == 0 || chance(40) ? '/' : ' '); });
  group(56, [&](int32_t, int32_t) {
    out.push_back(chance(95) ? '0' : static_cast<char>('0' + uniform(2, 3)));
  });
  exps(57, 11, 6, 1, 0, 2);
  group(58, [&](int32_t i, int32_t) { put_fixed(out, 8, 90000 + 12000 * i); });
  group(59, [&](int32_t i, int32_t) { put_fixed(out, 8, 300 + 150 * i); });
  exps(60, 8, 3, 1, 3, 7);

  GeneratedRecord r;
  r.time = time_;
  r.bytes = out.size() - begin;
  r.lines = static_cast<uint32_t>(
      std::count(out.begin() + static_cast<ptrdiff_t>(begin), out.end(), '\n'));
  time_ = advance(time_, options_.cadence_seconds);
  ++produced_;
  return r;
}

GenerationSummary generate(const GeneratorOptions &options, const ChunkSink &sink,
                           const RecordObserver &observer) {
  constexpr size_t kChunk = 1 << 20;
  SaoGenerator generator(options);
  GenerationSummary summary;
  std::string buffer;
  buffer.reserve(kChunk + (64 << 10));
  const auto more = [&] {
    if (options.records == 0 && options.target_bytes == 0) return false;
    if (options.records != 0 && summary.records >= options.records) return false;
    if (options.target_bytes != 0 && summary.bytes >= options.target_bytes) return false;
    return true;
  };
  while (more()) {
    const GeneratedRecord r = generator.append_record(buffer);
    ++summary.records;
    summary.bytes += r.bytes;
    summary.lines += r.lines;
    if (observer) observer(r);
    if (buffer.size() >= kChunk) {
      sink(buffer);
      buffer.clear();
    }
  }
  if (!buffer.empty()) sink(buffer);
  return summary;
}

GenerationSummary generate(const GeneratorOptions &options, std::ostream &out,
                           std::vector<std::string> *listing) {
  return generate(
      options,
      [&](std::string_view chunk) {
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
      },
      [&](const GeneratedRecord &r) {
        if (listing) listing->push_back(listing_line(r.time));
      });
}

std::string generate_text(const GeneratorOptions &options, std::vector<std::string> *listing) {
  std::string text;
  generate(
      options, [&](std::string_view chunk) { text.append(chunk); },
      [&](const GeneratedRecord &r) {
        if (listing) listing->push_back(listing_line(r.time));
      });
  return text;
}

void write_long_line(uint64_t bytes, const ChunkSink &sink) {
  // A run of F8.3 heights: 235.000 235.833 236.667 ...
  std::string pattern;
  for (int i = 0; i < 120; ++i)
    put_fixed(pattern, 8, 235000 + 833 * i);
  std::string chunk;
  while (chunk.size() < (1u << 20))
    chunk.append(pattern);
  while (bytes > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, chunk.size()));
    sink(std::string_view(chunk.data(), n));
    bytes -= n;
  }
}

} // namespace saogen
