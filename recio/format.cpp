#include "recio/format.h"

#include <array>
#include <cstring>
#include <limits>

namespace recio {

namespace {

constexpr int kMaxInnerDepth = 16;

bool is_space(char c) { return c == ' ' || c == '\t'; }

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

class Parser {
public:
  explicit Parser(std::string_view text) : text_(text) {}

  ParsedFormat run() {
    while (pos_ < text_.size() && is_space(text_[pos_])) ++pos_;
    if (pos_ >= text_.size() || text_[pos_] != '(') {
      fail(ErrorCode::format_no_open_parenthesis);
    } else {
      ++pos_;
      parse_list();
    }
    return std::move(out_);
  }

private:
  // Next significant character without taking it; 0 at the end of the text.
  char peek() {
    while (pos_ < text_.size() && is_space(text_[pos_])) ++pos_;
    return pos_ < text_.size() ? upper(text_[pos_]) : '\0';
  }
  bool at_end() {
    peek();
    return pos_ >= text_.size();
  }
  bool is_digit_next() {
    const char c = peek();
    return !at_end() && c >= '0' && c <= '9';
  }

  // A number of digits, blanks between them allowed; -1 when too large.
  int32_t number() {
    int64_t v = 0;
    while (is_digit_next()) {
      v = v * 10 + (text_[pos_++] - '0');
      if (v > std::numeric_limits<int32_t>::max()) v = std::numeric_limits<int32_t>::max() + 1LL;
    }
    return v > std::numeric_limits<int32_t>::max() ? -1 : static_cast<int32_t>(v);
  }

  // Ends the parsed list at the fault; the list itself stays in out_.
  void fail(ErrorCode code) { out_.ops.push_back({Op::invalid, code, 0, 0, 0}); }
  void emit(Op op, int32_t repeat, int32_t width, int32_t digits) {
    out_.ops.push_back({op, ErrorCode::subscript_out_of_range, repeat, width, digits});
  }

  // Items up to and including the closing parenthesis of the outermost list;
  // stops at the first fault, leaving an invalid descriptor there.
  void parse_list() {
    struct Open {
      uint32_t begin;
    };
    std::array<Open, kMaxInnerDepth> open{};
    int depth = 0;
    bool expect_item = true; // after "(" or ","
    for (;;) {
      if (at_end()) {
        fail(ErrorCode::format_unterminated);
        return;
      }
      const char c = peek();
      if (c == ')') {
        if (expect_item && !out_.ops.empty() && last_was_comma_) {
          fail(ErrorCode::format_bad_descriptor);
          return;
        }
        ++pos_;
        if (depth == 0) {
          emit(Op::end, 0, 0, 0);
          return;
        }
        const uint32_t begin = open[--depth].begin;
        out_.ops[begin].digits = static_cast<int32_t>(out_.ops.size());
        emit(Op::group_end, 0, 0, static_cast<int32_t>(begin));
        if (depth == 0) top_level_group_ = begin;
        out_.reversion = top_level_group_;
        expect_item = false;
        last_was_comma_ = false;
        continue;
      }
      if (c == ',') {
        // A slash is an item of its own, so a comma may also follow it: "(I4,/,I3)".
        const bool after_slash =
            !last_was_comma_ && !out_.ops.empty() && out_.ops.back().op == Op::slash;
        if (expect_item && !after_slash) {
          fail(ErrorCode::format_bad_descriptor);
          return;
        }
        ++pos_;
        expect_item = true;
        last_was_comma_ = true;
        continue;
      }
      if (!expect_item && c != '/') {
        fail(ErrorCode::format_bad_descriptor);
        return;
      }
      last_was_comma_ = false;
      int32_t repeat = -2; // none given
      if (is_digit_next()) {
        repeat = number();
        if (repeat <= 0) {
          fail(ErrorCode::format_bad_number);
          return;
        }
      }
      const char d = peek();
      if (at_end()) {
        fail(ErrorCode::format_unterminated);
        return;
      }
      ++pos_;
      const int32_t count = repeat > 0 ? repeat : 1;
      switch (d) {
      case '(':
        if (depth == kMaxInnerDepth) {
          fail(ErrorCode::format_nested_too_deep);
          return;
        }
        open[depth++].begin = static_cast<uint32_t>(out_.ops.size());
        emit(Op::group_begin, count, 0, 0);
        expect_item = true;
        last_was_comma_ = false;
        continue;
      case '/':
        emit(Op::slash, count, 0, 0);
        expect_item = true; // a slash separates items by itself
        continue;
      case 'X':
        emit(Op::skip, 1, count, 0);
        break;
      case 'H': {
        if (repeat <= 0) {
          fail(ErrorCode::format_bad_number);
          return;
        }
        if (text_.size() - pos_ < static_cast<size_t>(repeat)) {
          fail(ErrorCode::format_literal_past_end);
          return;
        }
        emit(Op::literal, 1, static_cast<int32_t>(out_.literals.size()), repeat);
        out_.literals.append(text_.substr(pos_, repeat));
        pos_ += repeat;
        break;
      }
      case 'I':
      case 'A': {
        int32_t w = 0;
        if (is_digit_next()) {
          w = number();
          if (w <= 0) {
            fail(ErrorCode::format_bad_number);
            return;
          }
        } else if (d == 'I') {
          fail(ErrorCode::format_bad_number);
          return;
        }
        emit(d == 'I' ? Op::int_field : Op::text_field, count, w, 0);
        break;
      }
      case 'F':
      case 'E': {
        const int32_t w = is_digit_next() ? number() : -1;
        if (w <= 0 || peek() != '.') {
          fail(ErrorCode::format_bad_number);
          return;
        }
        ++pos_;
        const int32_t digits = is_digit_next() ? number() : -1;
        if (digits < 0) {
          fail(ErrorCode::format_bad_number);
          return;
        }
        if (d == 'E' && peek() == 'E') { // exponent width: affects output only
          ++pos_;
          if (!is_digit_next() || number() <= 0) {
            fail(ErrorCode::format_bad_number);
            return;
          }
        }
        emit(d == 'F' ? Op::fixed_field : Op::exp_field, count, w, digits);
        break;
      }
      default:
        --pos_;
        fail(ErrorCode::format_bad_descriptor);
        return;
      }
      expect_item = false;
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
  ParsedFormat out_;
  uint32_t top_level_group_ = 0;
  bool last_was_comma_ = false;
};

struct CacheEntry {
  std::string text;
  std::unique_ptr<ParsedFormat> parsed;
  uint32_t pins = 0; // statements holding this entry
};

// Open addressing by content hash: a run uses a few dozen distinct formats.
// A full probe window evicts an entry no statement holds.
constexpr size_t kCacheSlots = 256;
constexpr size_t kProbe = 8;
// Never destroyed: format slots bound for the whole run hold entries until
// the very end of the process, after static destructors have begun.
std::array<CacheEntry, kCacheSlots> &cache_entries() {
  static auto *entries = new std::array<CacheEntry, kCacheSlots>;
  return *entries;
}

// Eight bytes at a time: format slots are twelve characters long.
size_t hash_text(std::string_view text) {
  uint64_t h = text.size() * 0x9E3779B97F4A7C15ull;
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    h = (h ^ word) * 0xFF51AFD7ED558CCDull;
  }
  uint64_t tail = 0;
  if (i < text.size()) std::memcpy(&tail, text.data() + i, text.size() - i);
  h = (h ^ tail) * 0xC4CEB9FE1A85EC53ull;
  return static_cast<size_t>(h ^ (h >> 32));
}

} // namespace

ParsedFormat parse_format(std::string_view text) { return Parser(text).run(); }

FormatHandle cached_format(std::string_view text) {
  const size_t home = hash_text(text);
  CacheEntry *free_entry = nullptr;
  CacheEntry *unheld = nullptr;
  std::array<CacheEntry, kCacheSlots> &cache = cache_entries();
  for (size_t i = 0; i < kProbe; ++i) {
    CacheEntry &e = cache[(home + i) % kCacheSlots];
    if (!e.parsed) {
      if (!free_entry) free_entry = &e;
      continue;
    }
    if (e.text == text) return FormatHandle(e.parsed.get(), &e.pins);
    if (!unheld && e.pins == 0) unheld = &e;
  }
  CacheEntry *entry = free_entry ? free_entry : unheld;
  if (!entry) return FormatHandle(std::make_unique<ParsedFormat>(parse_format(text)));
  entry->text.assign(text);
  entry->parsed = std::make_unique<ParsedFormat>(parse_format(text));
  return FormatHandle(entry->parsed.get(), &entry->pins);
}

FormatWalker::Event FormatWalker::next(bool items_remain) {
  for (;;) {
    const Descriptor &d = format_->ops[pc_];
    switch (d.op) {
    case Op::int_field:
    case Op::fixed_field:
    case Op::exp_field:
    case Op::text_field:
      if (!items_remain) return Event::end;
      if (left_ == 0) left_ = d.repeat;
      data_since_revert_ = true;
      return Event::data;
    case Op::skip:
      control_ = &d;
      ++pc_;
      return Event::skip;
    case Op::literal:
      control_ = &d;
      ++pc_;
      return Event::literal;
    case Op::slash:
      if (left_ == 0) left_ = d.repeat;
      if (--left_ == 0) ++pc_;
      return Event::slash;
    case Op::group_begin:
      groups_[depth_++] = {pc_, d.repeat};
      ++pc_;
      continue;
    case Op::group_end: {
      Group &g = groups_[depth_ - 1];
      if (--g.left > 0) {
        pc_ = g.begin + 1;
      } else {
        --depth_;
        ++pc_;
      }
      continue;
    }
    case Op::end:
      if (!items_remain) return Event::end;
      if (!data_since_revert_) return Event::no_data;
      data_since_revert_ = false;
      pc_ = format_->reversion;
      depth_ = 0;
      left_ = 0;
      return Event::revert;
    case Op::invalid:
      return Event::invalid;
    }
  }
}

} // namespace recio
