#include "platform/video_view.h"

#include <algorithm>
#include <cstdint>

namespace dravolin::platform {

namespace {

// a x b / c rounded to the nearest whole number, at least 1.
int scaled(std::int64_t a, std::int64_t b, std::int64_t c) {
  return static_cast<int>(std::max<std::int64_t>(1, (a * b + c / 2) / c));
}

}  // namespace

VideoPlacement placeVideo(int pictureWidth, int pictureHeight, const VideoView& view) {
  VideoPlacement p;
  if (pictureWidth <= 0 || pictureHeight <= 0 || view.empty()) return p;
  const std::int64_t w = pictureWidth;
  const std::int64_t h = pictureHeight;
  const std::int64_t viewW = view.width;
  const std::int64_t viewH = view.height;
  p.cropHeight = pictureHeight;
  if (w <= VideoView::kModelWidth && h <= VideoView::kModelHeight) {
    // As it was made: the top-left corner, enlarged by the view's factor.
    p.width = std::min(view.width, scaled(w, viewW, VideoView::kModelWidth));
    p.height = std::min(view.height, scaled(h, viewH, VideoView::kModelHeight));
    p.byWholePixels = viewW % VideoView::kModelWidth == 0 &&
                      viewW / VideoView::kModelWidth * VideoView::kModelHeight == viewH;
    return p;
  }
  // Whether the picture is at least as tall as the view for its width (h / w >= viewH / viewW).
  const bool tall = h * viewW >= viewH * w;
  if (view.fit == VideoFit::FillWidth && tall) {
    // The width filled; the rows that fit are the middle ones.
    p.width = view.width;
    p.height = view.height;
    p.cropHeight = std::min(pictureHeight, scaled(viewH, w, viewW));
    p.cropTop = (pictureHeight - p.cropHeight) / 2;
  } else if (view.fit == VideoFit::Whole && tall) {
    // The height filled, bars left and right.
    p.height = view.height;
    p.width = std::min(view.width, scaled(w, viewH, h));
    p.x = (view.width - p.width) / 2;
  } else {
    // Wider than the view for its height: either way the width is filled, bars above and below.
    p.width = view.width;
    p.height = std::min(view.height, scaled(h, viewW, w));
    p.y = (view.height - p.height) / 2;
  }
  return p;
}

}  // namespace dravolin::platform
