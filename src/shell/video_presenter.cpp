#include "shell/video_presenter.h"

namespace dravolin::shell {

VideoPresenter::VideoPresenter(platform::CabView& surface, platform::VideoReader* video,
                               int frameCount, const platform::MillisecondClock& clock,
                               drive::ShownFrame& shown)
    : surface_(surface), video_(video), frameCount_(frameCount), clock_(clock), shown_(shown) {
  // DDRinit and DDRfin.
  surface_.setInitialiseHandler([this] { image_ = surface_.createImage(); });
  surface_.setFinaliseHandler([this] { image_.reset(); });
}

VideoPresenter::~VideoPresenter() {
  surface_.setInitialiseHandler({});
  surface_.setFinaliseHandler({});
}

bool VideoPresenter::canDecode(int frameIndex) const {
  return video_ != nullptr && image_ != nullptr && frameIndex >= 0 && frameIndex < frameCount_;
}

bool VideoPresenter::decodeAndPresent(int frameIndex) {
  if (!video_->getFrame(frameIndex, frame_)) return false;
  if (!platform::presentBitmap(surface_, *image_, frame_)) return false;
  ++framesDrawn_;
  return true;
}

VideoPresenter::Pass VideoPresenter::pass(int frameIndex, bool running) {
  Pass result;
  if (stopped_ || !shown_.due(frameIndex) || !running) return result;
  const std::uint32_t elapsed = clock_.milliseconds() - lastDrawMs_;  // unsigned: wraps
  if (elapsed < kMinIntervalMs) {
    result.retryInMs = kMinIntervalMs - elapsed;
    return result;
  }
  if (!canDecode(frameIndex) || !decodeAndPresent(frameIndex)) return result;
  shown_.presented(frameIndex);
  lastDrawMs_ = clock_.milliseconds();
  result.presented = true;
  return result;
}

bool VideoPresenter::redraw(int frameIndex) {
  if (!canDecode(frameIndex) || !decodeAndPresent(frameIndex)) return false;
  shown_.presented(frameIndex);
  return true;
}

bool VideoPresenter::showStill(const platform::Bitmap& still, bool running) {
  if (running || image_ == nullptr) return false;
  frame_ = still;
  return platform::presentBitmap(surface_, *image_, frame_);
}

}  // namespace dravolin::shell
