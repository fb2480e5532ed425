#include "shell/video_presenter.h"

#include <cstdlib>
#include <utility>

namespace dravolin::shell {

VideoPresenter::VideoPresenter(platform::CabView& surface, platform::VideoFrames* frames,
                               const platform::MillisecondClock& clock, drive::ShownFrame& shown)
    : surface_(surface), frames_(frames), clock_(clock), shown_(shown) {
  // DDRinit and DDRfin.
  surface_.setInitialiseHandler([this] {
    image_ = surface_.createImage();
    nextImage_ = surface_.createImage();
  });
  surface_.setFinaliseHandler([this] {
    image_.reset();
    nextImage_.reset();
    inImage_.reset();
    inNextImage_.reset();
  });
}

VideoPresenter::~VideoPresenter() {
  surface_.setInitialiseHandler({});
  surface_.setFinaliseHandler({});
}

void VideoPresenter::setView(const platform::VideoView& view) {
  if (view == view_) return;
  view_ = view;
  if (showing_ == Showing::Still) {
    showStillNow();
  } else if (showing_ == Showing::Frame) {
    pending_ = shownPosition_;  // the same picture at the new size
  }
}

bool VideoPresenter::show(const std::shared_ptr<const platform::ViewPicture>& picture,
                          const std::shared_ptr<const platform::ViewPicture>& next, int blend) {
  // A picture already in an image is not copied again (below the recording speed the same two
  // frames are presented at several shares, and the next one becomes the frame).
  if (picture == inNextImage_ && picture != inImage_) {
    std::swap(image_, nextImage_);
    std::swap(inImage_, inNextImage_);
  }
  // The images show the finished pictures' own pixels: the decoding thread makes no other
  // picture in their memory while they are held here.
  const auto pixelsOf = [](const std::shared_ptr<const platform::ViewPicture>& p) {
    return std::shared_ptr<const platform::Bitmap>(p, &p->pixels);
  };
  if (picture != inImage_) {
    image_->loadShared(pixelsOf(picture));
    inImage_ = picture;
  }
  if (next != nullptr && next != inNextImage_) {
    nextImage_->loadShared(pixelsOf(next));
    inNextImage_ = next;
  }
  if (!surface_.canDraw()) return false;
  surface_.setPixelSize(picture->view.width, picture->view.height);
  surface_.fillBackBuffer();
  surface_.drawImage(*image_, picture->x, picture->y);
  if (next != nullptr && blend > 0) {
    surface_.drawImage(*nextImage_, next->x, next->y,
                       static_cast<double>(blend) / drive::FramePosition::kBlendSteps);
  }
  surface_.present();
  showing_ = Showing::Frame;
  ++framesDrawn_;
  return true;
}

// Presents the picture of `target` when it is ready (with the next frame blended over it when
// that is ready too), else the nearest ready picture when it is nearer than the one shown.
bool VideoPresenter::present(const drive::FramePosition& target) {
  if (frames_ == nullptr || image_ == nullptr || target.frame < 0 ||
      target.frame >= frames_->frameCount()) {
    return false;
  }
  const bool blending = target.blend > 0;
  frames_->wish({target.frame, blending ? target.next : -1, target.direction(), view_});
  awaitsPicture_ = true;
  if (const auto picture = frames_->ready(target.frame, view_)) {
    const auto next = blending ? frames_->ready(target.next, view_) : nullptr;
    const int blend = next != nullptr ? target.blend : 0;
    awaitsPicture_ = blend != target.blend;
    if (!show(picture, next, blend)) return false;
    shown_.presented(target.frame, blend);
    shownPosition_ = {target.frame, target.next, blend};
    if (blend == target.blend) pending_.reset();
    return true;
  }
  // Not decoded yet: a ready picture nearer to the target than the one shown stands in for it,
  // recorded as what it is.
  const auto near = frames_->nearest(target.frame, view_);
  const bool sameView =
      showing_ == Showing::Frame && inImage_ != nullptr && inImage_->view == view_;
  if (near == nullptr || (sameView && std::abs(near->frame - target.frame) >=
                                          std::abs(shown_.lastShown() - target.frame))) {
    return false;
  }
  if (!show(near, nullptr, 0)) return false;
  shown_.presented(near->frame, 0);
  shownPosition_ = {near->frame, near->frame + target.direction(), 0};
  return true;
}

drive::FramePosition VideoPresenter::normalised(drive::FramePosition p) const {
  // At the ends of the video there is no next frame to blend.
  if (frames_ == nullptr || p.next < 0 || p.next >= frames_->frameCount()) p.blend = 0;
  return p;
}

VideoPresenter::Pass VideoPresenter::pass(const drive::FramePosition& wanted, bool running) {
  Pass result;
  awaitsPicture_ = false;
  if (stopped_) return result;
  const drive::FramePosition position = normalised(wanted);
  if (pending_) {
    // A redraw: whatever the time. While running it is the current position that is drawn.
    const drive::FramePosition target = running ? position : *pending_;
    if (running) pending_ = position;
    result.presented = present(target);
  } else {
    if (!running || !shown_.due(position)) return result;
    const std::uint32_t elapsed = clock_.milliseconds() - lastDrawMs_;  // unsigned: wraps
    if (elapsed < kMinIntervalMs) {
      result.retryInMs = kMinIntervalMs - elapsed;
      return result;
    }
    result.presented = present(position);
    if (result.presented) lastDrawMs_ = clock_.milliseconds();
  }
  return result;
}

void VideoPresenter::prepare(const drive::FramePosition& wanted) {
  const drive::FramePosition p = normalised(wanted);
  if (stopped_ || frames_ == nullptr || p.frame < 0 || p.frame >= frames_->frameCount()) return;
  frames_->wish({p.frame, p.blend > 0 ? p.next : -1, p.direction(), view_});
}

bool VideoPresenter::ready(const drive::FramePosition& wanted) const {
  const drive::FramePosition p = normalised(wanted);
  if (stopped_ || frames_ == nullptr || p.frame < 0 || p.frame >= frames_->frameCount()) {
    return true;
  }
  return frames_->ready(p.frame, view_) != nullptr;
}

bool VideoPresenter::redraw(const drive::FramePosition& position, bool running) {
  // Without a video, or for a frame outside it, there is nothing to wait for.
  if (stopped_ || frames_ == nullptr || position.frame < 0 ||
      position.frame >= frames_->frameCount()) {
    return false;
  }
  pending_ = normalised(position);
  return pass(position, running).presented;
}

bool VideoPresenter::showStillNow() {
  if (image_ == nullptr) return false;
  image_->load(still_);
  inImage_.reset();
  if (!surface_.canDraw()) return false;
  surface_.setPixelSize(view_.width, view_.height);
  surface_.fillBackBuffer();
  surface_.drawImageScaled(*image_, platform::placeVideo(still_.width, still_.height, view_));
  surface_.present();
  showing_ = Showing::Still;
  return true;
}

bool VideoPresenter::showStill(const platform::Bitmap& still, bool running) {
  if (running || image_ == nullptr) return false;
  still_ = still;
  pending_.reset();
  return showStillNow();
}

}  // namespace dravolin::shell
