// A picture in memory: what the picture loader reads from BMP and JPEG files, what the video
// reader decodes a frame into and what the cab-view surface draws.
#pragma once

#include <cstdint>
#include <vector>

namespace dravolin::platform {

struct Bitmap {
  int width = 0;
  int height = 0;
  // Rows top to bottom, each `width` pixels of 0xAARRGGBB; alpha is always 0xFF (opaque). This is
  // the layout of QImage::Format_RGB32 and Format_ARGB32, so the shell can wrap it without copying.
  std::vector<std::uint32_t> pixels;

  bool empty() const { return width <= 0 || height <= 0; }
  std::uint32_t pixel(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
};

}  // namespace dravolin::platform
