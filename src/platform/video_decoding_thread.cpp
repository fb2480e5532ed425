#include "platform/video_decoding_thread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <utility>

namespace dravolin::platform {

namespace {

// This thread (and every thread it starts from now on) runs `steps` nicer than it did.
void runNicer(int steps) {
  const pid_t thread = gettid();
  errno = 0;
  const int now = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
  if (errno == 0) setpriority(PRIO_PROCESS, static_cast<id_t>(thread), std::min(now + steps, 19));
}

}  // namespace

VideoDecodingThread::VideoDecodingThread(VideoReader& reader)
    : reader_(reader), count_(reader.frameCount()), thread_([this] { run(); }) {
  advances_.reserve(kPaceWishes);  // only wish() uses it, from the owner's thread
}

VideoDecodingThread::~VideoDecodingThread() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void VideoDecodingThread::wish(const FrameWish& wish) {
  {
    const std::lock_guard lock(mutex_);
    if (wish == wish_) return;
    if (!(wish.view == wish_.view)) {
      // Pictures of another size are of no use any more.
      ready_.clear();
      failed_.clear();
    }
    if (wish.direction != wish_.direction || wish.direction == 0) {
      advances_.clear();
      stride_ = 1;
    }
    if (wish_.frame >= 0 && wish.direction == wish_.direction && wish.direction != 0 &&
        wish.frame != wish_.frame) {
      const int ahead = (wish.frame - wish_.frame) * wish.direction;
      if (ahead > 0 && ahead <= kMaxStride) {
        if (advances_.size() == kPaceWishes) advances_.erase(advances_.begin());
        advances_.push_back(ahead);
      } else {
        advances_.clear();  // a jump, or back against the direction: the pace starts afresh
      }
      stride_ = advances_.empty() ? 1 : *std::min_element(advances_.begin(), advances_.end());
    }
    wish_ = wish;
  }
  wake_.notify_one();
}

std::shared_ptr<const ViewPicture> VideoDecodingThread::ready(int frame,
                                                              const VideoView& view) const {
  const std::lock_guard lock(mutex_);
  for (const auto& p : ready_) {
    if (p->frame == frame && p->view == view) return p;
  }
  return nullptr;
}

std::shared_ptr<const ViewPicture> VideoDecodingThread::nearest(int frame,
                                                                const VideoView& view) const {
  const std::lock_guard lock(mutex_);
  std::shared_ptr<const ViewPicture> best;
  for (const auto& p : ready_) {
    if (!(p->view == view)) continue;
    const int d = std::abs(p->frame - frame);
    const int bestD = best ? std::abs(best->frame - frame) : 0;
    if (!best || d < bestD || (d == bestD && p->frame < best->frame)) best = p;
  }
  return best;
}

void VideoDecodingThread::setReadyHandler(std::function<void()> handler) {
  const std::lock_guard lock(mutex_);
  onReady_ = std::move(handler);
}

long VideoDecodingThread::decodes() const {
  const std::lock_guard lock(mutex_);
  return decodes_;
}

std::vector<int> VideoDecodingThread::wanted() const {
  std::vector<int> frames;
  const auto inside = [this](int f) { return f >= 0 && f < count_; };
  const auto add = [&frames, &inside](int f) {
    if (inside(f) && std::find(frames.begin(), frames.end(), f) == frames.end()) {
      frames.push_back(f);
    }
  };
  if (!inside(wish_.frame) || wish_.view.empty()) return frames;
  add(wish_.frame);
  add(wish_.next);
  if (wish_.direction == 0) return frames;
  const bool blending = wish_.next >= 0;
  for (int i = 1; frames.size() < kReadyPictures; ++i) {
    const int f = wish_.frame + wish_.direction * stride_ * i;
    if (!inside(f)) break;
    add(f);
    if (blending && frames.size() < kReadyPictures) add(f + wish_.direction);
  }
  return frames;
}

std::optional<int> VideoDecodingThread::nextJob() const {
  for (const int f : wanted()) {
    const bool done =
        std::any_of(ready_.begin(), ready_.end(), [f](const auto& p) { return p->frame == f; }) ||
        std::find(failed_.begin(), failed_.end(), f) != failed_.end();
    if (!done) return f;
  }
  return std::nullopt;
}

void VideoDecodingThread::keep(std::shared_ptr<ViewPicture> picture) {
  ready_.push_back(std::move(picture));
  if (ready_.size() <= kReadyPictures) return;
  const std::vector<int> frames = wanted();
  const auto isWanted = [&frames](int f) {
    return std::find(frames.begin(), frames.end(), f) != frames.end();
  };
  // The furthest from the wish goes, one that is not wanted before one that is.
  auto drop = ready_.begin();
  for (auto it = ready_.begin(); it != ready_.end(); ++it) {
    const auto key = [&](const auto& p) {
      return std::pair(!isWanted(p->frame), std::abs(p->frame - wish_.frame));
    };
    if (key(*it) > key(*drop)) drop = it;
  }
  // Its memory serves the next picture, unless the window still holds it.
  if (drop->use_count() == 1) spare_ = std::move(*drop);
  ready_.erase(drop);
}

void VideoDecodingThread::run() {
  runNicer(kNicer);
  reader_.startOnThisThread();
  std::unique_lock lock(mutex_);
  for (;;) {
    std::optional<int> job;
    wake_.wait(lock, [&] { return stop_ || (job = nextJob()).has_value(); });
    if (stop_) return;
    const VideoView view = wish_.view;
    std::shared_ptr<ViewPicture> picture =
        spare_ != nullptr ? std::move(spare_) : std::make_shared<ViewPicture>();
    lock.unlock();
    const bool made = reader_.getViewFrame(*job, view, *picture);
    lock.lock();
    ++decodes_;
    if (!(view == wish_.view)) continue;  // made for a view no longer wanted
    if (!made) {
      failed_.push_back(*job);
      if (failed_.size() > 64) failed_.erase(failed_.begin());
      continue;
    }
    picture->frame = *job;
    keep(std::move(picture));
    const std::function<void()> handler = onReady_;
    lock.unlock();
    if (handler) handler();
    lock.lock();
  }
}

}  // namespace dravolin::platform
