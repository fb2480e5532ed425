// JPEG decoding from bytes in memory through libjpeg-turbo: the title picture and any panel or
// timetable picture given as a JPEG file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "platform/bitmap.h"

namespace dravolin::platform {

// True when the bytes start like a JPEG file (a start-of-image marker followed by a marker).
bool looksLikeJpeg(std::span<const std::uint8_t> data);

// Decodes a baseline, progressive or arithmetic-coded JPEG in grey, YCbCr, RGB, CMYK or YCCK.
// std::nullopt for a broken or truncated file, a picture beyond kMaxPictureSide or
// kMaxPicturePixels, or a file of more than 1000 scans. Libjpeg's warnings about recoverable
// damage (extra bytes before a marker and the like) do not fail the picture; its messages are
// never printed.
std::optional<Bitmap> decodeJpeg(std::span<const std::uint8_t> data);

}  // namespace dravolin::platform
