// The format notation: a format text is parsed once into a flat list of edit
// descriptors and walked by reads and writes alike.
#pragma once

#include "recio/error_codes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace recio {

enum class Op : uint8_t {
  int_field,    // Iw
  fixed_field,  // Fw.d
  exp_field,    // Ew.d, Ew.dEe
  text_field,   // Aw, or A (width 0: the item's own length)
  skip,         // nX
  literal,      // nHtext
  slash,        // "/"
  group_begin,  // "(" of an inner group
  group_end,    // ")" of an inner group
  end,          // ")" of the whole format
  invalid,      // the walk stops here with `error`
};

struct Descriptor {
  Op op;
  ErrorCode error; // for invalid
  int32_t repeat;  // data descriptors, slash and groups
  int32_t width;   // w; n for skip; offset into the literal pool for literal
  int32_t digits;  // d; length for literal; partner index for group_begin/group_end
};

inline bool is_data(Op op) { return op <= Op::text_field; }

struct ParsedFormat {
  std::vector<Descriptor> ops; // always ends with end or invalid
  std::string literals;
  uint32_t reversion = 0; // where the walk resumes after the closing parenthesis
};

ParsedFormat parse_format(std::string_view text);

// A parsed format held for the length of one statement, or bound for as long
// as its owner keeps it (the format slots of a reader). While it is held the
// cache does not evict it.
class FormatHandle {
public:
  FormatHandle() = default;
  FormatHandle(const ParsedFormat *format, uint32_t *pins) : format_(format), pins_(pins) {
    if (pins_) ++*pins_;
  }
  explicit FormatHandle(std::unique_ptr<ParsedFormat> owned)
      : format_(owned.get()), owned_(std::move(owned)) {}
  // Uses a format another handle holds, without holding it again.
  static FormatHandle borrow(const FormatHandle &held) { return FormatHandle(held.format_, nullptr); }

  FormatHandle(FormatHandle &&other) noexcept { *this = std::move(other); }
  FormatHandle &operator=(FormatHandle &&other) noexcept {
    if (this != &other) {
      release();
      format_ = std::exchange(other.format_, nullptr);
      pins_ = std::exchange(other.pins_, nullptr);
      owned_ = std::move(other.owned_);
    }
    return *this;
  }
  ~FormatHandle() { release(); }

  // Holds nothing from now on.
  void reset() {
    release();
    format_ = nullptr;
    owned_.reset();
  }

  explicit operator bool() const { return format_ != nullptr; }
  const ParsedFormat &operator*() const { return *format_; }
  const ParsedFormat *operator->() const { return format_; }

private:
  void release() {
    if (pins_) --*pins_;
    pins_ = nullptr;
  }

  const ParsedFormat *format_ = nullptr;
  uint32_t *pins_ = nullptr;
  std::unique_ptr<ParsedFormat> owned_; // when every cache entry it could use is held
};

// The parsed form of `text`, parsed at its first use and cached by content.
FormatHandle cached_format(std::string_view text);

// Walks a parsed format for one statement. The caller transfers items at data
// descriptors and obeys the control events.
class FormatWalker {
public:
  enum class Event : uint8_t {
    data,      // current() is a data descriptor with data_left() repetitions to go
    skip,      // control().width positions
    literal,   // literal_text(control())
    slash,     // end of record
    revert,    // closing parenthesis with items left: next record, then go on
    end,       // the walk is over (no items left)
    invalid,   // current().error
    no_data,   // items remain but the format holds no data descriptor for them
  };

  explicit FormatWalker(const ParsedFormat &format) : format_(&format) {}

  // Next event. With `items_remain` false the walk stops (end) at the next
  // data descriptor or at the closing parenthesis.
  Event next(bool items_remain);

  const Descriptor &current() const { return format_->ops[pc_]; }
  // The descriptor of the last skip or literal event.
  const Descriptor &control() const { return *control_; }
  int32_t data_left() const { return left_; }
  // Takes `n` (at most data_left()) repetitions of the current data descriptor.
  void consume(int32_t n) {
    left_ -= n;
    if (left_ == 0) ++pc_;
  }
  std::string_view literal_text(const Descriptor &d) const {
    return std::string_view(format_->literals).substr(d.width, d.digits);
  }

private:
  struct Group {
    uint32_t begin;
    int32_t left;
  };
  const ParsedFormat *format_;
  const Descriptor *control_ = nullptr;
  uint32_t pc_ = 0;
  int32_t left_ = 0; // repetitions left of the data or slash at pc_; 0 = not entered
  bool data_since_revert_ = false;
  int depth_ = 0;
  Group groups_[17];
};

} // namespace recio
