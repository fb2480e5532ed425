// Halving a plane: every result is the rounded mean of its 2 x 2 block, at every width (the wide
// steps and the samples after them), with strides wider than the rows, and an odd last column or
// row left out.
#include "platform/plane_halving.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace dravolin::platform {
namespace {

TEST(PlaneHalving, EachSampleIsTheRoundedMeanOfItsBlock) {
  struct Case {
    int width;
    int height;
    int padding;  // bytes after each row of the input
  };
  const Case cases[] = {{2, 2, 0},  {3, 3, 1},  {30, 4, 0},  {32, 2, 0},   {34, 6, 3},
                        {64, 4, 0}, {70, 5, 9}, {96, 2, 32}, {1920, 4, 64}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    const int stride = c.width + c.padding;
    std::vector<std::uint8_t> in(static_cast<std::size_t>(stride) * c.height);
    std::uint32_t seed = 12345;
    for (auto& v : in) {
      seed = seed * 1103515245u + 12345u;
      v = static_cast<std::uint8_t>(seed >> 24);
    }
    // The extremes, where a sum of four could overflow a byte or the rounding tip over.
    in[0] = in[1] = in[static_cast<std::size_t>(stride)] =
        in[static_cast<std::size_t>(stride) + 1] = 255;
    const int outWidth = c.width / 2;
    const int outHeight = c.height / 2;
    const int outStride = outWidth + 5;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(outStride) * outHeight + 1, 0xEE);
    halvePlane(in.data(), stride, c.width, c.height, out.data(), outStride);
    for (int y = 0; y < outHeight; ++y) {
      for (int x = 0; x < outWidth; ++x) {
        const auto at = [&](int xx, int yy) {
          return static_cast<int>(in[static_cast<std::size_t>(yy) * stride + xx]);
        };
        const int want = (at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) +
                          at(2 * x + 1, 2 * y + 1) + 2) /
                         4;
        ASSERT_EQ(out[static_cast<std::size_t>(y) * outStride + x], want) << x << ", " << y;
      }
      // Nothing is written beyond the row.
      for (int x = outWidth; x < outStride && y * outStride + x < static_cast<int>(out.size());
           ++x) {
        ASSERT_EQ(out[static_cast<std::size_t>(y) * outStride + x], 0xEE);
      }
    }
    EXPECT_EQ(out[0], 255);
  }
}

}  // namespace
}  // namespace dravolin::platform
