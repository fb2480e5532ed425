// The line video on the cab-view surface: the frame of `FrameIndex` is decoded and presented only
// when the index has changed, only while the simulation runs, and never sooner than 33 ms after
// the previous frame. Also the redraw command and the still picture shown while stopped.
//
// The presenter does no waiting of its own: the driving window calls pass() after every
// simulation tick and, when a pass comes too early, once more when the 33 ms are up. A train at
// rest therefore costs one comparison per tick and no drawing.
#pragma once

#include <cstdint>
#include <memory>

#include "drive/shown_frame.h"
#include "platform/bitmap.h"
#include "platform/cab_view.h"
#include "platform/timers.h"
#include "platform/video_reader.h"

namespace dravolin::shell {

class VideoPresenter {
 public:
  static constexpr std::uint32_t kMinIntervalMs = 33;

  // What one pass did.
  struct Pass {
    bool presented = false;
    // When a change is waiting only for the 33 ms to pass: milliseconds still to wait; else 0.
    std::uint32_t retryInMs = 0;
  };

  // `video` may be null (no line video); `frameCount` is its frame count (-1 when none). `shown`
  // is the drive's memory of the frame shown (it must outlive the presenter): Start asks it for a
  // redraw, every drawing here records in it. The surface's initialise and finalise events create
  // and free the off-screen image.
  VideoPresenter(platform::CabView& surface, platform::VideoReader* video, int frameCount,
                 const platform::MillisecondClock& clock, drive::ShownFrame& shown);
  ~VideoPresenter();
  VideoPresenter(const VideoPresenter&) = delete;
  VideoPresenter& operator=(const VideoPresenter&) = delete;

  // One pass of the idle handler with one copy of `FrameIndex`. Nothing once stopped.
  Pass pass(int frameIndex, bool running);
  // The redraw command: draws `frameIndex` whatever the time and whether running.
  bool redraw(int frameIndex);
  // The still picture, shown only while not running; `FrameIndex` and the last-shown frame
  // number stay as they are.
  bool showStill(const platform::Bitmap& still, bool running);

  int lastShown() const { return shown_.lastShown(); }
  // Removes the idle handler: no pass draws any more.
  void stop() { stopped_ = true; }
  bool stopped() const { return stopped_; }

  // Frames presented by passes and by the redraw command.
  long framesDrawn() const { return framesDrawn_; }

 private:
  bool canDecode(int frameIndex) const;
  bool decodeAndPresent(int frameIndex);

  platform::CabView& surface_;
  platform::VideoReader* video_;
  int frameCount_;
  const platform::MillisecondClock& clock_;
  platform::Bitmap frame_;  // the frame bitmap every decode lands in
  std::unique_ptr<platform::OffscreenImage> image_;
  drive::ShownFrame& shown_;
  std::uint32_t lastDrawMs_ = 0;
  bool stopped_ = false;
  long framesDrawn_ = 0;
};

}  // namespace dravolin::shell
