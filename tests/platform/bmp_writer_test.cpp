// The 24-bit BMP writer: header fields, bottom-up rows, blue-green-red order, row padding.
#include "platform/bmp_writer.h"

#include "platform/bmp_reader.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <utility>

namespace dravolin::testing {
namespace {

using platform::Bitmap;
using platform::encodeBmp24;

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

Bitmap makeBitmap(int width, int height) {
  Bitmap bitmap;
  bitmap.width = width;
  bitmap.height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      // Red carries x, green carries y, blue a constant; alpha is dropped by the writer.
      bitmap.pixels.push_back(0x80000000u | (static_cast<std::uint32_t>(x + 1) << 16) |
                              (static_cast<std::uint32_t>(y + 1) << 8) | 0x5Au);
    }
  }
  return bitmap;
}

TEST(BmpWriter, WritesAStandardBottomUpFileWithPaddedRows) {
  struct Case {
    int width, height, rowBytes;
  };
  for (const Case c :
       {Case{1, 1, 4}, Case{3, 2, 12}, Case{4, 3, 12}, Case{5, 2, 16}, Case{2, 5, 8}}) {
    const std::vector<std::uint8_t> file = encodeBmp24(makeBitmap(c.width, c.height));
    const std::size_t size = 54 + static_cast<std::size_t>(c.rowBytes) * c.height;
    ASSERT_EQ(file.size(), size) << c.width << "x" << c.height;
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(le32(file, 2), size);
    EXPECT_EQ(le32(file, 6), 0u);  // reserved
    EXPECT_EQ(le32(file, 10), 54u);
    EXPECT_EQ(le32(file, 14), 40u);
    EXPECT_EQ(le32(file, 18), static_cast<std::uint32_t>(c.width));
    EXPECT_EQ(le32(file, 22), static_cast<std::uint32_t>(c.height)) << "positive: bottom-up";
    EXPECT_EQ(le16(file, 26), 1);
    EXPECT_EQ(le16(file, 28), 24);
    EXPECT_EQ(le32(file, 30), 0u);
    EXPECT_EQ(le32(file, 34), static_cast<std::uint32_t>(c.rowBytes * c.height));
    EXPECT_EQ(le32(file, 46), 0u) << "no palette";
    for (int y = 0; y < c.height; ++y) {
      // The file's first row is the picture's bottom row.
      const std::size_t row = 54 + static_cast<std::size_t>(c.height - 1 - y) * c.rowBytes;
      for (int x = 0; x < c.width; ++x) {
        EXPECT_EQ(file[row + 3 * x], 0x5A) << "blue first";
        EXPECT_EQ(file[row + 3 * x + 1], y + 1) << "green";
        EXPECT_EQ(file[row + 3 * x + 2], x + 1) << "red last";
      }
      for (int pad = 3 * c.width; pad < c.rowBytes; ++pad) EXPECT_EQ(file[row + pad], 0);
    }
  }
}

TEST(BmpWriter, ThePictureReaderReadsBackTheSamePixels) {
  for (const auto& [width, height] : {std::pair{1, 1}, std::pair{3, 2}, std::pair{7, 5}}) {
    const Bitmap original = makeBitmap(width, height);
    const std::vector<std::uint8_t> file = encodeBmp24(original);
    const std::optional<Bitmap> read = platform::decodeBmp(file);
    ASSERT_TRUE(read.has_value()) << width << "x" << height;
    ASSERT_EQ(read->width, width);
    ASSERT_EQ(read->height, height);
    for (std::size_t i = 0; i < original.pixels.size(); ++i) {
      // The writer drops alpha; the reader makes every pixel opaque.
      EXPECT_EQ(read->pixels[i], original.pixels[i] | 0xFF000000u) << i;
    }
  }
}

TEST(BmpWriter, WritesNothingForABitmapItCannotDescribe) {
  Bitmap shortPixels = makeBitmap(4, 4);
  shortPixels.pixels.pop_back();
  Bitmap huge;
  huge.width = std::numeric_limits<int>::max();
  huge.height = std::numeric_limits<int>::max();
  for (const Bitmap& bitmap : {Bitmap{}, makeBitmap(0, 3), makeBitmap(3, 0), shortPixels, huge}) {
    EXPECT_TRUE(encodeBmp24(bitmap).empty()) << bitmap.width << "x" << bitmap.height;
  }
}

}  // namespace
}  // namespace dravolin::testing
