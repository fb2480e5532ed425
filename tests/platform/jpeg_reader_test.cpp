#include "platform/jpeg_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fixtures/jpeg_writer.h"

namespace dravolin::testing {
namespace {

using platform::Bitmap;
using platform::decodeJpeg;

// True when every channel of `actual` is within `tolerance` of `expected` and alpha is 0xFF.
::testing::AssertionResult near(std::uint32_t actual, std::uint32_t expected, int tolerance = 6) {
  if ((actual >> 24) != 0xFF) {
    return ::testing::AssertionFailure() << std::hex << actual << " is not opaque";
  }
  for (int shift : {16, 8, 0}) {
    const int a = static_cast<int>((actual >> shift) & 0xFF);
    const int e = static_cast<int>((expected >> shift) & 0xFF);
    if (std::abs(a - e) > tolerance) {
      return ::testing::AssertionFailure() << std::hex << actual << " is not near " << expected;
    }
  }
  return ::testing::AssertionSuccess();
}

struct CodingCase {
  std::string name;
  bool progressive;
  bool arithmetic;
};

class JpegDecodes : public ::testing::TestWithParam<CodingCase> {};

TEST_P(JpegDecodes, ColoursLandInTheirHalves) {
  JpegSpec s = twoColourJpeg(32, 16, 0xE01010, 0x1020C0);
  s.progressive = GetParam().progressive;
  s.arithmetic = GetParam().arithmetic;
  const std::optional<Bitmap> bmp = decodeJpeg(makeJpeg(s));
  ASSERT_TRUE(bmp.has_value());
  ASSERT_EQ(bmp->width, 32);
  ASSERT_EQ(bmp->height, 16);
  for (int y : {0, 15}) {
    EXPECT_TRUE(near(bmp->pixel(4, y), 0xE01010));
    EXPECT_TRUE(near(bmp->pixel(27, y), 0x1020C0));
  }
}

INSTANTIATE_TEST_SUITE_P(Codings, JpegDecodes,
                         ::testing::Values(CodingCase{"Baseline", false, false},
                                           CodingCase{"Progressive", true, false},
                                           CodingCase{"Arithmetic", false, true}),
                         [](const ::testing::TestParamInfo<CodingCase>& info) {
                           return info.param.name;
                         });

TEST(Jpeg, GreyBecomesEqualChannels) {
  JpegSpec s;
  s.width = 8;
  s.height = 9;  // not a whole number of blocks
  s.components = 1;
  for (int i = 0; i < 72; ++i) {
    s.samples.push_back(i < 36 ? 40 : 200);
  }
  const std::optional<Bitmap> bmp = decodeJpeg(makeJpeg(s));
  ASSERT_TRUE(bmp.has_value());
  EXPECT_EQ(bmp->height, 9);
  EXPECT_TRUE(near(bmp->pixel(3, 0), 0x282828));
  EXPECT_TRUE(near(bmp->pixel(3, 8), 0xC8C8C8));
}

TEST(Jpeg, AdobeCmykIsStoredInverted) {
  JpegSpec s;
  s.width = 8;
  s.height = 8;
  s.components = 4;
  for (int i = 0; i < 64; ++i) {
    // With the Adobe marker the stored values are 255 minus the ink: full magenta and yellow.
    s.samples.insert(s.samples.end(), {255, 0, 0, 255});
  }
  const std::optional<Bitmap> bmp = decodeJpeg(makeJpeg(s));
  ASSERT_TRUE(bmp.has_value());
  EXPECT_TRUE(near(bmp->pixel(4, 4), 0xFF0000));
}

TEST(Jpeg, ExtraBytesBeforeAMarkerStillDecode) {
  std::vector<std::uint8_t> file = makeJpeg(twoColourJpeg(16, 16, 0x00FF00, 0x00FF00));
  ASSERT_EQ(file[file.size() - 2], 0xFF);
  file.insert(file.end() - 2, {0x12, 0x34, 0x56});
  const std::optional<Bitmap> bmp = decodeJpeg(file);
  ASSERT_TRUE(bmp.has_value());
  EXPECT_TRUE(near(bmp->pixel(8, 8), 0x00FF00));
}

std::vector<std::uint8_t> withSize(std::vector<std::uint8_t> file, int width, int height) {
  // Rewrites the frame header (SOF0..SOF2) sizes.
  for (std::size_t i = 0; i + 8 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] >= 0xC0 && file[i + 1] <= 0xC2) {
      file[i + 5] = static_cast<std::uint8_t>(height >> 8);
      file[i + 6] = static_cast<std::uint8_t>(height);
      file[i + 7] = static_cast<std::uint8_t>(width >> 8);
      file[i + 8] = static_cast<std::uint8_t>(width);
      break;
    }
  }
  return file;
}

TEST(Jpeg, BrokenFilesFailWithoutEndingTheProgram) {
  const std::vector<std::uint8_t> good = makeJpeg(twoColourJpeg(64, 64, 0x808080, 0x204060));
  ASSERT_TRUE(decodeJpeg(good).has_value());

  std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
  EXPECT_FALSE(decodeJpeg(cut).has_value()) << "truncated in the scan";
  std::vector<std::uint8_t> headerOnly(good.begin(), good.begin() + 20);
  EXPECT_FALSE(decodeJpeg(headerOnly).has_value()) << "truncated in the headers";
  EXPECT_FALSE(decodeJpeg(std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF, 0xFF, 0xFF}).has_value());
  EXPECT_FALSE(decodeJpeg(std::vector<std::uint8_t>{}).has_value());
  const std::string text = "not a picture at all";
  EXPECT_FALSE(decodeJpeg(std::vector<std::uint8_t>(text.begin(), text.end())).has_value());
  // A header claiming 60000 x 60000 pixels is refused before anything is allocated.
  EXPECT_FALSE(decodeJpeg(withSize(good, 60000, 60000)).has_value());
  EXPECT_FALSE(decodeJpeg(withSize(good, 0, 64)).has_value());
}

}  // namespace
}  // namespace dravolin::testing
