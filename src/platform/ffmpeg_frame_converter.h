// Turns a picture decoded by FFmpeg into a Bitmap: 0xAARRGGBB rows top-down at the picture's own
// size, opaque. Used by the FFmpeg video reader; includes FFmpeg headers, so only the platform
// library's own sources include it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/bitmap.h"

struct AVFrame;
struct SwsContext;

namespace dravolin::platform {

class FfmpegFrameConverter {
 public:
  FfmpegFrameConverter();
  ~FfmpegFrameConverter();
  FfmpegFrameConverter(const FfmpegFrameConverter&) = delete;
  FfmpegFrameConverter& operator=(const FfmpegFrameConverter&) = delete;

  // False (and the bitmap in an unspecified state) when the picture has no size or a pixel
  // format the scaler cannot read.
  bool convert(const AVFrame& picture, Bitmap& bitmap);

  // Pixels of slack behind the last scaled row that the scaler may write into (a block is at most
  // 16 pixels), how many at the far end must keep the guard, and the guard value.
  static constexpr std::size_t kScalerSlackPixels = 64;
  static constexpr std::ptrdiff_t kScalerGuardPixels = 32;
  static constexpr std::uint32_t kScalerGuard = 0x5A17C0DEu;

 private:
  struct ScalerFreer {
    void operator()(SwsContext* scaler) const;
  };
  // What the scaler was made for: size in pixels, pixel format, colour matrix and range.
  struct Setting {
    int width = 0;
    int height = 0;
    int format = -1;
    int colours = -1;
    bool operator==(const Setting&) const = default;
  };
  std::unique_ptr<SwsContext, ScalerFreer> scaler_;
  Setting setting_;
};

}  // namespace dravolin::platform
