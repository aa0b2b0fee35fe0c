// vornet_kernel_bench: the field kernels against the one-field path.
//
// For every numeric descriptor the format table reads with, one line of
// canonical fields (as many as the format puts on a line) is converted
//   - by the run kernel at each level this processor supports, and
//   - by the one-field path: an accumulator fed each field's characters,
//     blanks passed over, which is the definition the kernels must match.
// Throughput is in bytes of the line a second. A kernel that does not take
// the whole line is reported as an error rather than timed on part of it.
#include "recio/kernels/field_kernels.h"
#include "recio/real_conversion.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using recio::KernelLevel;

struct Descriptor {
  const char *name;
  char letter; // I, F or E
  int32_t width;
  int32_t digits;
  int32_t exponent_digits; // E only
  size_t per_line;         // fields of one line, as the format table has them
  bool doubles;            // 8-byte destination (group 40)
};

constexpr Descriptor kDescriptors[] = {
    {"I1", 'I', 1, 0, 0, 120, false},      {"I2", 'I', 2, 0, 0, 60, false},
    {"I3", 'I', 3, 0, 0, 40, false},       {"F6.3", 'F', 6, 3, 0, 20, false},
    {"F7.3", 'F', 7, 3, 0, 16, false},     {"F8.3", 'F', 8, 3, 0, 15, false},
    {"E8.3E1", 'E', 8, 3, 1, 15, false},   {"E9.4E1", 'E', 9, 4, 1, 13, false},
    {"E11.6E1", 'E', 11, 6, 1, 10, false}, {"E20.12", 'E', 20, 12, 2, 6, true},
};

// A canonical field as the files hold them: right-justified, a minus sign now
// and then; F and I fields with random digits before the point, E fields as
// 0.ddd with an exponent of the range the files use (-9 to 9 with one digit,
// -10 to 15 with two).
std::string canonical_field(const Descriptor &d, std::mt19937_64 &rng) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto digits = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
      s += static_cast<char>('0' + pick(0, 9));
    return s;
  };
  // Built by appending: g++ 12 at -O3 takes concatenations of temporaries for
  // overlapping copies (a false -Wrestrict).
  std::string tail;
  if (d.letter != 'I') {
    tail += '.';
    tail += static_cast<char>('1' + pick(0, 8));
    tail += digits(d.digits - 1);
  }
  if (d.letter == 'E') {
    const int exponent = d.exponent_digits == 1 ? pick(-9, 9) : pick(-10, 15);
    const int magnitude = exponent < 0 ? -exponent : exponent;
    tail += 'E';
    tail += exponent < 0 ? '-' : '+';
    if (d.exponent_digits == 2) tail += static_cast<char>('0' + magnitude / 10);
    tail += static_cast<char>('0' + magnitude % 10);
  }
  const int room = d.width - static_cast<int>(tail.size());
  const bool negative = room > 1 && pick(0, 3) == 0;
  std::string head;
  if (negative) head += '-';
  if (d.letter == 'E') {
    if (room - static_cast<int>(head.size()) > 0) head += '0';
  } else {
    head += digits(pick(1, room - static_cast<int>(head.size())));
  }
  std::string field(static_cast<size_t>(room) - head.size(), ' ');
  field += head;
  field += tail;
  return field;
}

struct Line {
  std::string bytes; // the fields, then the padding the kernels may read
  size_t fields = 0;
  size_t size = 0;
};

Line make_line(const Descriptor &d) {
  std::mt19937_64 rng(20240611);
  Line line;
  line.fields = d.per_line;
  for (size_t i = 0; i < d.per_line; ++i)
    line.bytes += canonical_field(d, rng);
  line.size = line.bytes.size();
  line.bytes.append(recio::kKernelPadding, '\0');
  return line;
}

template <class T>
size_t kernel_pass(KernelLevel level, const Descriptor &d, const Line &line, T *out) {
  if constexpr (std::is_same_v<T, int32_t>) {
    return recio::convert_int_run(level, line.bytes.data(), line.fields, d.width, out);
  } else {
    return recio::convert_real_run(level, line.bytes.data(), line.fields, d.width, d.digits, out,
                                   1);
  }
}

template <class T> void one_field_pass(const Descriptor &d, const Line &line, T *out) {
  const char *p = line.bytes.data();
  recio::ErrorCode error;
  for (size_t f = 0; f < line.fields; ++f, p += d.width) {
    if constexpr (std::is_same_v<T, int32_t>) {
      recio::IntegerAccumulator acc;
      for (int32_t c = 0; c < d.width; ++c)
        if (p[c] != ' ') acc.add(p[c]);
      acc.finish(out[f], error);
    } else {
      recio::RealAccumulator acc(d.digits);
      for (int32_t c = 0; c < d.width; ++c)
        if (p[c] != ' ') acc.add(p[c]);
      if constexpr (std::is_same_v<T, float>) {
        acc.finish_float(out[f], error);
      } else {
        acc.finish_double(out[f], error);
      }
    }
  }
}

template <class T>
void bench_kernel(benchmark::State &state, const Descriptor &d, KernelLevel level) {
  const Line line = make_line(d);
  std::vector<T> out(line.fields);
  const size_t taken = kernel_pass(level, d, line, out.data());
  if (taken != line.fields) {
    const std::string why = "the kernel took " + std::to_string(taken) + " of " +
                            std::to_string(line.fields) + " fields";
    state.SkipWithError(why.c_str());
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(kernel_pass(level, d, line, out.data()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * line.size));
}

template <class T> void bench_one_field(benchmark::State &state, const Descriptor &d) {
  const Line line = make_line(d);
  std::vector<T> out(line.fields);
  for (auto _ : state) {
    one_field_pass(d, line, out.data());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * line.size));
}

template <class T> void register_descriptor(const Descriptor &d) {
  for (KernelLevel level :
       {KernelLevel::portable, KernelLevel::avx2, KernelLevel::avx512, KernelLevel::neon}) {
    if (!recio::kernel_level_supported(level)) continue;
    const std::string name = std::string(d.name) + "/kernel_" + recio::kernel_level_name(level);
    benchmark::RegisterBenchmark(
        name.c_str(), [&d, level](benchmark::State &state) { bench_kernel<T>(state, d, level); });
  }
  const std::string name = std::string(d.name) + "/one_field";
  benchmark::RegisterBenchmark(name.c_str(),
                               [&d](benchmark::State &state) { bench_one_field<T>(state, d); });
}

} // namespace

int main(int argc, char **argv) {
  for (const Descriptor &d : kDescriptors) {
    if (d.letter == 'I') {
      register_descriptor<int32_t>(d);
    } else if (d.doubles) {
      register_descriptor<double>(d);
    } else {
      register_descriptor<float>(d);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
