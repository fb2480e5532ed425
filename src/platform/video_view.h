// How the line video meets the cab view: the view's size in screen pixels (480 x 240 times the
// factor the cab is shown at), how a picture larger than 480 x 240 fits it, where a picture goes,
// and a finished picture of the view.
//
// A picture of 480 x 240 or smaller is shown as it was made: in the top-left corner, enlarged by
// the view's factor (by whole pixels when the factor is whole). A larger one keeps its aspect
// ratio: it fills the view's width and is cut equally at top and bottom (a picture wider than
// 2:1 leaves black bars above and below instead), or it is shown whole, centred on black bars.
#pragma once

#include "platform/bitmap.h"

namespace dravolin::platform {

enum class VideoFit {
  FillWidth,  // the width filled; what does not fit is cut equally at top and bottom
  Whole,      // the whole picture, centred on black bars
};

// The cab view's picture area in the pixels of the screen.
struct VideoView {
  static constexpr int kModelWidth = 480;   // px of the cab's model
  static constexpr int kModelHeight = 240;  // px of the cab's model

  int width = kModelWidth;
  int height = kModelHeight;
  VideoFit fit = VideoFit::FillWidth;

  bool operator==(const VideoView&) const = default;
  bool empty() const { return width <= 0 || height <= 0; }
};

// The view of a cab shown `factor` times as large (the window's scale or the full-screen factor,
// times the screen's device pixel ratio).
inline VideoView videoViewAt(double factor, VideoFit fit) {
  const auto px = [factor](int model) { return static_cast<int>(model * factor + 0.5); };
  return {px(VideoView::kModelWidth), px(VideoView::kModelHeight), fit};
}

// Where a picture of a video goes on the view.
struct VideoPlacement {
  int cropTop = 0;     // rows of the picture left out above what is shown
  int cropHeight = 0;  // rows of the picture shown (all its columns are)
  // The rectangle of the view they are scaled to, in view pixels; the rest of the view is black.
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  // Enlarged by whole pixels without smoothing (a small picture at a whole factor), as the cab
  // enlarges its own pictures.
  bool byWholePixels = false;

  bool operator==(const VideoPlacement&) const = default;
};

// The placement of a picture of width x height on `view`; all zero for an empty picture or view.
VideoPlacement placeVideo(int pictureWidth, int pictureHeight, const VideoView& view);

// A finished picture for the cab view: the placed part of one frame, scaled to the view's pixels.
struct ViewPicture {
  int frame = -1;  // the frame of the video it shows
  VideoView view;  // the view it was made for
  int x = 0;       // where its top-left pixel goes on the view
  int y = 0;
  Bitmap pixels;
};

}  // namespace dravolin::platform
