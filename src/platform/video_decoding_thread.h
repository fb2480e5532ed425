// The line video's decoding thread: it owns the video reader from its start on, decodes the
// frames the window wishes for, then reads ahead in the direction of travel, and keeps the
// finished pictures (scaled for the cab view) for the window to take. The window's thread only
// ever holds the lock for a look at the list, never during a decode.
//
// Order of work: the wished frame, the frame blended over it, then the frames that come next at
// the pace the train has been going (every frame at the recording speed, every second at twice
// that; the smallest of the last few advances, so that a frame passed over once is no pace), with
// their blended neighbours while blending, until kReadyPictures pictures are ready or being made.
// Pictures far from the wish make room for new ones. A frame that cannot be decoded is not tried
// again for the same view.
//
// Priority. The thread and FFmpeg's own decoding threads (started afresh from it) run a few
// steps nicer than the window, so that a long decode after a jump never holds up a tick.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/video_frames.h"
#include "platform/video_reader.h"

namespace dravolin::platform {

class VideoDecodingThread final : public VideoFrames {
 public:
  // Pictures kept ready or being made at most (the memory budget: six pictures of the view).
  static constexpr std::size_t kReadyPictures = 6;
  // Frames that may be skipped between two wished frames when guessing the next ones.
  static constexpr int kMaxStride = 8;
  // How many of the last advances of the wish the pace is taken from: the smallest of them, so
  // that one late present at the recording speed (a frame passed over) does not make the thread
  // leave out frames that the next wishes ask for.
  static constexpr std::size_t kPaceWishes = 4;
  // How much nicer than the window the decoding runs (the nice value it adds).
  static constexpr int kNicer = 4;

  // Takes `reader` over: from now on only the thread uses it (the reader must outlive this).
  explicit VideoDecodingThread(VideoReader& reader);
  // Stops the thread; waits for a decode under way to end.
  ~VideoDecodingThread() override;
  VideoDecodingThread(const VideoDecodingThread&) = delete;
  VideoDecodingThread& operator=(const VideoDecodingThread&) = delete;

  int frameCount() const override { return count_; }
  void wish(const FrameWish& wish) override;
  std::shared_ptr<const ViewPicture> ready(int frame, const VideoView& view) const override;
  std::shared_ptr<const ViewPicture> nearest(int frame, const VideoView& view) const override;
  void setReadyHandler(std::function<void()> handler) override;

  // Decodes done so far (each frame made once per view is one), for measuring.
  long decodes() const;

 private:
  void run();
  // The frames to have ready for the wish, in the order they are made (under the lock).
  std::vector<int> wanted() const;
  // The first wanted frame neither ready nor failed (under the lock).
  std::optional<int> nextJob() const;
  // Keeps `picture`, dropping the ready picture furthest from the wish that is not wanted.
  void keep(std::shared_ptr<ViewPicture> picture);

  VideoReader& reader_;
  const int count_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  FrameWish wish_;
  int stride_ = 1;             // the pace: frames between wished frames, for guessing the next ones
  std::vector<int> advances_;  // the last advances of the wish in its direction, oldest first
  std::vector<std::shared_ptr<ViewPicture>> ready_;  // for wish_.view
  std::vector<int> failed_;                          // frames that did not decode, for wish_.view
  std::shared_ptr<ViewPicture> spare_;               // a dropped picture's memory, used again
  std::function<void()> onReady_;
  long decodes_ = 0;
  bool stop_ = false;
  std::thread thread_;  // last: it starts when everything else is in place
};

}  // namespace dravolin::platform
