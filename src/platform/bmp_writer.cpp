#include "platform/bmp_writer.h"

#include <cstddef>
#include <limits>

namespace dravolin::platform {
namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;
constexpr std::size_t kPixelOffset = kFileHeaderBytes + kInfoHeaderBytes;

void putU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<std::uint8_t>(value & 0xFF);
  out[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

void putU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  putU16(out, at, value & 0xFFFF);
  putU16(out, at + 2, value >> 16);
}

}  // namespace

std::vector<std::uint8_t> encodeBmp24(const Bitmap& bitmap) {
  if (bitmap.empty()) return {};
  const auto width = static_cast<std::size_t>(bitmap.width);
  const auto height = static_cast<std::size_t>(bitmap.height);
  // Guard the products below against overflow before using them.
  constexpr std::size_t kMaxFile = std::numeric_limits<std::uint32_t>::max();
  if (width > kMaxFile / 3 / height) return {};
  if (bitmap.pixels.size() < width * height) return {};
  const std::size_t rowBytes = (width * 3 + 3) & ~std::size_t{3};
  if (rowBytes > (kMaxFile - kPixelOffset) / height) return {};
  const std::size_t imageBytes = rowBytes * height;
  const std::size_t fileBytes = kPixelOffset + imageBytes;

  std::vector<std::uint8_t> out(fileBytes, 0);
  out[0] = 'B';
  out[1] = 'M';
  putU32(out, 2, static_cast<std::uint32_t>(fileBytes));
  putU32(out, 10, static_cast<std::uint32_t>(kPixelOffset));
  putU32(out, 14, static_cast<std::uint32_t>(kInfoHeaderBytes));
  putU32(out, 18, static_cast<std::uint32_t>(width));
  putU32(out, 22, static_cast<std::uint32_t>(height));  // positive: rows stored bottom-up
  putU16(out, 26, 1);                                   // planes
  putU16(out, 28, 24);                                  // bits per pixel
  putU32(out, 30, 0);                                   // no compression
  putU32(out, 34, static_cast<std::uint32_t>(imageBytes));
  putU32(out, 38, 2835);  // 72 dots per inch, in dots per metre
  putU32(out, 42, 2835);

  for (std::size_t y = 0; y < height; ++y) {
    const std::uint32_t* source = bitmap.pixels.data() + y * width;
    std::uint8_t* row = out.data() + kPixelOffset + (height - 1 - y) * rowBytes;
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint32_t argb = source[x];
      row[3 * x] = static_cast<std::uint8_t>(argb & 0xFF);
      row[3 * x + 1] = static_cast<std::uint8_t>((argb >> 8) & 0xFF);
      row[3 * x + 2] = static_cast<std::uint8_t>((argb >> 16) & 0xFF);
    }
  }
  return out;
}

}  // namespace dravolin::platform
