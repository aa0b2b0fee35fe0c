// The byte classes of the canonical forms: one bit per input byte for each
// class. Every kernel level computes the same bits from the characters
// named here; only the instructions differ.
#pragma once

#include "recio/kernels/column_check.h"

#include <cstddef>
#include <cstdint>

namespace recio::kernels {

// The characters of each class: the digits "0" to "9", the blank (a tab is
// not canonical), the signs, the point and the exponent letter (uppercase
// E only).
inline constexpr char kFirstDigit = '0';
inline constexpr int kDigitCount = 10;
inline constexpr char kBlank = ' ';
inline constexpr char kPlus = '+';
inline constexpr char kMinus = '-';
inline constexpr char kPoint = '.';
inline constexpr char kLetter = 'E';

// The class bits of one byte, for classification a byte at a time.
enum ByteClass : uint8_t {
  kDigitClass = 1,
  kBlankClass = 2,
  kSignClass = 4,
  kPointClass = 8,
  kLetterClass = 16
};
constexpr uint8_t class_of(unsigned char c) {
  if (c >= kFirstDigit && c < kFirstDigit + kDigitCount) return kDigitClass;
  if (c == kBlank) return kBlankClass;
  if (c == kPlus || c == kMinus) return kSignClass;
  if (c == kPoint) return kPointClass;
  if (c == kLetter) return kLetterClass;
  return 0;
}

// The class bits by two nibble lookups, for levels that classify bytes by
// table: the classes a byte's low nibble allows and those its high nibble
// allows. The lookup of
// the low nibble gives 0 for bytes from 0x80 on, which have no class.
struct NibbleClasses {
  uint8_t low[16] = {}, high[16] = {};
};

inline constexpr NibbleClasses nibble_classes() {
  NibbleClasses t;
  for (int c = 0; c < 0x80; ++c) {
    const uint8_t bits = class_of(static_cast<unsigned char>(c));
    t.low[c & 15] = static_cast<uint8_t>(t.low[c & 15] | bits);
    t.high[c >> 4] = static_cast<uint8_t>(t.high[c >> 4] | bits);
  }
  return t;
}

inline constexpr NibbleClasses kNibbleClasses = nibble_classes();

// The lookups give every byte exactly its own class: no two characters of
// the classes share a nibble in a way that would lend one's class to another.
inline constexpr bool nibbles_give_each_byte_its_class() {
  for (int c = 0; c < 256; ++c) {
    const uint8_t looked_up =
        c >= 0x80 ? 0 : kNibbleClasses.low[c & 15] & kNibbleClasses.high[c >> 4];
    if (looked_up != class_of(static_cast<unsigned char>(c))) return false;
  }
  return true;
}
static_assert(nibbles_give_each_byte_its_class());

// Bytes classified in one block: a whole number of 64-bit words.
inline constexpr size_t kBlockBytes = 512;
inline constexpr size_t kBlockWords = kBlockBytes / 64;

struct ClassMasks {
  uint64_t digit[kBlockWords];
  uint64_t blank[kBlockWords];
  uint64_t sign[kBlockWords];
  uint64_t point[kBlockWords];
  uint64_t letter[kBlockWords];
};

// Stores the classes of one 64-byte word as word `w` of a block's masks.
// (Static: see exact_quotient.h.)
static inline void store_word(ClassMasks &m, size_t w, const ByteClasses &c) {
  m.digit[w] = c.digit;
  m.blank[w] = c.blank;
  m.sign[w] = c.sign;
  m.point[w] = c.point;
  m.letter[w] = c.letter;
}

// Clears the bits from `n` on in the last word that holds any of the first
// `n` bytes; words past it are never read. (Static: see exact_quotient.h.)
static inline void clear_tail(ClassMasks &m, size_t n) {
  if (n % 64 == 0) return;
  const size_t w = n / 64;
  const uint64_t keep = (uint64_t{1} << (n % 64)) - 1;
  m.digit[w] &= keep;
  m.blank[w] &= keep;
  m.sign[w] &= keep;
  m.point[w] &= keep;
  m.letter[w] &= keep;
}

} // namespace recio::kernels
