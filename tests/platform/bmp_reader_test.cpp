#include "platform/bmp_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/bmp_builder.h"

namespace dravolin::testing {
namespace {

using platform::Bitmap;
using platform::decodeBmp;

constexpr std::uint32_t R = 0xFFFF0000u, G = 0xFF00FF00u, B = 0xFF0000FFu, K = 0xFF000000u,
                        W = 0xFFFFFFFFu;

std::vector<std::uint32_t> pixelsOf(const std::vector<std::uint8_t>& file) {
  const std::optional<Bitmap> bmp = decodeBmp(file);
  if (!bmp) {
    return {};
  }
  return bmp->pixels;
}

struct DecodeCase {
  std::string name;
  BmpSpec spec;
  int width;
  int height;
  std::vector<std::uint32_t> expected;  // top-down
};

class BmpDecodes : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(BmpDecodes, ToTopDownOpaquePixels) {
  const DecodeCase& c = GetParam();
  const std::optional<Bitmap> bmp = decodeBmp(makeBmp(c.spec));
  ASSERT_TRUE(bmp.has_value());
  EXPECT_EQ(bmp->width, c.width);
  EXPECT_EQ(bmp->height, c.height);
  EXPECT_EQ(bmp->pixels, c.expected);
}

BmpSpec spec(std::uint32_t headerSize, int w, int h, std::uint16_t bits,
             std::vector<std::uint8_t> pixels, std::vector<std::uint32_t> palette = {},
             std::uint32_t compression = 0, std::vector<std::uint32_t> masks = {}) {
  BmpSpec s;
  s.headerSize = headerSize;
  s.width = w;
  s.height = h;
  s.bitsPerPixel = bits;
  s.pixels = std::move(pixels);
  s.palette = std::move(palette);
  s.compression = compression;
  s.masks = std::move(masks);
  return s;
}

const std::vector<std::uint32_t> kRgbk = {0xFF0000, 0x00FF00, 0x0000FF, 0x000000};

INSTANTIATE_TEST_SUITE_P(
    Layouts, BmpDecodes,
    ::testing::Values(
        // Bottom-up: the first stored row is the lowest. 1 bit, most significant bit first,
        // rows padded to four bytes.
        DecodeCase{
            "OneBitBottomUp",
            spec(40, 3, 2, 1, {0b10100000, 0, 0, 0, 0b01000000, 0, 0, 0}, {0x000000, 0xFFFFFF}),
            3,
            2,
            {K, W, K, W, K, W}},
        DecodeCase{"FourBitHighNibbleFirst",
                   spec(40, 3, 1, 4, {0x01, 0x20, 0, 0}, kRgbk),
                   3,
                   1,
                   {R, G, B}},
        DecodeCase{"EightBitTopDown",
                   spec(40, 2, -2, 8, {0, 1, 0, 0, 2, 3, 0, 0}, kRgbk),
                   2,
                   2,
                   {R, G, B, K}},
        // An index beyond the palette shows black.
        DecodeCase{"IndexPastPaletteIsBlack",
                   spec(40, 2, 1, 8, {1, 7, 0, 0}, {0xFFFFFF, 0x00FF00}),
                   2,
                   1,
                   {G, K}},
        DecodeCase{"TwentyFourBitPaddedRows",
                   spec(40, 2, 2, 24, {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0}),
                   2,
                   2,
                   {B, W, R, G}},
        DecodeCase{"ThirtyTwoBitIgnoresFourthByte",
                   spec(40, 2, 1, 32, {1, 2, 3, 0, 255, 0, 0, 77}),
                   2,
                   1,
                   {0xFF030201u, B}},
        // 16 bits without masks are 5-5-5; 31 scales to 255 and 16 to 132.
        DecodeCase{"SixteenBitDefaultIs555",
                   spec(40, 3, 1, 16, {0xFF, 0x7F, 0x00, 0x7C, 0x10, 0x42, 0, 0}),
                   3,
                   1,
                   {W, R, 0xFF848484u}},
        DecodeCase{"SixteenBit565MasksAfterInfoHeader",
                   spec(40, 2, 1, 16, {0xE0, 0x07, 0x1F, 0x00}, {}, 3, {0xF800, 0x07E0, 0x001F}),
                   2,
                   1,
                   {G, B}},
        DecodeCase{"ThirtyTwoBitMasksInsideV5Header",
                   spec(124, 1, 1, 32, {0x11, 0x22, 0x33, 0x44}, {}, 3,
                        {0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF}),
                   1,
                   1,
                   {0xFF223344u}},
        DecodeCase{"AlphaBitfieldsReadFourMasks",
                   spec(40, 1, 1, 32, {0x10, 0x20, 0x30, 0x40}, {}, 6,
                        {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}),
                   1,
                   1,
                   {0xFF102030u}},
        // The OS/2 core header has 16-bit sizes and three-byte palette entries.
        DecodeCase{"CoreHeaderEightBit", spec(12, 2, 1, 8, {2, 0, 0, 0}, kRgbk), 2, 1, {B, R}},
        DecodeCase{"CoreHeaderTwentyFourBit", spec(12, 1, 1, 24, {0, 255, 0, 0}), 1, 1, {G}},
        DecodeCase{"Os2v2Header", spec(64, 2, 1, 4, {0x31, 0, 0, 0}, kRgbk), 2, 1, {K, G}},
        // RLE8: a run of 3, end of line, a literal run of 3 (padded), a move of (0, 1), a run of
        // 1, end of picture. Pixels never written stay black.
        DecodeCase{
            "Rle8RunsLiteralsAndMoves",
            spec(40, 4, 3, 8, {3, 1, 0, 0, 0, 3, 2, 0, 1, 0, 0, 2, 0, 1, 1, 2, 0, 1}, kRgbk, 1),
            4,
            3,
            {K, K, K, B, B, R, G, K, G, G, G, K}},
        // RLE8 moving up by one row skips it.
        DecodeCase{"Rle8MoveUpSkipsRow",
                   spec(40, 2, 3, 8, {2, 0, 0, 0, 0, 2, 0, 1, 2, 2, 0, 1}, kRgbk, 1),
                   2,
                   3,
                   {B, B, K, K, R, R}},
        // RLE4: runs alternate the two nibbles; a literal of 3 nibbles takes two bytes.
        DecodeCase{"Rle4AlternatesNibbles",
                   spec(40, 5, 2, 4, {5, 0x12, 0, 0, 0, 3, 0x30, 0x10, 0, 1}, kRgbk, 2),
                   5,
                   2,
                   {K, R, G, K, K, G, B, G, B, G}},
        // Runs past the right edge are dropped, not wrapped.
        DecodeCase{
            "Rle8ClipsAtRightEdge", spec(40, 2, 1, 8, {200, 1, 0, 1}, kRgbk, 1), 2, 1, {G, G}}),
    [](const ::testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

TEST(Bmp, LastRowMayLackItsPadding) {
  std::vector<std::uint8_t> file = makeBmp(spec(40, 1, 2, 24, {0, 0, 255, 0, 255, 0, 0}));
  EXPECT_EQ(pixelsOf(file), (std::vector<std::uint32_t>{B, R}));
  file.pop_back();
  EXPECT_FALSE(decodeBmp(file).has_value());
}

TEST(Bmp, TwentyFourBitRowsOfEveryWidthKeepEachPixel) {
  // Every pixel a different colour, in rows of one to nine pixels, the file ending right after
  // the last pixel of the top row: nothing of a neighbour or past the data may show.
  for (int width = 1; width <= 9; ++width) {
    SCOPED_TRACE(width);
    const int stride = (3 * width + 3) / 4 * 4;
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> bottomUp;
    for (int row = 0; row < 2; ++row) {
      for (int x = 0; x < width; ++x) {
        const std::uint8_t b = static_cast<std::uint8_t>(16 * row + x + 1);
        const std::uint8_t g = static_cast<std::uint8_t>(0x40 + b),
                           r = static_cast<std::uint8_t>(0x80 + b);
        bytes.insert(bytes.end(), {b, g, r});
        bottomUp.push_back(0xFF000000u | (std::uint32_t{r} << 16) | (std::uint32_t{g} << 8) | b);
      }
      if (row == 0) bytes.resize(static_cast<std::size_t>(stride), 0xEE);
    }
    std::vector<std::uint8_t> file = makeBmp(spec(40, width, 2, 24, bytes));
    std::vector<std::uint32_t> topDown(bottomUp.begin() + width, bottomUp.end());
    topDown.insert(topDown.end(), bottomUp.begin(), bottomUp.begin() + width);
    EXPECT_EQ(pixelsOf(file), topDown);
  }
}

TEST(Bmp, ZeroPixelOffsetMeansAfterPalette) {
  BmpSpec s = spec(40, 1, 1, 8, {1, 0, 0, 0}, kRgbk);
  s.colorsUsed = 4;
  s.dataOffset = 0;
  EXPECT_EQ(pixelsOf(makeBmp(s)), std::vector<std::uint32_t>{G});
}

TEST(Bmp, PaletteStopsAtPixelOffset) {
  // colorsUsed 0 claims 256 entries but the pixels start after two.
  BmpSpec s = spec(40, 2, 1, 8, {1, 2, 0, 0}, {0x0000FF, 0xFF0000});
  EXPECT_EQ(pixelsOf(makeBmp(s)), (std::vector<std::uint32_t>{R, K}));
}

struct RejectCase {
  std::string name;
  std::vector<std::uint8_t> file;
};

class BmpRejects : public ::testing::TestWithParam<RejectCase> {};

TEST_P(BmpRejects, WithoutReadingPastTheData) {
  EXPECT_FALSE(decodeBmp(GetParam().file).has_value());
}

std::vector<std::uint8_t> with(BmpSpec s, void (*change)(BmpSpec&)) {
  change(s);
  return makeBmp(s);
}

std::vector<std::uint8_t> truncated(std::vector<std::uint8_t> file, std::size_t size) {
  file.resize(size);
  return file;
}

const BmpSpec kSmall = spec(40, 2, 2, 24, std::vector<std::uint8_t>(16, 0));

INSTANTIATE_TEST_SUITE_P(
    Broken, BmpRejects,
    ::testing::Values(
        RejectCase{"Empty", {}},
        RejectCase{"NotBm", {'B', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0}},
        RejectCase{"CutInFileHeader", truncated(makeBmp(kSmall), 12)},
        RejectCase{"CutInInfoHeader", truncated(makeBmp(kSmall), 30)},
        RejectCase{"CutInPixels", truncated(makeBmp(kSmall), 14 + 40 + 9)},
        // A header that claims a picture far larger than the file must not be allocated.
        RejectCase{"HugeClaimedSize", with(kSmall,
                                           [](BmpSpec& s) {
                                             s.width = 4000;
                                             s.height = 4000;
                                           })},
        RejectCase{"PixelCountBeyondLimit", with(kSmall,
                                                 [](BmpSpec& s) {
                                                   s.width = 16000;
                                                   s.height = 16000;
                                                 })},
        RejectCase{"WidthBeyondLimit", with(kSmall,
                                            [](BmpSpec& s) {
                                              s.width = 40000;
                                              s.height = 1;
                                            })},
        RejectCase{"ZeroWidth", with(kSmall, [](BmpSpec& s) { s.width = 0; })},
        RejectCase{"NegativeWidth", with(kSmall, [](BmpSpec& s) { s.width = -2; })},
        RejectCase{"ZeroHeight", with(kSmall, [](BmpSpec& s) { s.height = 0; })},
        RejectCase{"MostNegativeHeight", with(kSmall, [](BmpSpec& s) { s.height = INT32_MIN; })},
        RejectCase{"UnknownHeaderSize", with(kSmall, [](BmpSpec& s) { s.headerSize = 200; })},
        RejectCase{"EmbeddedJpeg", with(kSmall, [](BmpSpec& s) { s.compression = 4; })},
        RejectCase{"Os2Huffman", with(kSmall,
                                      [](BmpSpec& s) {
                                        s.headerSize = 64;
                                        s.compression = 3;
                                        s.bitsPerPixel = 1;
                                      })},
        RejectCase{"BitfieldsWith24Bits", with(kSmall, [](BmpSpec& s) { s.compression = 3; })},
        RejectCase{"Rle8With4Bits", with(kSmall,
                                         [](BmpSpec& s) {
                                           s.compression = 1;
                                           s.bitsPerPixel = 4;
                                         })},
        RejectCase{"TwoBitDepth", with(kSmall, [](BmpSpec& s) { s.bitsPerPixel = 2; })},
        RejectCase{"MasksMissing",
                   truncated(makeBmp(spec(40, 1, 1, 16, {0, 0}, {}, 3, {0xF800, 0x7E0, 0x1F})),
                             14 + 40 + 8)},
        RejectCase{"PaletteMissing",
                   truncated(makeBmp(spec(40, 1, 1, 8, {0, 0, 0, 0}, kRgbk)), 14 + 40 + 6)},
        // RLE data that stops before its end marker with rows still to fill.
        RejectCase{"RleWithoutEnd", makeBmp(spec(40, 2, 2, 8, {2, 1, 0, 0}, kRgbk, 1))},
        RejectCase{"RleLiteralCut", makeBmp(spec(40, 4, 1, 8, {0, 4, 1, 1}, kRgbk, 1))},
        RejectCase{"RleMoveCut", makeBmp(spec(40, 4, 1, 8, {0, 2, 1}, kRgbk, 1))}),
    [](const ::testing::TestParamInfo<RejectCase>& info) { return info.param.name; });

}  // namespace
}  // namespace dravolin::testing
