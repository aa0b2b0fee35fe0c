// vornet_at_level: the program with its kernels at a level of the caller's
// choosing, for the benchmark only.
//
//   vornet_at_level LEVEL FILE...   LEVEL: portable, avx2, avx512 or neon
//
// Everything after LEVEL goes to the program as its own arguments.
#include "level_switch.h"

#include "driver/program_flow.h"
#include "recio/units.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
  using recio::KernelLevel;
  if (argc < 2) {
    std::fprintf(stderr, "usage: vornet_at_level LEVEL [FILE...]\n");
    return 2;
  }
  bool found = false;
  for (KernelLevel level : {KernelLevel::portable, KernelLevel::avx2, KernelLevel::avx512,
                            KernelLevel::neon}) {
    if (std::strcmp(argv[1], recio::kernel_level_name(level)) != 0) continue;
    if (!recio::kernel_level_supported(level)) {
      std::fprintf(stderr, "vornet_at_level: this processor does not run %s\n", argv[1]);
      return 2;
    }
    bench::set_kernel_level(level);
    found = true;
  }
  if (!found) {
    std::fprintf(stderr, "vornet_at_level: no kernel level %s\n", argv[1]);
    return 2;
  }
  // The program sees its name and then its own arguments.
  argv[1] = argv[0];
  recio::initialize_runtime(argc - 1, argv + 1);
  driver::run_program();
}
