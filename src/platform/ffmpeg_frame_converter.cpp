#include "platform/ffmpeg_frame_converter.h"

#include "platform/ffmpeg_fields.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace dravolin::platform {

void FfmpegFrameConverter::ScalerFreer::operator()(SwsContext* scaler) const {
  sws_freeContext(scaler);
}

FfmpegFrameConverter::FfmpegFrameConverter() = default;

FfmpegFrameConverter::~FfmpegFrameConverter() = default;

namespace {

// The full-range ("J") pixel formats of the JPEG decoders are their limited-range twins read
// with full range; the scaler wants them named that way.
AVPixelFormat withoutFullRangeAlias(AVPixelFormat format, bool& fullRange) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P:
      fullRange = true;
      return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
      fullRange = true;
      return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
      fullRange = true;
      return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
      fullRange = true;
      return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
      fullRange = true;
      return AV_PIX_FMT_YUV411P;
    default:
      return format;
  }
}

}  // namespace

bool FfmpegFrameConverter::convert(const AVFrame& frame, Bitmap& bitmap) {
  const int w = frame.width;
  const int h = frame.height;
  const PictureColours colours = pictureColours(frame);
  if (w <= 0 || h <= 0 || colours.pixelFormat == AV_PIX_FMT_NONE) return false;
  bool fullRange = colours.fullRange;
  const AVPixelFormat source = withoutFullRangeAlias(colours.pixelFormat, fullRange);
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(source);
  if (descriptor == nullptr) return false;
  const bool yuv = (descriptor->flags & AV_PIX_FMT_FLAG_RGB) == 0 && descriptor->nb_components >= 3;
  const int matrix = colours.bt709 ? SWS_CS_ITU709 : SWS_CS_ITU601;
  const Setting setting{w, h, static_cast<int>(source),
                        yuv ? matrix * 2 + (fullRange ? 1 : 0) : -1};
  if (!scaler_ || !(setting == setting_)) {
    // The picture keeps its size. The fast flag keeps the scaler on its SIMD colour conversion
    // (chroma not interpolated sideways), about a third quicker than the exact one.
    scaler_.reset(sws_getContext(w, h, source, w, h, AV_PIX_FMT_RGB32, SWS_FAST_BILINEAR, nullptr,
                                 nullptr, nullptr));
    if (!scaler_) return false;
    if (yuv) {
      sws_setColorspaceDetails(scaler_.get(), sws_getCoefficients(matrix), fullRange ? 1 : 0,
                               sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
    setting_ = setting;
  }
  bitmap.width = w;
  bitmap.height = h;
  // The scaler's SIMD colour conversion works in blocks of up to 16 pixels. On rows narrower
  // than a whole number of blocks it leaves the last pixels of a row unwritten, and it writes
  // up to 60 bytes past the last row. So the rows are scaled 16-pixel aligned, with a slack
  // behind them that holds a guard value, then moved together and cut to the picture's size.
  // The vector keeps its capacity, so a run of frames of one size allocates once.
  const std::size_t rowPixels = (static_cast<std::size_t>(w) + 15) / 16 * 16;
  const std::size_t scaled = rowPixels * static_cast<std::size_t>(h);
  bitmap.pixels.resize(scaled);
  bitmap.pixels.resize(scaled + kScalerSlackPixels, kScalerGuard);
  std::uint8_t* planes[4] = {reinterpret_cast<std::uint8_t*>(bitmap.pixels.data()), nullptr,
                             nullptr, nullptr};
  const int strides[4] = {static_cast<int>(rowPixels * 4), 0, 0, 0};
  const int rows = sws_scale(scaler_.get(), frame.data, frame.linesize, 0, h, planes, strides);
  // The far half of the slack must keep its guard: a scaler that wrote that far may have written
  // past the slack as well, into memory that is not ours to repair, and the frame is refused.
  const bool guardKept = std::all_of(bitmap.pixels.end() - kScalerGuardPixels, bitmap.pixels.end(),
                                     [](std::uint32_t p) { return p == kScalerGuard; });
  if (rowPixels != static_cast<std::size_t>(w)) {
    std::uint32_t* pixels = bitmap.pixels.data();
    for (std::size_t row = 1; row < static_cast<std::size_t>(h); ++row) {
      std::memmove(pixels + row * static_cast<std::size_t>(w), pixels + row * rowPixels,
                   static_cast<std::size_t>(w) * sizeof(std::uint32_t));
    }
  }
  bitmap.pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  if (rows != h || !guardKept) return false;
  if ((descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) != 0) {
    for (std::uint32_t& pixel : bitmap.pixels) pixel |= 0xFF000000u;  // pictures are opaque
  }
  return true;
}

}  // namespace dravolin::platform
