// Writing a bitmap as a Windows BMP file: what the content tools save frames and pictures as.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/bitmap.h"

namespace dravolin::platform {

// The bytes of a standard 24-bit Windows BMP file of `bitmap`: 14-byte file header "BM", 40-byte
// information header, no palette, pixel data at offset 54, rows stored bottom-up, each row blue,
// green, red per pixel and padded with zeros to a multiple of 4 bytes. Alpha is dropped. Empty
// when the bitmap is empty, its pixel vector is shorter than width x height, or the file would
// not fit the format's 32-bit sizes.
std::vector<std::uint8_t> encodeBmp24(const Bitmap& bitmap);

}  // namespace dravolin::platform
