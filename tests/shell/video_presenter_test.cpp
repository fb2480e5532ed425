// The line video's presentation: a picture only for a changed position (frame or blend), only
// while running, not sooner than 33 ms after the last; pictures taken as the decoding thread has
// them ready, a nearby one standing in (and recorded as what it is) until the right one is
// decoded; the redraw command, a new view, and the still picture.
#include "shell/video_presenter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "fixtures/fake_cab_view.h"
#include "fixtures/fake_timers.h"

namespace dravolin::testing {
namespace {

using drive::FramePosition;
using platform::VideoView;
using platform::ViewPicture;
using shell::VideoPresenter;

// Finished pictures as a test makes them ready: picture n is 2 x 1 pixels holding n. With
// `instant`, every wished frame is ready at once (a decoding thread that is never behind).
class ScriptedFrames : public platform::VideoFrames {
 public:
  explicit ScriptedFrames(int count, bool instant = true) : count_(count), instant_(instant) {}
  int frameCount() const override { return count_; }
  void wish(const platform::FrameWish& w) override {
    wishes.push_back(w);
    if (instant_) {
      finish(w.frame, w.view);
      if (w.next >= 0) finish(w.next, w.view);
    }
  }
  std::shared_ptr<const ViewPicture> ready(int frame, const VideoView& view) const override {
    const auto it = ready_.find({frame, view.width});
    return it != ready_.end() && it->second->view == view ? it->second : nullptr;
  }
  std::shared_ptr<const ViewPicture> nearest(int frame, const VideoView& view) const override {
    std::shared_ptr<const ViewPicture> best;
    for (const auto& [key, p] : ready_) {
      if (p->view == view && (!best || std::abs(p->frame - frame) < std::abs(best->frame - frame)))
        best = p;
    }
    return best;
  }
  void setReadyHandler(std::function<void()>) override {}

  // Frame n's picture for `view` is finished.
  void finish(int n, const VideoView& view) {
    auto p = std::make_shared<ViewPicture>();
    p->frame = n;
    p->view = view;
    p->pixels = {2, 1, {0xFF000000u | static_cast<std::uint32_t>(n), 0xFF000000u}};
    ready_[{n, view.width}] = p;
  }
  std::vector<platform::FrameWish> wishes;

 private:
  int count_;
  bool instant_;
  std::map<std::pair<int, int>, std::shared_ptr<const ViewPicture>> ready_;
};

// What the screen shows: the frames of the pictures drawn, bottom first, each with its share in
// 1/256 when blended ("7", "7+8@64"); "" for nothing.
std::string onScreen(const FakeCabView& view) {
  std::string s;
  for (const FakeCabView::Drawing& d : view.front) {
    const int n = d.picture.pixels.empty() ? -1 : static_cast<int>(d.picture.pixels[0] & 0xFFFFFF);
    if (d.opacity >= 1) {
      s += (s.empty() ? "" : " ") + std::to_string(n);
    } else {
      s += "+" + std::to_string(n) + "@" + std::to_string(static_cast<int>(d.opacity * 256 + 0.5));
    }
  }
  return s;
}

FramePosition at(int frame, int blend = 0, int direction = 1) {
  return {frame, frame + direction, blend};
}

struct Step {
  std::uint32_t atMs;  // clock when the pass runs
  FramePosition position;
  bool running;
  const char* wantScreen;   // what the screen shows after the pass
  std::uint32_t wantRetry;  // retry the pass asks for
};

TEST(VideoPresenter, DrawsChangedPicturesWhileRunningAtMostEvery33Ms) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  const std::vector<Case> cases = {
      {"unchanged position draws nothing", {{100, at(1), true, "", 0}, {200, at(1), true, "", 0}}},
      {"changed index draws once", {{100, at(5), true, "5", 0}, {140, at(5), true, "5", 0}}},
      {"stopped draws nothing", {{100, at(5), false, "", 0}, {200, at(6), false, "", 0}}},
      {"two changes within 33 ms: the later is drawn when the time is up",
       {{100, at(5), true, "5", 0},
        {110, at(6), true, "5", 23},
        {120, at(7), true, "5", 13},
        {133, at(7), true, "7", 0}}},
      {"index -1 and the frame count are skipped without error",
       {{100, at(-1), true, "", 0}, {200, at(50), true, "", 0}, {300, at(49), true, "49", 0}}},
      {"clock wrapping past 2^32 still measures 33 ms",
       {{0xFFFFFFF0u, at(3), true, "3", 0},
        {0x00000005u, at(4), true, "3", 12},
        {0x00000011u, at(4), true, "4", 0}}},
      {"a new share of the next frame is a new picture",
       {{100, at(5), true, "5", 0},
        {133, at(5, 64), true, "5+6@64", 0},
        {166, at(5, 64), true, "5+6@64", 0},
        {199, at(5, 200), true, "5+6@200", 0},
        {232, at(6), true, "6", 0}}},
      {"backwards the frame below is blended",
       {{100, at(9, 128, -1), true, "9+8@128", 0}, {133, at(8, 0, -1), true, "8", 0}}},
      {"the last frame has no next one to blend", {{100, at(49, 100), true, "49", 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeCabView view;
    view.initialise();
    ScriptedFrames frames(50);
    FakeClock clock;
    drive::ShownFrame shown;
    VideoPresenter presenter(view, &frames, clock, shown);
    for (const Step& s : c.steps) {
      clock.now = s.atMs;
      const VideoPresenter::Pass pass = presenter.pass(s.position, s.running);
      EXPECT_EQ(onScreen(view), s.wantScreen) << "at " << s.atMs;
      EXPECT_EQ(pass.retryInMs, s.wantRetry) << "at " << s.atMs;
      // Every picture is ready at once: nothing is waited for, whether it was drawn or not.
      EXPECT_FALSE(presenter.awaitsPicture()) << "at " << s.atMs;
    }
  }
}

// A jump: the picture is not decoded yet. A ready picture nearer than the one on the screen
// stands in for it, and ShownFrame says which frame is really shown; the right one comes with
// the first pass after it is finished. A picture further away is not shown.
TEST(VideoPresenter, AJumpShowsTheNearestReadyPictureUntilItsOwnIsDecoded) {
  FakeCabView view;
  view.initialise();
  ScriptedFrames frames(1000, false);
  FakeClock clock;
  drive::ShownFrame shown;
  VideoPresenter presenter(view, &frames, clock, shown);
  const VideoView v;
  frames.finish(100, v);
  clock.now = 1000;
  ASSERT_TRUE(presenter.pass(at(100), true).presented);

  struct Case {
    const char* name;
    std::vector<int> finished;  // pictures finished before the pass
    int frame;                  // the train's frame at the pass
    int blend;                  // and the share of the next one
    const char* wantScreen;
    int wantShown;
    bool wantAwaits;  // a picture finished from now on calls for another pass
  };
  const Case cases[] = {
      {"nothing nearer is ready: the screen stays", {}, 500, 0, "100", 100, true},
      {"a nearer picture stands in, recorded as itself", {480}, 500, 0, "480", 480, true},
      {"one further from the frame than the one shown is not shown",
       {103},
       500,
       0,
       "480",
       480,
       true},
      {"its own picture follows once it is finished", {500}, 500, 0, "500", 500, false},
      {"back to a frame whose picture is kept", {}, 103, 0, "103", 103, false},
      {"blending, the next picture not ready: the frame alone, waiting for the next",
       {300},
       300,
       128,
       "300",
       300,
       true},
      {"the next one finished: blended", {301}, 300, 128, "300+301@128", 300, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const int n : c.finished) frames.finish(n, v);
    clock.now += 40;
    presenter.pass(at(c.frame, c.blend), true);
    EXPECT_EQ(onScreen(view), c.wantScreen);
    EXPECT_EQ(shown.lastShown(), c.wantShown);
    EXPECT_EQ(shown.due(at(c.frame, c.blend)), c.wantAwaits);
    EXPECT_EQ(presenter.awaitsPicture(), c.wantAwaits);
    EXPECT_EQ(frames.wishes.back().frame, c.frame);
  }
}

TEST(VideoPresenter, RedrawStartRequestNewViewAndStillPicture) {
  FakeCabView view;
  ScriptedFrames frames(100, false);
  FakeClock clock;
  clock.now = 1000;
  drive::ShownFrame shown;
  VideoPresenter presenter(view, &frames, clock, shown);
  // Before the surface is initialised there are no off-screen images: nothing draws.
  EXPECT_FALSE(presenter.redraw(at(10), false));
  view.initialise();

  // Paused, the index moved (Shift+F5): the pass draws nothing; the redraw command waits for the
  // picture and draws it at the first pass after it is finished, paused as it is.
  EXPECT_FALSE(presenter.pass(at(10), false).presented);
  EXPECT_FALSE(presenter.redraw(at(10), false));
  EXPECT_TRUE(presenter.redrawWaiting());
  frames.finish(10, VideoView{});
  EXPECT_TRUE(presenter.pass(at(10), false).presented);
  EXPECT_EQ(onScreen(view), "10");
  EXPECT_FALSE(presenter.redrawWaiting());

  // Start with an unchanged index: the redraw request draws it again once.
  shown.requestRedraw();
  clock.now += 100;
  EXPECT_TRUE(presenter.pass(at(10), true).presented);
  clock.now += 100;
  EXPECT_FALSE(presenter.pass(at(10), true).presented);

  // A new view (full screen at factor 2, the whole picture) while paused: the same frame again,
  // at the new size, once its picture for that view is ready.
  const VideoView twice{960, 480, platform::VideoFit::Whole};
  presenter.setView(twice);
  EXPECT_FALSE(presenter.pass(at(11), false).presented);
  frames.finish(10, twice);
  EXPECT_TRUE(presenter.pass(at(11), false).presented);
  EXPECT_EQ(onScreen(view), "10");
  EXPECT_EQ(view.frontWidth, 960);
  EXPECT_EQ(frames.wishes.back().view, twice);

  // The still picture only while stopped, scaled to the view as a video picture is, and it
  // leaves the last-shown number alone; a new view shows it again at once.
  const platform::Bitmap still{480, 240, std::vector<std::uint32_t>(480 * 240, 0xFF000777u)};
  EXPECT_FALSE(presenter.showStill(still, true));
  EXPECT_TRUE(presenter.showStill(still, false));
  ASSERT_EQ(view.front.size(), 1u);
  EXPECT_TRUE(view.front[0].scaled);
  EXPECT_EQ(view.front[0].at, platform::placeVideo(480, 240, twice));
  EXPECT_EQ(presenter.lastShown(), 10);
  presenter.setView(VideoView{});
  EXPECT_EQ(view.front[0].at, platform::placeVideo(480, 240, VideoView{}));
  EXPECT_EQ(view.frontWidth, 480);

  // A surface that cannot draw keeps the frame waiting; the next pass draws it.
  frames.finish(11, VideoView{});
  view.drawable = false;
  clock.now += 100;
  EXPECT_FALSE(presenter.pass(at(11), true).presented);
  EXPECT_EQ(presenter.lastShown(), 10);
  view.drawable = true;
  EXPECT_TRUE(presenter.pass(at(11), true).presented);

  // Finalised surface, then stopped presenter: nothing draws.
  view.finalise();
  clock.now += 100;
  frames.finish(12, VideoView{});
  EXPECT_FALSE(presenter.pass(at(12), true).presented);
  view.initialise();
  presenter.stop();
  EXPECT_FALSE(presenter.pass(at(12), true).presented);
  EXPECT_EQ(onScreen(view), "11");
}

TEST(VideoPresenter, NoVideoDrawsNothing) {
  FakeCabView view;
  view.initialise();
  FakeClock clock;
  drive::ShownFrame shown;
  VideoPresenter presenter(view, nullptr, clock, shown);
  clock.now = 500;
  EXPECT_FALSE(presenter.pass(at(3), true).presented);
  EXPECT_FALSE(presenter.redraw(at(3), true));
  EXPECT_FALSE(presenter.redrawWaiting()) << "nothing to wait for";
  EXPECT_EQ(view.presents, 0);
}

}  // namespace
}  // namespace dravolin::testing
