// The kernels' stages one at a time, at every level under test: the byte
// classes against their definition, the lane windows against the lane
// layout they are taken from, and the levels this build reports.
#include "kernel_check.h"

#include "recio/kernels/byte_classes.h"
#include "recio/kernels/field_kernels.h"
#include "recio/kernels/field_layout.h"
#include "recio/kernels/lane_layout.h"
#include "recio/kernels/run_loop.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace kernel_check;
using namespace recio::kernels;

TEST(KernelByteClasses, EachByteHasTheClassOfItsCharacter) {
  for (int c = 0; c < 256; ++c) {
    const auto b = static_cast<unsigned char>(c);
    const uint8_t want = (c >= '0' && c <= '9') ? kDigitClass
                         : c == ' '             ? kBlankClass
                         : c == '+' || c == '-' ? kSignClass
                         : c == '.'             ? kPointClass
                         : c == 'E'             ? kLetterClass
                                                : 0;
    EXPECT_EQ(class_of(b), want) << "byte " << c;
  }
}

// Every level's classification of random bytes, of every length a block
// holds, equals the class of each byte; bits past the bytes are 0.
TEST(KernelByteClasses, EveryLevelClassifiesEveryByteOfABlock) {
  std::mt19937_64 rng(256);
  const std::string common = " 0123456789+-.E";
  for (const Level &level : levels()) {
    for (size_t n = 1; n <= kBlockBytes; n += n < 130 ? 1 : 37) {
      std::string bytes(n + recio::kKernelPadding, '\0');
      for (size_t i = 0; i < n + recio::kKernelPadding; ++i)
        bytes[i] = rng() % 2 ? common[rng() % common.size()] : static_cast<char>(rng());
      ClassMasks m;
      level.stages->classify(bytes.data(), n, m);
      for (size_t i = 0; i < (n + 63) / 64 * 64; ++i) {
        const uint8_t c = i < n ? class_of(static_cast<unsigned char>(bytes[i])) : 0;
        const size_t w = i / 64;
        const uint64_t bit = uint64_t{1} << (i % 64);
        ASSERT_EQ((m.digit[w] & bit) != 0, (c & kDigitClass) != 0) << level.name << " " << i;
        ASSERT_EQ((m.blank[w] & bit) != 0, (c & kBlankClass) != 0) << level.name << " " << i;
        ASSERT_EQ((m.sign[w] & bit) != 0, (c & kSignClass) != 0) << level.name << " " << i;
        ASSERT_EQ((m.point[w] & bit) != 0, (c & kPointClass) != 0) << level.name << " " << i;
        ASSERT_EQ((m.letter[w] & bit) != 0, (c & kLetterClass) != 0) << level.name << " " << i;
      }
    }
  }
}

// Each part's window, shuffled, gives the bytes the lane layout's own
// gather gives for the first field, for every real and integer layout.
TEST(KernelLaneWindows, WindowsGatherWhatTheLaneLayoutGathers) {
  int windowed = 0;
  for (int32_t width = 1; width <= kMaxKernelWidth; ++width) {
    for (int32_t point = 0; point <= width; ++point) {
      for (int32_t exponent = point + 1; exponent <= width; ++exponent) {
        const bool real = point < width;
        if (!real && exponent != width) continue;
        if (exponent < width && (width - exponent - 2 < 1 || width - exponent - 2 > 3)) continue;
        // A field whose byte in column c is c itself.
        std::string field(static_cast<size_t>(width), ' ');
        if (real) field[static_cast<size_t>(point)] = '.';
        if (exponent < width) field[static_cast<size_t>(exponent)] = 'E';
        FieldLayout l;
        if (!layout_of(field.data(), width, real, l)) continue;
        const LaneLayout lanes = lane_layout(l);
        if (!lanes.windowed) continue;
        ++windowed;
        const struct {
          const uint8_t *index;
          uint64_t keep;
          const LaneWindow &window;
        } parts[] = {{lanes.index, lanes.keep, lanes.low_window},
                     {lanes.high_index, lanes.high_keep, lanes.high_window},
                     {lanes.exponent_index, lanes.exponent_keep, lanes.exponent_window}};
        for (const auto &part : parts) {
          for (int b = 0; b < 8; ++b) {
            const bool kept = part.keep >> b & 1;
            const uint8_t s = part.window.shuffle[b];
            ASSERT_EQ(kept, s < 8) << "width " << width << " point " << point << " byte " << b;
            if (kept) {
              EXPECT_EQ(part.window.base + s, part.index[b]);
            }
          }
        }
      }
    }
  }
  EXPECT_GT(windowed, 50);
}

TEST(KernelLevels, TheFaceReportsWhatThisBuildHas) {
  using recio::KernelLevel;
  EXPECT_TRUE(recio::kernel_level_supported(KernelLevel::portable));
  EXPECT_TRUE(recio::kernel_level_supported(recio::best_kernel_level()));
  EXPECT_EQ(recio::best_kernel_level(), recio::detect_kernel_level());
  for (KernelLevel l :
       {KernelLevel::portable, KernelLevel::avx2, KernelLevel::avx512, KernelLevel::neon})
    if (recio::kernel_level_supported(l)) {
      EXPECT_STREQ(stages_of(l).name, recio::kernel_level_name(l));
    }
  // A level of another architecture runs the portable stages, never nothing.
#if defined(__aarch64__)
  EXPECT_EQ(recio::best_kernel_level(), KernelLevel::neon);
  EXPECT_STREQ(stages_of(KernelLevel::avx512).name, "portable");
#elif defined(__x86_64__)
  EXPECT_FALSE(recio::kernel_level_supported(KernelLevel::neon));
  EXPECT_STREQ(stages_of(KernelLevel::neon).name, "portable");
#endif
}

} // namespace
