// What the kernel tests share: the descriptors, the levels under test
// (native and emulated), canonical fields, and the check of one run at one
// level against the one-field path.
#pragma once

#include "recio/kernels/level_stages.h"

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace kernel_check {

struct Descriptor {
  const char *name;
  char letter; // I, F or E
  int width;
  int digits;
  int exponent_digits; // E only
};

void PrintTo(const Descriptor &d, std::ostream *os);

// Every descriptor the format table reads numbers with.
extern const Descriptor kDescriptors[10];

// A level as the tests run it: its stages, natively or emulated.
struct Level {
  std::string name; // such as "avx512 (emulated)"
  const recio::kernels::LevelStages *stages;
};

// Every level this build can run here: the portable level first, then each
// level the processor runs natively, then each emulated one.
const std::vector<Level> &levels();

// What became of each level here, one line per level: "native",
// "emulated", both, or why neither.
std::string level_report();

// A canonical field of the descriptor, random digits and sign.
std::string canonical_field(const Descriptor &d, std::mt19937_64 &rng);

// Runs the kernel of `d` over the fields at `level` and checks every field it
// took against the one-field path and that nothing past them was written,
// not even past the run; returns how many it took. The padding the kernels
// may read after the run holds `after` (repeated), or zero bytes.
size_t check_run(const Level &level, const Descriptor &d, const std::vector<std::string> &fields,
                 const std::string &after = "");

} // namespace kernel_check
