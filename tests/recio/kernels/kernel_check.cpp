#include "kernel_check.h"

#include "recio/kernels/emulated/levels.h"
#include "recio/kernels/run_loop.h"
#include "recio/real_conversion.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

namespace kernel_check {

void PrintTo(const Descriptor &d, std::ostream *os) { *os << d.name; }

namespace {

constexpr recio::KernelLevel kAllLevels[] = {recio::KernelLevel::portable, recio::KernelLevel::avx2,
                                             recio::KernelLevel::avx512, recio::KernelLevel::neon};

} // namespace

const std::vector<Level> &levels() {
  static const std::vector<Level> all = [] {
    std::vector<Level> v;
    for (recio::KernelLevel l : kAllLevels)
      if (recio::kernel_level_supported(l))
        v.push_back({recio::kernel_level_name(l), &recio::kernels::stages_of(l)});
    for (recio::KernelLevel l : kAllLevels)
      if (const auto *stages = recio::kernels::emulated_stages(l))
        v.push_back({std::string(recio::kernel_level_name(l)) + " (emulated)", stages});
    return v;
  }();
  return all;
}

std::string level_report() {
  std::string report;
  for (recio::KernelLevel l : kAllLevels) {
    const bool native = recio::kernel_level_supported(l);
    const bool emulated = recio::kernels::emulated_stages(l) != nullptr;
    report += std::string(recio::kernel_level_name(l)) + ": ";
    if (native && emulated) report += "native and emulated";
    else if (native) report += "native";
    else if (emulated) report += "emulated (this processor lacks it)";
    else report += "not run: neither this processor nor this build has it";
    report += "\n";
  }
  return report;
}

const Descriptor kDescriptors[10] = {
    {"I1", 'I', 1, 0, 0},         {"I2", 'I', 2, 0, 0},         {"I3", 'I', 3, 0, 0},
    {"F6.3", 'F', 6, 3, 0},       {"F7.3", 'F', 7, 3, 0},       {"F8.3", 'F', 8, 3, 0},
    {"E8.3E1", 'E', 8, 3, 1},     {"E9.4E1", 'E', 9, 4, 1},     {"E11.6E1", 'E', 11, 6, 1},
    {"E20.12", 'E', 20, 12, 2},
};


namespace {

// What the one-field path makes of a field with no line end, comma or
// Ctrl-Z in it: its characters, blanks and tabs passed over.
struct Reference {
  bool ok = false;
  int32_t i = 0;
  float f = 0;
  double d = 0;
};

Reference reference(const Descriptor &desc, const std::string &field) {
  Reference r;
  recio::ErrorCode error;
  if (desc.letter == 'I') {
    recio::IntegerAccumulator acc;
    for (char c : field)
      if (c != ' ' && c != '\t') acc.add(c);
    r.ok = acc.finish(r.i, error);
    return r;
  }
  recio::RealAccumulator acc(desc.digits);
  for (char c : field)
    if (c != ' ' && c != '\t') acc.add(c);
  r.ok = acc.finish_double(r.d, error) && acc.finish_float(r.f, error);
  return r;
}

} // namespace

std::string canonical_field(const Descriptor &d, std::mt19937_64 &rng) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto digits = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + pick(0, 9));
    return s;
  };
  std::string tail;
  int room = d.width;
  if (d.letter == 'E') {
    tail = std::string("E") + (pick(0, 1) ? "+" : "-") + digits(d.exponent_digits);
    room -= static_cast<int>(tail.size());
  }
  if (d.letter != 'I') {
    tail = "." + digits(d.digits) + tail;
    room -= d.digits + 1;
  }
  const int lead = room > 0 ? pick(0, room) : 0; // digits before the point
  std::string head = digits(lead);
  if (pick(0, 3) == 0 && static_cast<int>(head.size()) < room) head = (pick(0, 1) ? "-" : "+") + head;
  if (pick(0, 7) == 0 && !head.empty() && head.back() != '-' && head.back() != '+')
    head = std::string(head.size(), '0'); // zero, with or without a sign: -0.0 included
  return std::string(static_cast<size_t>(room) - head.size(), ' ') + head + tail;
}

namespace {

// The fields as one run in a buffer with the padding the kernels may read.
struct Run {
  std::string bytes;
  Run(const std::vector<std::string> &fields, const std::string &after) {
    for (const std::string &f : fields) bytes += f;
    for (size_t i = 0; i < recio::kKernelPadding; ++i)
      bytes += after.empty() ? '\0' : after[i % after.size()];
  }
  const char *data() const { return bytes.data(); }
};

// Values a kernel might write past the run's last one: it must not.
constexpr size_t kGuardValues = 8;

} // namespace

size_t check_run(const Level &level, const Descriptor &d, const std::vector<std::string> &fields,
                 const std::string &after) {
  const Run run(fields, after);
  const size_t n = fields.size();
  size_t taken = 0;
  std::vector<int32_t> ints(n + kGuardValues, 0x5A5A5A5A);
  std::vector<float> floats(n + kGuardValues, -7.0f);
  std::vector<double> doubles(n + kGuardValues, -7.0);
  if (d.letter == 'I') {
    taken = recio::kernels::convert_int_run(*level.stages, run.data(), n, d.width, ints.data());
  } else {
    taken = recio::kernels::convert_real_run(*level.stages, run.data(), n, d.width, floats.data(), 1);
    const size_t taken_double =
        recio::kernels::convert_real_run(*level.stages, run.data(), n, d.width, doubles.data(), 1);
    EXPECT_EQ(taken, taken_double) << level.name << " " << d.name;
    // Every value into one variable: the same fields taken, the last one kept.
    float one = -7.0f;
    EXPECT_EQ(recio::kernels::convert_real_run(*level.stages, run.data(), n, d.width, &one, 0), taken);
    if (taken > 0) {
      EXPECT_EQ(std::bit_cast<uint32_t>(one), std::bit_cast<uint32_t>(floats[taken - 1])) << level.name << " " << d.name;
    }
  }
  EXPECT_LE(taken, n);
  for (size_t i = taken; i < n + kGuardValues; ++i) {
    // Not written past the fields taken, nor past the run.
    const std::string f = i < n ? fields[i] : "past the run";
    if (d.letter == 'I') {
      EXPECT_EQ(ints[i], 0x5A5A5A5A) << level.name << " " << d.name << " [" << f << "]";
    } else {
      EXPECT_EQ(floats[i], -7.0f) << level.name << " " << d.name << " [" << f << "]";
      EXPECT_EQ(doubles[i], -7.0) << level.name << " " << d.name << " [" << f << "]";
    }
  }
  for (size_t i = 0; i < taken; ++i) {
    const std::string &f = fields[i];
    EXPECT_EQ(f.find_first_of(std::string("\t,\r\n\x1a\0", 6)), std::string::npos)
        << level.name << " " << d.name << " took [" << f << "]";
    const Reference r = reference(d, f);
    EXPECT_TRUE(r.ok) << level.name << " " << d.name << " took a field the one-field path rejects: [" << f << "]";
    if (d.letter == 'I') {
      EXPECT_EQ(ints[i], r.i) << level.name << " " << d.name << " [" << f << "]";
    } else {
      EXPECT_EQ(std::bit_cast<uint32_t>(floats[i]), std::bit_cast<uint32_t>(r.f))
          << level.name << " " << d.name << " [" << f << "]";
      EXPECT_EQ(std::bit_cast<uint64_t>(doubles[i]), std::bit_cast<uint64_t>(r.d))
          << level.name << " " << d.name << " [" << f << "]";
    }
  }
  return taken;
}

} // namespace kernel_check
