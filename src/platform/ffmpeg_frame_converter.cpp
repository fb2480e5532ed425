#include "platform/ffmpeg_frame_converter.h"

#include "platform/ffmpeg_fields.h"
#include "platform/plane_halving.h"

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

void FfmpegFrameConverter::FrameFreer::operator()(AVFrame* frame) const { av_frame_free(&frame); }

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

// The scaler's filters. At the picture's own size the fast one keeps the scaler on its SIMD
// colour conversion (chroma not interpolated sideways), about a third quicker than the exact one.
// A picture made smaller is averaged over the pixels each one covers (no shimmer on fine
// detail as the picture moves); one made larger by a whole factor keeps its pixels sharp, as
// the cab's own pictures are enlarged; any other enlargement is smoothed.
constexpr int kOwnSize = SWS_FAST_BILINEAR;
constexpr int kSmaller = SWS_AREA;
constexpr int kWholePixels = SWS_POINT;
constexpr int kLarger = SWS_BICUBIC;

}  // namespace

bool FfmpegFrameConverter::scale(Scaler& scaler, const AVFrame& frame, int cropTop, int rows,
                                 int outWidth, int outHeight, int filter, Bitmap& bitmap) {
  const int w = frame.width;
  const int h = frame.height;
  const PictureColours colours = pictureColours(frame);
  if (w <= 0 || h <= 0 || outWidth <= 0 || outHeight <= 0 ||
      colours.pixelFormat == AV_PIX_FMT_NONE) {
    return false;
  }
  bool fullRange = colours.fullRange;
  const AVPixelFormat source = withoutFullRangeAlias(colours.pixelFormat, fullRange);
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(source);
  if (descriptor == nullptr) return false;
  const bool yuv = (descriptor->flags & AV_PIX_FMT_FLAG_RGB) == 0 && descriptor->nb_components >= 3;
  const int matrix = colours.bt709 ? SWS_CS_ITU709 : colours.bt2020 ? SWS_CS_BT2020 : SWS_CS_ITU601;

  // The rows shown start at a whole row of the chroma planes, so that both kinds of plane start
  // at the same place of the picture.
  const int chromaRows = 1 << descriptor->log2_chroma_h;
  cropTop = std::clamp(cropTop / chromaRows * chromaRows, 0, h - 1);
  rows = std::clamp(rows, 1, h - cropTop);
  const std::uint8_t* planesIn[4] = {};
  for (int plane = 0; plane < 4; ++plane) {
    if (frame.data[plane] == nullptr) continue;
    const bool chroma = yuv && plane != descriptor->comp[0].plane &&
                        (plane == descriptor->comp[1].plane || plane == descriptor->comp[2].plane);
    const bool named = plane == descriptor->comp[0].plane || plane == descriptor->comp[1].plane ||
                       plane == descriptor->comp[2].plane ||
                       (descriptor->nb_components > 3 && plane == descriptor->comp[3].plane);
    // A plane no component names (a palette) is passed as it is.
    const int skipped = !named ? 0 : chroma ? cropTop >> descriptor->log2_chroma_h : cropTop;
    planesIn[plane] =
        frame.data[plane] + static_cast<std::ptrdiff_t>(skipped) * frame.linesize[plane];
  }

  const Setting setting{w,
                        rows,
                        static_cast<int>(source),
                        yuv ? matrix * 2 + (fullRange ? 1 : 0) : -1,
                        outWidth,
                        outHeight,
                        filter};
  if (!scaler.context || !(setting == scaler.setting)) {
    scaler.context.reset(sws_getContext(w, rows, source, outWidth, outHeight, AV_PIX_FMT_RGB32,
                                        filter, nullptr, nullptr, nullptr));
    if (!scaler.context) return false;
    if (yuv) {
      sws_setColorspaceDetails(scaler.context.get(), sws_getCoefficients(matrix), fullRange ? 1 : 0,
                               sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
    scaler.setting = setting;
  }
  bitmap.width = outWidth;
  bitmap.height = outHeight;
  // The scaler's SIMD colour conversion works in blocks of up to 16 pixels. On rows narrower
  // than a whole number of blocks it leaves the last pixels of a row unwritten, and it writes
  // up to 60 bytes past the last row. So the rows are scaled 16-pixel aligned, with a slack
  // behind them that holds a guard value, then moved together and cut to the picture's size.
  // The vector keeps its capacity, so a run of frames of one size allocates once.
  const std::size_t rowPixels = (static_cast<std::size_t>(outWidth) + 15) / 16 * 16;
  const std::size_t scaled = rowPixels * static_cast<std::size_t>(outHeight);
  bitmap.pixels.resize(scaled);
  bitmap.pixels.resize(scaled + kScalerSlackPixels, kScalerGuard);
  std::uint8_t* planesOut[4] = {reinterpret_cast<std::uint8_t*>(bitmap.pixels.data()), nullptr,
                                nullptr, nullptr};
  const int strides[4] = {static_cast<int>(rowPixels * 4), 0, 0, 0};
  const int done =
      sws_scale(scaler.context.get(), planesIn, frame.linesize, 0, rows, planesOut, strides);
  // The far half of the slack must keep its guard: a scaler that wrote that far may have written
  // past the slack as well, into memory that is not ours to repair, and the frame is refused.
  const bool guardKept = std::all_of(bitmap.pixels.end() - kScalerGuardPixels, bitmap.pixels.end(),
                                     [](std::uint32_t p) { return p == kScalerGuard; });
  const auto width = static_cast<std::size_t>(outWidth);
  if (rowPixels != width) {
    std::uint32_t* pixels = bitmap.pixels.data();
    for (std::size_t row = 1; row < static_cast<std::size_t>(outHeight); ++row) {
      std::memmove(pixels + row * width, pixels + row * rowPixels, width * sizeof(std::uint32_t));
    }
  }
  bitmap.pixels.resize(width * static_cast<std::size_t>(outHeight));
  if (done != outHeight || !guardKept) return false;
  if ((descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) != 0) {
    for (std::uint32_t& pixel : bitmap.pixels) pixel |= 0xFF000000u;  // pictures are opaque
  }
  return true;
}

bool FfmpegFrameConverter::convert(const AVFrame& frame, Bitmap& bitmap) {
  return scale(whole_, frame, 0, frame.height, frame.width, frame.height, kOwnSize, bitmap);
}

const AVFrame* FfmpegFrameConverter::halvedForView(const AVFrame& frame, const VideoPlacement& at) {
  const AVPixelFormat format = pictureColours(frame).pixelFormat;
  if (format != AV_PIX_FMT_YUV420P && format != AV_PIX_FMT_YUVJ420P) return nullptr;
  const AVFrame* source = &frame;
  // The rows start on a chroma row; each halving takes whole 2 x 2 blocks of the chroma planes
  // too, so the sides are cut to multiples of 4 (at most 3 rows or columns of the picture).
  int top = std::clamp(at.cropTop, 0, frame.height) / 2 * 2;
  int rows = std::min(at.cropHeight, frame.height - top);
  for (auto& halved : halved_) {
    const int width = source->width / 4 * 4;
    rows = rows / 4 * 4;
    if (width / 2 < at.width || rows / 2 < at.height || rows < 4 || width < 4) break;
    if (!halved) halved.reset(av_frame_alloc());
    if (!halved) break;
    AVFrame& out = *halved;
    if (out.width != width / 2 || out.height != rows / 2 || out.format != format) {
      av_frame_unref(&out);
      out.width = width / 2;
      out.height = rows / 2;
      out.format = format;
      if (av_frame_get_buffer(&out, 0) < 0) break;
    }
    // The colour fields as numbers: a damaged file may have put any number there.
    std::memcpy(&out.colorspace, &frame.colorspace, sizeof out.colorspace);
    std::memcpy(&out.color_range, &frame.color_range, sizeof out.color_range);
    for (int plane = 0; plane < 3; ++plane) {
      const int shift = plane == 0 ? 0 : 1;
      halvePlane(
          source->data[plane] + static_cast<std::ptrdiff_t>(top >> shift) * source->linesize[plane],
          source->linesize[plane], width >> shift, rows >> shift, out.data[plane],
          out.linesize[plane]);
    }
    source = &out;
    top = 0;
    rows = out.height;
  }
  return source == &frame ? nullptr : source;
}

bool FfmpegFrameConverter::convertForView(const AVFrame& frame, const VideoView& view,
                                          ViewPicture& out) {
  const VideoPlacement at = placeVideo(frame.width, frame.height, view);
  if (at.width <= 0 || at.height <= 0) return false;
  const bool ownSize = at.width == frame.width && at.height == at.cropHeight;
  const int filter = ownSize                  ? kOwnSize
                     : at.byWholePixels       ? kWholePixels
                     : at.width < frame.width ? kSmaller
                                              : kLarger;
  const AVFrame* halved = filter == kSmaller ? halvedForView(frame, at) : nullptr;
  const bool scaled =
      halved != nullptr
          ? scale(view_, *halved, 0, halved->height, at.width, at.height,
                  halved->width == at.width && halved->height == at.height ? kOwnSize : kSmaller,
                  out.pixels)
          : scale(view_, frame, at.cropTop, at.cropHeight, at.width, at.height, filter, out.pixels);
  if (!scaled) return false;
  out.view = view;
  out.x = at.x;
  out.y = at.y;
  return true;
}

}  // namespace dravolin::platform
