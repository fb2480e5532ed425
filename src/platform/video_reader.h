// Line video reading: the recorded video of a line, decoded one frame at a time into a bitmap.
// The cab-view presentation asks for frames in order while the train runs and jumps after a
// move to a station or a position key.
//
// A reader is used by one thread at a time: the start-up opens it, then the decoding thread of
// the cab view takes it over (startOnThisThread()) and alone asks it for frames from then on.
#pragma once

#include <string>

#include "platform/bitmap.h"
#include "platform/video_view.h"

namespace dravolin::platform {

class VideoReader {
 public:
  virtual ~VideoReader() = default;

  // Opens the first video stream of the file and prepares frame decoding; closes whatever was
  // open before. True when the stream opened and at least one frame could be decoded.
  virtual bool open(const std::string& path) = 0;

  // Number of frames of the open video stream (frames that can really be decoded, so a damaged
  // file counts fewer than its header claims), or -1 when no video is open.
  virtual int frameCount() const = 0;

  // Size of the open video's pictures in pixels; 0 when nothing is open.
  virtual int width() const = 0;
  virtual int height() const = 0;

  // For 0 <= n < frameCount(), decodes frame n (counted in display order from 0) into `bitmap`,
  // at the video's own size, and returns true. For n out of range it delivers the last decoded
  // frame again and returns true; when no frame has been decoded yet, or frame n cannot be
  // decoded, it returns false and leaves `bitmap` as it was.
  virtual bool getFrame(int n, Bitmap& bitmap) = 0;

  // The same frame as getFrame(n) gives, scaled for the cab view `view` (placeVideo()): the
  // placed part only, with its place and `picture.frame` set to the frame it shows. False, with
  // `picture` as it was, where getFrame() returns false.
  virtual bool getViewFrame(int n, const VideoView& view, ViewPicture& picture) = 0;

  // The thread that calls this uses the reader from now on: any threads the decoder keeps are
  // started afresh from it, so that they run at its priority. Frames stay as they are.
  virtual void startOnThisThread() {}
};

}  // namespace dravolin::platform
