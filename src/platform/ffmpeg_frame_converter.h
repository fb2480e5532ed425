// Turns a picture decoded by FFmpeg into a Bitmap: 0xAARRGGBB rows top-down, opaque, either at
// the picture's own size or scaled for the cab view (the part that is shown, straight from the
// decoded picture to the view's pixels, in one pass of FFmpeg's scaler). Used by the FFmpeg
// video reader; includes FFmpeg headers, so only the platform library's own sources include it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/bitmap.h"
#include "platform/video_view.h"

struct AVFrame;
struct SwsContext;

namespace dravolin::platform {

class FfmpegFrameConverter {
 public:
  FfmpegFrameConverter();
  ~FfmpegFrameConverter();
  FfmpegFrameConverter(const FfmpegFrameConverter&) = delete;
  FfmpegFrameConverter& operator=(const FfmpegFrameConverter&) = delete;

  // The picture at its own size. False (and the bitmap in an unspecified state) when the picture
  // has no size or a pixel format the scaler cannot read.
  bool convert(const AVFrame& picture, Bitmap& bitmap);

  // The picture placed on `view` (placeVideo()): `out` gets the pixels of the placed rectangle
  // and its place; its frame number is left as it is. False as convert() is, or for an empty
  // view.
  bool convertForView(const AVFrame& picture, const VideoView& view, ViewPicture& out);

  // Pixels of slack behind the last scaled row that the scaler may write into (a block is at most
  // 16 pixels), how many at the far end must keep the guard, and the guard value.
  static constexpr std::size_t kScalerSlackPixels = 64;
  static constexpr std::ptrdiff_t kScalerGuardPixels = 32;
  static constexpr std::uint32_t kScalerGuard = 0x5A17C0DEu;

 private:
  struct ScalerFreer {
    void operator()(SwsContext* scaler) const;
  };
  struct FrameFreer {
    void operator()(AVFrame* frame) const;
  };
  // What a scaler was made for: the picture's size in pixels and the rows of it scaled, its
  // pixel format, colour matrix and range, the size scaled to and the filter.
  struct Setting {
    int width = 0;
    int rows = 0;
    int format = -1;
    int colours = -1;
    int outWidth = 0;
    int outHeight = 0;
    int filter = 0;
    bool operator==(const Setting&) const = default;
  };
  struct Scaler {
    std::unique_ptr<SwsContext, ScalerFreer> context;
    Setting setting;
  };
  // Scales rows [cropTop, cropTop + rows) of the picture to outWidth x outHeight into `bitmap`.
  bool scale(Scaler& scaler, const AVFrame& picture, int cropTop, int rows, int outWidth,
             int outHeight, int filter, Bitmap& bitmap);

  // The placed rows of a 4:2:0 picture halved once or twice (while the view needs at most half
  // of each side), or null when it is not halved: the scaler then has the rest to do.
  const AVFrame* halvedForView(const AVFrame& picture, const VideoPlacement& at);

  Scaler whole_;                                    // pictures at their own size
  Scaler view_;                                     // pictures for the cab view
  std::unique_ptr<AVFrame, FrameFreer> halved_[2];  // kept for the next picture of the size
};

}  // namespace dravolin::platform
