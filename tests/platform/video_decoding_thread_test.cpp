// The line video's decoding thread over a reader that the test holds back at will: the wished
// frame comes first, then the frames ahead in the direction of travel; the window's calls return
// while a decode is under way; pictures of an old view go, a frame that fails is not tried again,
// and the reader is used from the decoding thread only.
#include "platform/video_decoding_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace dravolin::platform {
namespace {

using namespace std::chrono_literals;

// A reader whose frame n is a 1 x 1 picture holding n. Decodes wait while the gate is shut.
class GatedReader : public VideoReader {
 public:
  explicit GatedReader(int count) : count_(count) {}
  bool open(const std::string&) override { return true; }
  int frameCount() const override { return count_; }
  int width() const override { return 1; }
  int height() const override { return 1; }
  bool getFrame(int, Bitmap&) override { return false; }
  bool getViewFrame(int n, const VideoView& view, ViewPicture& picture) override {
    std::unique_lock lock(mutex_);
    threads.insert(std::this_thread::get_id());
    decoding = n;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
    decoded.push_back(n);
    decoding = -1;
    changed_.notify_all();
    if (failing.count(n) != 0) return false;
    picture.frame = n;
    picture.view = view;
    picture.pixels = {1, 1, {static_cast<std::uint32_t>(n)}};
    return true;
  }
  void startOnThisThread() override {
    const std::lock_guard lock(mutex_);
    startedOn = std::this_thread::get_id();
  }

  void setGate(bool open) {
    const std::lock_guard lock(mutex_);
    open_ = open;
    changed_.notify_all();
  }
  // Waits (at most 20 s, so that a fault fails rather than hangs) until `done` holds.
  template <class F>
  bool waitFor(F done) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 20s, [&] { return done(); });
  }
  // Waits until at least `count` decodes have ended and the thread has nothing more to do (no
  // decode begins for a while).
  bool waitUntilIdle(std::size_t count) {
    for (int round = 0; round < 400; ++round) {
      if (!waitFor([&] { return decoded.size() >= count && decoding < 0; })) return false;
      const std::size_t seen = decodedFrames().size();
      std::this_thread::sleep_for(50ms);
      const std::lock_guard lock(mutex_);
      if (decoding < 0 && decoded.size() == seen) return true;
    }
    return false;
  }
  std::vector<int> decodedFrames() {
    const std::lock_guard lock(mutex_);
    return decoded;
  }

  std::set<int> failing;
  std::set<std::thread::id> threads;
  std::thread::id startedOn;
  std::vector<int> decoded;
  int decoding = -1;

 private:
  int count_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = true;
};

const VideoView kView;

TEST(VideoDecodingThread, MakesTheWishFirstThenTheFramesAheadInTheDirectionOfTravel) {
  struct Case {
    const char* name;
    std::vector<FrameWish> wishes;  // in turn, each after the one before is done
    std::vector<int> want;          // frames decoded, in order
  };
  const Case cases[] = {
      {"forwards: the next five", {{10, -1, 1, kView}}, {10, 11, 12, 13, 14, 15}},
      {"backwards, blending the frame below", {{10, 9, -1, kView}}, {10, 9, 8, 7, 6, 5}},
      {"standing: only the wish", {{10, -1, 0, kView}}, {10}},
      {"at the last frames the video ends the reading ahead", {{97, -1, 1, kView}}, {97, 98, 99}},
      {"at frame 0 going back", {{1, 0, -1, kView}}, {1, 0}},
      {"twice the recording speed: every second frame ahead",
       {{10, -1, 1, kView}, {12, -1, 1, kView}},
       {10, 11, 12, 13, 14, 15, 16, 18, 20, 22}},
      {"the recording speed with one frame passed over: still every frame",
       {{10, -1, 1, kView}, {11, -1, 1, kView}, {12, -1, 1, kView}, {14, -1, 1, kView}},
       {10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
      {"twice the speed kept: every second frame, though the first advance was one",
       {{10, -1, 1, kView},
        {11, -1, 1, kView},
        {13, -1, 1, kView},
        {15, -1, 1, kView},
        {17, -1, 1, kView},
        {19, -1, 1, kView},
        {21, -1, 1, kView}},
       {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 25, 27, 29, 31}},
      {"a jump further than the pace: every frame after it",
       {{10, -1, 1, kView}, {60, -1, 1, kView}},
       {10, 11, 12, 13, 14, 15, 60, 61, 62, 63, 64, 65}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GatedReader reader(100);
    VideoDecodingThread thread(reader);
    std::size_t total = 0;
    for (const FrameWish& w : c.wishes) {
      thread.wish(w);
      ASSERT_TRUE(reader.waitUntilIdle(total + 1));
      total = reader.decodedFrames().size();
    }
    EXPECT_EQ(reader.decodedFrames(), c.want);
  }
}

TEST(VideoDecodingThread, TheWindowNeverWaitsForADecode) {
  GatedReader reader(1000);
  VideoDecodingThread thread(reader);
  std::atomic<int> finished{0};
  thread.setReadyHandler([&] { ++finished; });
  thread.wish({100, -1, 0, kView});
  ASSERT_TRUE(reader.waitUntilIdle(1));
  ASSERT_NE(thread.ready(100, kView), nullptr);

  // A jump whose decode is held up: every call of the window returns meanwhile, and the picture
  // that was ready stays at hand as the nearest.
  reader.setGate(false);
  thread.wish({700, -1, 0, kView});
  ASSERT_TRUE(reader.waitFor([&] { return reader.decoding == 700; }));
  for (int i = 0; i < 100; ++i) {
    thread.wish({700 + i % 2, -1, 0, kView});
    EXPECT_EQ(thread.ready(700, kView), nullptr);
    const auto near = thread.nearest(700, kView);
    ASSERT_NE(near, nullptr);
    EXPECT_EQ(near->frame, 100);
  }
  EXPECT_TRUE(reader.waitFor([&] { return reader.decoding == 700; })) << "still decoding";
  reader.setGate(true);
  ASSERT_TRUE(reader.waitUntilIdle(3));
  EXPECT_NE(thread.ready(701, kView), nullptr);
  EXPECT_GE(finished.load(), 2);

  // The reader was used from the decoding thread alone, which took it over first.
  EXPECT_EQ(reader.threads.size(), 1u);
  EXPECT_EQ(*reader.threads.begin(), reader.startedOn);
  EXPECT_NE(reader.startedOn, std::this_thread::get_id());
}

TEST(VideoDecodingThread, KeepsSixPicturesOfTheViewAndTriesAFailedFrameOnce) {
  GatedReader reader(100);
  reader.failing = {32};
  VideoDecodingThread thread(reader);
  for (int frame = 20; frame <= 30; ++frame) thread.wish({frame, -1, 1, kView});
  ASSERT_TRUE(reader.waitUntilIdle(6));
  int kept = 0;
  for (int n = 0; n < 100; ++n) kept += thread.ready(n, kView) != nullptr ? 1 : 0;
  EXPECT_LE(kept, static_cast<int>(VideoDecodingThread::kReadyPictures));
  EXPECT_EQ(thread.ready(32, kView), nullptr);
  EXPECT_EQ(thread.nearest(32, kView)->frame, 31);
  const std::vector<int> decoded = reader.decodedFrames();
  EXPECT_EQ(std::count(decoded.begin(), decoded.end(), 32), 1) << "a failed frame is not retried";

  // Another view (full screen): the pictures of the old size are gone, the wish is made anew.
  const VideoView twice{960, 480, VideoFit::FillWidth};
  thread.wish({30, -1, 0, twice});
  ASSERT_TRUE(reader.waitUntilIdle(decoded.size() + 1));
  EXPECT_EQ(thread.ready(31, kView), nullptr);
  EXPECT_EQ(thread.nearest(31, kView), nullptr);
  ASSERT_NE(thread.ready(30, twice), nullptr);
  EXPECT_EQ(thread.ready(30, twice)->view, twice);
}

}  // namespace
}  // namespace dravolin::platform
