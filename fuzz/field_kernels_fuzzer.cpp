// The field kernels against the one-field conversion on arbitrary bytes: at
// every kernel level the processor runs and every level emulated in this
// build, the same fields taken, and every taken field converted bit for bit
// as the one-field path converts it.
//
// Input: one byte choosing the descriptor, then the bytes of the run.
#include "recio/kernels/emulated/levels.h"
#include "recio/kernels/field_kernels.h"
#include "recio/kernels/run_loop.h"
#include "recio/real_conversion.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Descriptor {
  char letter;
  int32_t width;
  int32_t digits;
};

constexpr Descriptor kDescriptors[] = {
    {'I', 1, 0}, {'I', 2, 0},  {'I', 3, 0},  {'F', 6, 3},  {'F', 7, 3},  {'F', 8, 3},
    {'E', 8, 3}, {'E', 9, 4},  {'E', 11, 6}, {'E', 20, 12}, {'F', 5, 1}, {'I', 8, 0},
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const Descriptor d = kDescriptors[data[0] % (sizeof kDescriptors / sizeof kDescriptors[0])];
  const size_t w = static_cast<size_t>(d.width);
  const size_t count = (size - 1) / w;
  std::vector<char> run(count * w + recio::kKernelPadding, '\0');
  std::memcpy(run.data(), data + 1, count * w);

  size_t first_taken = 0;
  std::vector<int32_t> first_ints(count);
  std::vector<double> first_doubles(count);
  bool first = true;
  static const std::vector<const recio::kernels::LevelStages *> levels = all_levels();
  for (const recio::kernels::LevelStages *level : levels) {
    std::vector<int32_t> ints(count);
    std::vector<float> floats(count);
    std::vector<double> doubles(count);
    size_t taken;
    if (d.letter == 'I') {
      taken = recio::kernels::convert_int_run(*level, run.data(), count, d.width, ints.data());
    } else {
      taken = recio::kernels::convert_real_run(*level, run.data(), count, d.width, floats.data(), 1);
      check(taken == recio::kernels::convert_real_run(*level, run.data(), count, d.width,
                                                      doubles.data(), 1));
    }
    check(taken <= count);
    if (first) {
      first_taken = taken;
      first_ints = ints;
      first_doubles = doubles;
      first = false;
    }
    check(taken == first_taken);
    for (size_t i = 0; i < taken; ++i) {
      const char *f = run.data() + i * w;
      check(plain(f, d.width));
      recio::ErrorCode error;
      if (d.letter == 'I') {
        recio::IntegerAccumulator acc;
        for (size_t c = 0; c < w; ++c)
          if (f[c] != ' ') acc.add(f[c]);
        int32_t want = 0;
        check(acc.finish(want, error));
        check(ints[i] == want && ints[i] == first_ints[i]);
      } else {
        recio::RealAccumulator acc(d.digits);
        for (size_t c = 0; c < w; ++c)
          if (f[c] != ' ') acc.add(f[c]);
        double want = 0;
        float want_float = 0;
        check(acc.finish_double(want, error));
        check(acc.finish_float(want_float, error));
        check(bits(doubles[i]) == bits(want) && bits(doubles[i]) == bits(first_doubles[i]));
        check(bits(floats[i]) == bits(want_float));
      }
    }
  }
  return 0;
}
