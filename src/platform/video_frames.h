// Finished pictures of the line video for the cab view. The window says which frames it wants
// (the frame of the train's position, the one blended over it, and the direction of travel, in
// which pictures are made ahead) and takes the pictures that are ready; it never waits for a
// decode. The pictures are made on a thread of their own (VideoDecodingThread).
#pragma once

#include <functional>
#include <memory>

#include "platform/video_view.h"

namespace dravolin::platform {

struct FrameWish {
  int frame = -1;     // the frame to show now (-1: none)
  int next = -1;      // the frame blended over it, or -1 for none
  int direction = 0;  // 1 forwards, -1 backwards, 0 standing: frames are made ahead that way
  VideoView view;     // the view the pictures are made for

  bool operator==(const FrameWish&) const = default;
};

class VideoFrames {
 public:
  virtual ~VideoFrames() = default;

  // Frames of the video (the reader's count).
  virtual int frameCount() const = 0;
  // What is wanted now; it replaces the wish before. Returns at once.
  virtual void wish(const FrameWish& wish) = 0;
  // The finished picture of `frame` for `view`; null when it is not ready (yet).
  virtual std::shared_ptr<const ViewPicture> ready(int frame, const VideoView& view) const = 0;
  // Of the finished pictures for `view`, the one whose frame is nearest to `frame` (of two as
  // near, the earlier); null when there is none.
  virtual std::shared_ptr<const ViewPicture> nearest(int frame, const VideoView& view) const = 0;
  // Called whenever another picture is finished, on the thread that finished it; empty: none.
  virtual void setReadyHandler(std::function<void()> handler) = 0;
};

}  // namespace dravolin::platform
