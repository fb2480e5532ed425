// The line video's presentation: a frame only for a changed index, only while running, not
// sooner than 33 ms after the last, the redraw command and the still picture.
#include "shell/video_presenter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/fake_cab_view.h"
#include "fixtures/fake_timers.h"

namespace dravolin::testing {
namespace {

using shell::VideoPresenter;

// A video of `count` frames whose picture n is 2 x 1 pixels holding n.
class CountingVideo : public platform::VideoReader {
 public:
  explicit CountingVideo(int count) : count_(count) {}
  bool open(const std::string&) override { return true; }
  int frameCount() const override { return count_; }
  bool getFrame(int n, platform::Bitmap& b) override {
    decoded.push_back(n);
    b = {2, 1, {0xFF000000u | static_cast<std::uint32_t>(n), 0xFF000000u}};
    return true;
  }
  int width() const override { return 2; }
  int height() const override { return 1; }
  bool getViewFrame(int, const platform::VideoView&, platform::ViewPicture&) override {
    return false;
  }
  std::vector<int> decoded;

 private:
  int count_;
};

int shownFrame(const FakeCabView& view) {
  return view.front.empty() ? -1 : static_cast<int>(view.front.pixels[0] & 0xFFFFFF);
}

struct Step {
  std::uint32_t atMs;  // clock when the pass runs
  int frameIndex;
  bool running;
  int wantShown;            // frame on the screen after the pass (-1: nothing yet)
  std::uint32_t wantRetry;  // retry the pass asks for
};

TEST(VideoPresenter, DrawsChangedFramesWhileRunningAtMostEvery33Ms) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  const std::vector<Case> cases = {
      {"unchanged index draws nothing", {{100, 1, true, -1, 0}, {200, 1, true, -1, 0}}},
      {"changed index draws once", {{100, 5, true, 5, 0}, {140, 5, true, 5, 0}}},
      {"stopped draws nothing", {{100, 5, false, -1, 0}, {200, 6, false, -1, 0}}},
      {"two changes within 33 ms: the later is drawn when the time is up",
       {{100, 5, true, 5, 0}, {110, 6, true, 5, 23}, {120, 7, true, 5, 13}, {133, 7, true, 7, 0}}},
      {"index -1 and the frame count are skipped without error",
       {{100, -1, true, -1, 0}, {200, 50, true, -1, 0}, {300, 49, true, 49, 0}}},
      {"clock wrapping past 2^32 still measures 33 ms",
       {{0xFFFFFFF0u, 3, true, 3, 0}, {0x00000005u, 4, true, 3, 12}, {0x00000011u, 4, true, 4, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeCabView view;
    view.initialise();
    CountingVideo video(50);
    FakeClock clock;
    drive::ShownFrame shown;
    VideoPresenter presenter(view, &video, video.frameCount(), clock, shown);
    for (const Step& s : c.steps) {
      clock.now = s.atMs;
      const VideoPresenter::Pass pass = presenter.pass(s.frameIndex, s.running);
      EXPECT_EQ(shownFrame(view), s.wantShown) << "at " << s.atMs;
      EXPECT_EQ(pass.retryInMs, s.wantRetry) << "at " << s.atMs;
    }
    EXPECT_EQ(static_cast<int>(video.decoded.size()), view.presents) << "one decode per present";
  }
}

TEST(VideoPresenter, RedrawStartRequestAndStillPicture) {
  FakeCabView view;
  CountingVideo video(100);
  FakeClock clock;
  clock.now = 1000;
  drive::ShownFrame shown;
  VideoPresenter presenter(view, &video, video.frameCount(), clock, shown);
  // Before the surface is initialised there is no off-screen image: nothing draws.
  EXPECT_FALSE(presenter.redraw(10));
  view.initialise();

  // Paused, the index moved (Shift+F5): the pass draws nothing, the redraw command does.
  EXPECT_FALSE(presenter.pass(10, false).presented);
  EXPECT_TRUE(presenter.redraw(10));
  EXPECT_EQ(shownFrame(view), 10);
  EXPECT_EQ(presenter.lastShown(), 10);

  // Start with an unchanged index: the redraw request draws it again once.
  shown.requestRedraw();
  EXPECT_TRUE(presenter.pass(10, true).presented);
  clock.now += 100;
  EXPECT_FALSE(presenter.pass(10, true).presented);
  // Also when the train stands on the frame just below the one shown last.
  shown.requestRedraw();
  clock.now += 100;
  EXPECT_TRUE(presenter.pass(9, true).presented);
  EXPECT_EQ(shownFrame(view), 9);
  shown.requestRedraw();
  clock.now += 100;
  EXPECT_TRUE(presenter.pass(10, true).presented);
  EXPECT_EQ(shownFrame(view), 10);

  // The still picture only while stopped, and it leaves the last-shown number alone.
  const platform::Bitmap still{2, 1, {0xFF000777u, 0xFF000000u}};
  EXPECT_FALSE(presenter.showStill(still, true));
  EXPECT_TRUE(presenter.showStill(still, false));
  EXPECT_EQ(shownFrame(view), 0x777);
  EXPECT_EQ(presenter.lastShown(), 10);

  // A surface that cannot draw keeps the frame waiting; the next pass draws it.
  view.drawable = false;
  clock.now += 100;
  EXPECT_FALSE(presenter.pass(11, true).presented);
  EXPECT_EQ(presenter.lastShown(), 10);
  view.drawable = true;
  EXPECT_TRUE(presenter.pass(11, true).presented);

  // Finalised surface, then stopped presenter: nothing draws.
  view.finalise();
  clock.now += 100;
  EXPECT_FALSE(presenter.pass(12, true).presented);
  view.initialise();
  presenter.stop();
  EXPECT_FALSE(presenter.pass(12, true).presented);
  EXPECT_EQ(shownFrame(view), 11);
}

TEST(VideoPresenter, NoVideoDrawsNothing) {
  FakeCabView view;
  view.initialise();
  FakeClock clock;
  drive::ShownFrame shown;
  VideoPresenter presenter(view, nullptr, -1, clock, shown);
  clock.now = 500;
  EXPECT_FALSE(presenter.pass(3, true).presented);
  EXPECT_FALSE(presenter.redraw(3));
  EXPECT_EQ(view.presents, 0);
}

}  // namespace
}  // namespace dravolin::testing
