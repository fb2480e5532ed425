// The line video on the cab-view surface: the picture of the train's position is presented only
// when it has changed (another frame, or another share of the next frame blended over it), only
// while the simulation runs, and never sooner than 33 ms after the previous one. Also the redraw
// command and the still picture shown while stopped.
//
// The pictures come finished from the video's decoding thread (platform::VideoFrames), scaled to
// the view's pixels; a pass never waits for a decode. When the picture of the position is not
// ready (after a jump), the nearest ready picture is shown if it is nearer than the one on the
// screen, and the drive's ShownFrame records the frame really shown; the right one follows as
// soon as it is decoded (the window calls pass() again when a picture is finished).
//
// The presenter does no waiting of its own: the driving window calls pass() after every
// simulation tick, whenever a picture is finished and, when a pass comes too early, once more
// when the 33 ms are up. A train at rest therefore costs one comparison per tick and no drawing.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "drive/shown_frame.h"
#include "platform/bitmap.h"
#include "platform/cab_view.h"
#include "platform/timers.h"
#include "platform/video_frames.h"

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

  // `frames` may be null (no line video). `shown` is the drive's memory of the frame shown (it
  // must outlive the presenter): Start asks it for a redraw, every drawing here records in it.
  // The surface's initialise and finalise events create and free the off-screen images.
  VideoPresenter(platform::CabView& surface, platform::VideoFrames* frames,
                 const platform::MillisecondClock& clock, drive::ShownFrame& shown);
  ~VideoPresenter();
  VideoPresenter(const VideoPresenter&) = delete;
  VideoPresenter& operator=(const VideoPresenter&) = delete;

  // The view the pictures are made for: the cab's factor on the screen and the fit of a large
  // picture. What the screen shows is presented again at the new size (the still picture at
  // once, a frame as soon as its picture is ready), running or not.
  void setView(const platform::VideoView& view);
  const platform::VideoView& view() const { return view_; }

  // Has the pictures of `position` and those after it made ahead, without presenting them (the
  // start position while the still picture shows, so that Start finds them ready).
  void prepare(const drive::FramePosition& position);
  // Whether the picture of `position`'s frame is ready to be shown (true without a video, or
  // for a frame outside it: nothing will come).
  bool ready(const drive::FramePosition& position) const;
  // One pass of the idle handler with one copy of the position. Nothing once stopped.
  Pass pass(const drive::FramePosition& position, bool running);
  // The redraw command: presents `position` whatever the time and whether running: now when its
  // picture is ready, else as soon as it is (at a later pass). Returns whether it was now.
  bool redraw(const drive::FramePosition& position, bool running);
  // The still picture, shown only while not running; `FrameIndex` and the last-shown frame
  // number stay as they are.
  bool showStill(const platform::Bitmap& still, bool running);

  int lastShown() const { return shown_.lastShown(); }
  // Removes the idle handler: no pass draws any more.
  void stop() { stopped_ = true; }
  bool stopped() const { return stopped_; }
  // Whether a redraw (the command, or a new view while stopped) waits for its picture.
  bool redrawWaiting() const { return pending_.has_value(); }
  // Whether the last pass (or redraw) left the position without its own pictures on the screen
  // because they were not decoded yet: a picture finished now calls for another pass. Passes
  // that find nothing to do or that only wait for the 33 ms await nothing.
  bool awaitsPicture() const { return awaitsPicture_; }

  // Pictures presented by passes and by the redraw command.
  long framesDrawn() const { return framesDrawn_; }

 private:
  enum class Showing { Nothing, Still, Frame };
  drive::FramePosition normalised(drive::FramePosition position) const;
  bool present(const drive::FramePosition& target);
  bool show(const std::shared_ptr<const platform::ViewPicture>& picture,
            const std::shared_ptr<const platform::ViewPicture>& next, int blend);
  bool showStillNow();

  platform::CabView& surface_;
  platform::VideoFrames* frames_;
  const platform::MillisecondClock& clock_;
  drive::ShownFrame& shown_;
  platform::VideoView view_;
  // The off-screen images of the frame and of the one blended over it, and what they hold.
  std::unique_ptr<platform::OffscreenImage> image_;
  std::unique_ptr<platform::OffscreenImage> nextImage_;
  std::shared_ptr<const platform::ViewPicture> inImage_;
  std::shared_ptr<const platform::ViewPicture> inNextImage_;
  Showing showing_ = Showing::Nothing;
  drive::FramePosition shownPosition_;  // the frame on the screen, with its neighbour and share
  platform::Bitmap still_;
  std::optional<drive::FramePosition> pending_;  // a redraw waiting for its picture
  std::uint32_t lastDrawMs_ = 0;
  bool stopped_ = false;
  bool awaitsPicture_ = false;
  long framesDrawn_ = 0;
};

}  // namespace dravolin::shell
