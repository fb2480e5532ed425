// Windows BMP decoding from bytes in memory: the panel, lamp, needle and indication pictures that
// the data files name. Decodes every layout that picture editors write: 1, 4 and 8 bits with a
// palette, RLE4 and RLE8, 16 bits (5-5-5 or bit fields), 24 and 32 bits (plain or bit fields),
// bottom-up and top-down rows, with the Windows info headers (40 to 124 bytes), the old OS/2 core
// header (12 bytes) and the OS/2 2.x header (16 to 64 bytes).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/bitmap.h"

namespace dravolin::platform {

// Largest picture either decoder will produce, in pixels per side and in total. Bounds what a
// broken header can make the decoder allocate.
inline constexpr int kMaxPictureSide = 16384;
inline constexpr std::int64_t kMaxPicturePixels = std::int64_t{1} << 25;

// True when the bytes start like a BMP file ("BM").
bool looksLikeBmp(std::span<const std::uint8_t> data);

// Decodes a whole BMP file. std::nullopt for anything it cannot decode: a truncated file, a
// header out of range, a compression it does not know (embedded JPEG or PNG, OS/2 Huffman).
// Never reads outside `data`. Pixels that an RLE picture leaves unwritten are black.
std::optional<Bitmap> decodeBmp(std::span<const std::uint8_t> data);

}  // namespace dravolin::platform
