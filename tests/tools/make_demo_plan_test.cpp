// The demo generator's plan, timetables, sound lists and scenery, tested through its library.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <string>

#include "tools/make-demo/demo.h"
#include "tools/make-demo/plan.h"
#include "tools/make-demo/scene.h"

namespace dravolin::demo {
namespace {

const Plan& plan() {
  static const Plan p = makePlan();
  return p;
}

// The recorded run: rows follow each other, speeds change at believable rates, the run lasts 6
// to 8 minutes and the camera never moves backwards.
TEST(DemoPlan, RecordedRunIsContinuousAndBelievable) {
  const Plan& p = plan();
  ASSERT_FALSE(p.rows.empty());
  EXPECT_EQ(p.rows.front().f0, 0);
  for (std::size_t i = 0; i < p.rows.size(); ++i) {
    const SpeedRow& r = p.rows[i];
    SCOPED_TRACE(i);
    EXPECT_LT(r.f0, r.f1);
    EXPECT_GE(std::min(r.v0, r.v1), 0);
    EXPECT_LE(std::max(r.v0, r.v1), 95);
    if (i + 1 < p.rows.size()) {
      EXPECT_EQ(r.f1, p.rows[i + 1].f0);
      EXPECT_EQ(r.v1, p.rows[i + 1].v0);
    }
    const double rate = std::abs(r.v1 - r.v0) * double(kFps) / (r.f1 - r.f0);
    EXPECT_LE(rate, 3.3);  // km/h/s, no jumps
  }
  EXPECT_EQ(p.frameCount(), p.rows.back().f1 + 1);
  EXPECT_GE(p.frameCount(), 6 * 60 * kFps);
  EXPECT_LE(p.frameCount(), 8 * 60 * kFps);
  for (int f = 1; f < p.frameCount(); ++f) ASSERT_GE(p.frameM[f], p.frameM[f - 1]) << f;
}

// The camera's distance per frame is the loader's: (Vs + Ve) x frames / 2.16 cm a row.
TEST(DemoPlan, CameraFollowsTheSpeedRowsLikeTheLoader) {
  const Plan& p = plan();
  double cm = 0;
  for (const SpeedRow& r : p.rows) {
    cm += std::round(double((r.v0 + r.v1) * (r.f1 - r.f0)) / 2.16);
    EXPECT_NEAR(p.frameM[r.f1] * 100, cm, 1.0 + p.rows.size() * 0.5) << r.f1;
  }
  for (int f : {0, 100, 5000, p.frameCount() - 1}) {
    EXPECT_EQ(p.frameAt(p.frameM[f]), std::min(f, p.frameAt(p.frameM[f])));
    EXPECT_LE(p.frameM[p.frameAt(p.frameM[f])], p.frameM[f] + 1e-9);
  }
}

// Whatever the line puts on a frame, the recorded run agrees with it.
TEST(DemoPlan, PlacesAgreeWithTheRecordedRun) {
  const Plan& p = plan();
  ASSERT_EQ(p.stations.size(), 4u);
  for (const Station& s : p.stations) {
    SCOPED_TRACE(s.name);
    // The recording stands at the stop, creeping at kStandKmh (never 0, so that a train
    // following the recording's speed leaves again).
    EXPECT_EQ(p.speedAt(s.stopFrame), kStandKmh);
    const double mid = (s.rangeStart + s.rangeEnd) / 2.0;
    EXPECT_EQ(p.speedAt(static_cast<int>(mid)), kStandKmh);
    EXPECT_NEAR(p.frameM[static_cast<int>(mid)], s.stopM, 0.3);
  }
  for (const CurvePlan& c : p.curves) {
    // Through a curve the recording keeps below its limit.
    for (int f = p.frameAt(c.fromM); f <= p.frameAt(c.toM); ++f) {
      ASSERT_LE(p.speedAt(f), c.limit) << f;
    }
    EXPECT_GT(c.toM - c.fromM, 200);
  }
  // The tunnel and the bridge lie between stations; the oncoming train meets the camera after
  // the tunnel; the crossing is before the last station.
  for (const Range& r : {p.tunnel, p.bridge}) {
    for (const Station& s : p.stations)
      EXPECT_TRUE(r.toM < s.stopM - 200 || r.fromM > s.stopM + 100);
  }
  EXPECT_GT(p.passingM, p.tunnel.toM);
  EXPECT_NEAR(p.frameM[p.passingFrame], p.passingM, 3);
  EXPECT_LT(p.crossingM, p.stations.back().stopM);
  EXPECT_GT(p.crossingM, p.stations[2].stopM + 300);
  // Slopes are contiguous from the start to beyond the end; stations are level.
  EXPECT_EQ(p.slopes.front().fromM, 0);
  for (std::size_t i = 1; i < p.slopes.size(); ++i)
    EXPECT_EQ(p.slopes[i].fromM, p.slopes[i - 1].toM);
  EXPECT_GT(p.slopes.back().toM, p.lengthM());
  for (const Station& s : p.stations) EXPECT_EQ(p.gradientAt(s.stopM), 0) << s.name;
}

TEST(DemoPlan, SignalsProtectEveryBlockWithin700Metres) {
  const Plan& p = plan();
  ASSERT_GE(p.blockSignals.size(), 10u);
  std::set<std::string> names;
  for (std::size_t i = 0; i < p.blockSignals.size(); ++i) {
    const SignalPlan& s = p.blockSignals[i];
    names.insert(s.name);
    EXPECT_TRUE(s.kind == 2 || s.kind == 3);
    if (i == 0) continue;
    const double gap = s.posM - p.blockSignals[i - 1].posM;
    EXPECT_LE(gap, 700.5) << s.name;
    // Block signals between stations are at least 500 m apart.
    if (s.kind == 3 || p.blockSignals[i - 1].kind == 3) {
      EXPECT_GE(gap, 500) << s.name;
    }
    // A check frame is never on a row boundary (it would get no pattern check point).
    const int check = p.insideRow(p.frameAt(s.posM - 15));
    for (const SpeedRow& r : p.rows) EXPECT_TRUE(check != r.f0 && check != r.f1) << s.name;
  }
  EXPECT_EQ(names.size(), p.blockSignals.size());  // every name tells the signal
}

// A driver who leaves the first station at once meets the timetable train's stop or caution
// signals; one who leaves on time finds it at least two blocks ahead.
TEST(DemoTimetable, AnEarlyDriverMeetsRestrictiveSignals) {
  const Plan& p = plan();
  for (bool rapid : {true, false}) {
    SCOPED_TRACE(rapid ? "rapid" : "local");
    const Timetable t = timetable(p, rapid);
    // The timetable train's frame when our train reaches the first starting signal, if it left
    // at `leave` ticks after the start and ran as the recording did.
    const SignalPlan& starting = p.blockSignals[0];
    const int reach = p.frameAt(starting.posM) - p.startPos;
    auto blockOfGhost = [&](int leave) {
      const int ghost = p.startPos + t.preTime * kFps + leave + reach;
      int block = -1;
      for (std::size_t i = 0; i < p.blockSignals.size(); ++i) {
        if (p.frameAt(p.blockSignals[i].posM) < ghost) block = static_cast<int>(i);
      }
      return block;  // index of the last signal the ghost has passed
    };
    EXPECT_LE(blockOfGhost(0), 1);                          // stop or caution
    EXPECT_GE(blockOfGhost(t.depart[0] - t.startTime), 2);  // clear on time
    ASSERT_EQ(t.arrive.size(), p.stations.size());
    for (std::size_t i = 0; i < p.stations.size(); ++i) {
      EXPECT_LE(t.arrive[i], t.depart[i]);
      EXPECT_LT(t.melody[i], t.depart[i]);
      if (i > 0) {
        EXPECT_GT(t.arrive[i], t.depart[i - 1]);
      }
    }
  }
  EXPECT_LT(timetable(p, true).arrive.back() - timetable(p, true).startTime,
            timetable(p, false).arrive.back() - timetable(p, false).startTime);
}

TEST(DemoSounds, CallOutsAndAnnouncements) {
  const struct {
    int n;
    const char* kana;
  } numbers[] = {{1, "いち"},       {11, "じゅういち"},    {15, "じゅうご"},
                 {20, "にじゅう"},  {45, "よんじゅうご"},  {100, "ひゃく"},
                 {105, "ひゃくご"}, {110, "ひゃくじゅう"}, {120, "ひゃくにじゅう"}};
  for (const auto& c : numbers) EXPECT_EQ(kanaNumber(c.n), c.kana) << c.n;

  const auto calls = callOuts();
  ASSERT_EQ(calls.size(), 28u);
  EXPECT_EQ(calls[0].kana, "ていし");
  EXPECT_EQ(calls[6].kana, "せいげん じゅうご");
  EXPECT_EQ(calls[27].kana, "せいげん ひゃくにじゅう");
  EXPECT_EQ(calls[27].file, "sound\\callout\\k27.wav");

  const Plan& p = plan();
  for (bool rapid : {true, false}) {
    const auto sounds = lineSounds(p, rapid);
    ASSERT_GT(sounds.size(), 3u);
    std::set<std::string> files;
    for (std::size_t i = 3; i < sounds.size(); ++i) {
      EXPECT_FALSE(sounds[i].kana.empty());
      EXPECT_GT(sounds[i].frame, p.startPos);
      EXPECT_LT(sounds[i].frame, p.frameCount());
      files.insert(sounds[i].file);
      // The rapid service never announces its arrival at the station it passes.
      if (rapid) {
        EXPECT_EQ(sounds[i].kana.find("まもなく " + p.stations[p.passedStation].kana),
                  std::string::npos);
      }
    }
    EXPECT_EQ(files.size(), sounds.size() - 3);
  }
  const auto e231 = driveSounds(true);
  ASSERT_EQ(e231.size(), static_cast<std::size_t>(kDriveCount));
  EXPECT_EQ(e231[0], "sound\\e231\\run00.wav");
  EXPECT_EQ(e231[12], "sound\\e231\\run12.wav");
  EXPECT_EQ(e231[kStopSound], "sound\\e231\\stop.wav");
  EXPECT_EQ(e231[kAtsBell], "sound\\common\\ats_bell.wav");
  EXPECT_EQ(driveSounds(false)[kHorn1], "sound\\205\\horn1.wav");
}

// The scenery: drawn pictures show what the plan puts at their frame.
class DemoScene : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "make_demo_plan_test";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) app_ = std::make_unique<QGuiApplication>(argc, argv);
    scene_ = std::make_unique<Scene>(plan());
  }
  static void TearDownTestSuite() {
    scene_.reset();
    app_.reset();
  }

  // Mean brightness (0 to 255) and the share of pixels matching `test` in a rectangle.
  template <typename Test>
  static std::pair<double, double> look(int frame, QRect r, Test test) {
    QImage img(480, 240, QImage::Format_RGB32);
    scene_->render(frame, img);
    double sum = 0, hits = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
      for (int x = r.left(); x <= r.right(); ++x) {
        const QColor c = img.pixelColor(x, y);
        sum += c.value();
        hits += test(c) ? 1 : 0;
      }
    }
    const double n = double(r.width()) * r.height();
    return {sum / n, hits / n};
  }

  static std::unique_ptr<QGuiApplication> app_;
  static std::unique_ptr<Scene> scene_;
};
std::unique_ptr<QGuiApplication> DemoScene::app_;
std::unique_ptr<Scene> DemoScene::scene_;

TEST_F(DemoScene, FramesShowTheirPlaces) {
  const Plan& p = plan();
  const QRect all(0, 0, 480, 240);
  auto any = [](const QColor&) { return false; };
  // Inside the tunnel the view is dark; outside it is daylight.
  const int inTunnel = p.frameAt((p.tunnel.fromM + p.tunnel.toM) / 2);
  EXPECT_LT(look(inTunnel, all, any).first, 60);
  EXPECT_GT(look(p.startPos, all, any).first, 110);
  // A signal 60 m ahead shows its green lamp left of the track.
  const int beforeSignal = p.frameAt(p.blockSignals[1].posM - 60);
  auto green = [](const QColor& c) { return c.green() > 200 && c.red() < 140 && c.blue() > 120; };
  EXPECT_GT(look(beforeSignal, QRect(0, 0, 240, 120), green).second, 0.0);
  // Over the bridge the river is below the horizon; a second after the passing train
  // meets the camera the right half shows
  auto water = [](const QColor& c) {
    return c.blue() > 140 && c.blue() > c.green() + 20 && c.red() < 110;
  };
  EXPECT_GT(look(p.frameAt(p.bridge.fromM - 40), QRect(0, 90, 480, 40), water).second, 0.2);
  // its orange stripe.
  auto orange = [](const QColor& c) {
    return c.red() > 200 && c.green() > 90 && c.green() < 170 && c.blue() < 90;
  };
  EXPECT_GT(look(p.passingFrame + kFps, QRect(240, 0, 240, 240), orange).second, 0.01);
  EXPECT_EQ(look(p.passingFrame - 60 * kFps, QRect(240, 0, 240, 240), orange).second, 0.0);
}

TEST_F(DemoScene, RendersTheSameFrameTheSameWay) {
  QImage a(480, 240, QImage::Format_RGB32), b(480, 240, QImage::Format_RGB32);
  for (int f : {0, 4000, plan().frameCount() - 1}) {
    scene_->render(f, a);
    Scene(plan()).render(f, b);
    EXPECT_TRUE(a == b) << f;
  }
}

}  // namespace
}  // namespace dravolin::demo
