// The field kernels against the one-field conversion on arbitrary bytes: at
// every kernel level the processor runs and every level emulated in this
// build, the same fields taken, every taken field converted bit for bit as
// the one-field path converts it, and nothing written where no taken field's
// value belongs: past the last one, or between the slots of a stride.
//
// Input: a descriptor (letter, width, digits), a stride (0, 1 or 2) and a
// kind of padding, then the bytes of the run:
//   byte 0   the letter: I, F or E (value % 3)
//   byte 1   the width: 1 to 24 (value % 24 + 1)
//   byte 2   the digits d of Fw.d and Ew.d (value % 16)
//   byte 3   the stride of the reals: 0 (every value into one), 1 or 2
//   byte 4   the padding after the run: 0 zeros, 1 digits, 2 the input's
//            own bytes again, from the first byte of the run
//   5 on     the run, as many whole fields as there are
#include "recio/kernels/emulated/levels.h"
#include "recio/kernels/field_kernels.h"
#include "recio/kernels/run_loop.h"
#include "recio/real_conversion.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kHeader = 5;
constexpr uint8_t kUntouched = 0xA5; // every byte of an output slot before the call

struct Descriptor {
  char letter;
  int32_t width;
  int32_t digits;
};

void check(bool condition) {
  if (!condition) std::abort();
}

bool plain(const char *f, int32_t w) {
  for (int32_t i = 0; i < w; ++i) {
    const char c = f[i];
    if (!(c == ' ' || c == '+' || c == '-' || c == '.' || c == 'E' || (c >= '0' && c <= '9')))
      return false;
  }
  return true;
}

// The levels to run: native where the processor runs them, and emulated.
std::vector<const recio::kernels::LevelStages *> all_levels() {
  using recio::KernelLevel;
  std::vector<const recio::kernels::LevelStages *> v;
  for (KernelLevel l : {KernelLevel::portable, KernelLevel::avx2, KernelLevel::avx512,
                        KernelLevel::neon}) {
    if (recio::kernel_level_supported(l)) v.push_back(&recio::kernels::stages_of(l));
    if (const auto *emulated = recio::kernels::emulated_stages(l)) v.push_back(emulated);
  }
  return v;
}

template <class T> uint64_t bits(T v) {
  uint64_t b = 0;
  std::memcpy(&b, &v, sizeof v);
  return b;
}

template <class T> bool untouched(const T &slot) {
  const auto *b = reinterpret_cast<const uint8_t *>(&slot);
  for (size_t i = 0; i < sizeof(T); ++i)
    if (b[i] != kUntouched) return false;
  return true;
}

template <class T> std::vector<T> fresh_slots(size_t n) {
  std::vector<T> v(n);
  std::memset(v.data(), kUntouched, n * sizeof(T));
  return v;
}

// The one-field conversion of field `f`.
int32_t one_int(const char *f, size_t w) {
  recio::IntegerAccumulator acc;
  for (size_t c = 0; c < w; ++c)
    if (f[c] != ' ') acc.add(f[c]);
  int32_t v = 0;
  recio::ErrorCode error;
  check(acc.finish(v, error));
  return v;
}

template <class T> T one_real(const char *f, size_t w, int32_t digits) {
  recio::RealAccumulator acc(digits);
  for (size_t c = 0; c < w; ++c)
    if (f[c] != ' ') acc.add(f[c]);
  T v = 0;
  recio::ErrorCode error;
  if constexpr (sizeof(T) == sizeof(float))
    check(acc.finish_float(v, error));
  else
    check(acc.finish_double(v, error));
  return v;
}

// The slots of a real run after the kernel took `taken` fields: each taken
// value where its stride puts it, nothing anywhere else.
template <class T>
void check_slots(const std::vector<T> &slots, const std::vector<char> &run, size_t w,
                 int32_t digits, size_t taken, ptrdiff_t stride) {
  if (stride == 0) {
    if (taken > 0) {
      check(bits(slots[0]) == bits(one_real<T>(run.data() + (taken - 1) * w, w, digits)));
    } else {
      check(untouched(slots[0]));
    }
    for (size_t i = 1; i < slots.size(); ++i)
      check(untouched(slots[i]));
    return;
  }
  const auto s = static_cast<size_t>(stride);
  for (size_t i = 0; i < slots.size(); ++i) {
    const size_t field = i / s;
    if (i % s == 0 && field < taken) {
      check(bits(slots[i]) == bits(one_real<T>(run.data() + field * w, w, digits)));
    } else {
      check(untouched(slots[i]));
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < kHeader) return 0;
  const Descriptor d{"IFE"[data[0] % 3], data[1] % 24 + 1, data[2] % 16};
  const ptrdiff_t stride = data[3] % 3;
  const uint8_t padding = data[4] % 3;
  const size_t w = static_cast<size_t>(d.width);
  const size_t count = (size - kHeader) / w;
  std::vector<char> run(count * w + recio::kKernelPadding, '\0');
  std::memcpy(run.data(), data + kHeader, count * w);
  for (size_t i = 0; i < recio::kKernelPadding; ++i) {
    char &c = run[count * w + i];
    if (padding == 1) c = static_cast<char>('0' + i % 10);
    if (padding == 2 && size > kHeader) c = static_cast<char>(data[kHeader + i % (size - kHeader)]);
  }

  const size_t slots = count * (stride == 2 ? 2 : 1) + 8;
  bool first = true;
  size_t first_taken = 0;
  static const std::vector<const recio::kernels::LevelStages *> levels = all_levels();
  for (const recio::kernels::LevelStages *level : levels) {
    size_t taken;
    if (d.letter == 'I') {
      std::vector<int32_t> ints = fresh_slots<int32_t>(count + 8);
      taken = recio::kernels::convert_int_run(*level, run.data(), count, d.width, ints.data());
      check(taken <= count);
      for (size_t i = 0; i < ints.size(); ++i) {
        if (i < taken) {
          check(plain(run.data() + i * w, d.width));
          check(ints[i] == one_int(run.data() + i * w, w));
        } else {
          check(untouched(ints[i]));
        }
      }
    } else {
      std::vector<float> floats = fresh_slots<float>(slots);
      std::vector<double> doubles = fresh_slots<double>(slots);
      taken = recio::kernels::convert_real_run(*level, run.data(), count, d.width, floats.data(),
                                               stride);
      check(taken <= count);
      check(taken == recio::kernels::convert_real_run(*level, run.data(), count, d.width,
                                                      doubles.data(), stride));
      for (size_t i = 0; i < taken; ++i)
        check(plain(run.data() + i * w, d.width));
      check_slots(floats, run, w, d.digits, taken, stride);
      check_slots(doubles, run, w, d.digits, taken, stride);
    }
    if (first) first_taken = taken;
    first = false;
    check(taken == first_taken);
  }
  return 0;
}
