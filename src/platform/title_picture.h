// The title screen's picture of a line made from a ride: a frame of its footage filling the
// 640 x 480 title (scaled to cover it, the middle kept) with the line's name drawn large across
// it, as a JPEG file. Drawn with Qt's painter and fonts: a QGuiApplication must exist (the tool
// makes one on the offscreen platform).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/bitmap.h"

namespace dravolin::platform {

inline constexpr int kTitlePictureWidth = 640;
inline constexpr int kTitlePictureHeight = 480;

// The JPEG file's bytes; empty when it cannot be encoded.
std::vector<std::uint8_t> drawTitlePicture(const Bitmap& frame, const std::string& lineNameUtf8);

}  // namespace dravolin::platform
