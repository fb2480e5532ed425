// Screenshots of the demo installation for a person to look at: the title screen and the
// rapid's cab at three places on the line (at a station, in the tunnel with its panel, at a
// block signal at caution), saved as PNG files into the build folder (demo_*.png). The demo is
// the folder DRAVOLIN_DEMO_DIR names (a full demo, with its video), or else the fast demo
// written into a temporary folder (no video: the cab view stays black).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QtTest>
#include <cstdlib>

#include "fixtures/run_tool.h"
#include "input/input_state.h"
#include "shell/cab_widget.h"
#include "shell/drive_adapter.h"
#include "shell/title_window.h"
#include "shell/value_display_window.h"
#include "shell_fixture.h"
#include "sim/signals.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;

// The demo folder: DRAVOLIN_DEMO_DIR, or the fast demo written for this test.
class DemoFolder {
 public:
  DemoFolder() {
    const char* dir = std::getenv("DRAVOLIN_DEMO_DIR");
    if (dir != nullptr && *dir != '\0') {
      path_ = dir;
      return;
    }
    path_ = temporary_.path() / "demo";
    made_ = runTool(DRAVOLIN_MAKE_DEMO_EXE, quoted(path_.string()) + " --fast");
  }
  const fs::path& path() const { return path_; }
  const ToolRun& made() const { return made_; }

 private:
  TemporaryFolder temporary_;
  fs::path path_;
  ToolRun made_{0, {}, {}};
};

// Types a character key into the driving window.
void type(QWidget& w, char c) {
  QKeyEvent e(QEvent::KeyPress, Qt::Key_0 + (c - '0'), Qt::NoModifier, QString(QChar(c)));
  QApplication::sendEvent(&w, &e);
}

// The redraw command, and the wait for its picture from the decoding thread.
void redraw(shell::DrivingWindow& d) {
  d.redrawAction()->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !d.presenter().redrawWaiting(); }, 20000));
}

// Puts the paused drive at `frame`, moving the timetable train's schedule and the clock by the
// same time when `scheduleFrame` is given, runs ten display ticks (the clock shows every tenth)
// and draws the frame.
void placeTrain(shell::DrivingWindow& d, int frame, int speedKmh,
                std::optional<int> scheduleFrame = std::nullopt) {
  sim::TrainState& s = d.drive().state();
  s.FrameIndex = frame;
  s.Speed = sim::Fixed::fromInt(speedKmh);
  if (scheduleFrame) {
    const int frameRate = d.drive().data().files.line.params.FrameRate;
    const int ticksPerFrame = frameRate >= 1 ? std::max(30 / frameRate, 1) : 1;
    s.ClockTicks += (*scheduleFrame - s.ScheduleFrame) * ticksPerFrame;
    s.ScheduleFrame = *scheduleFrame;
  }
  d.simulationTick();  // the position step: recording speed and distance at the new frame
  for (int i = 0; i < 10; ++i) d.displayTick();
  redraw(d);
}

TEST(DemoScreenshots, TitleAndCabAtAStationInTheTunnelAndAtCaution) {
  MessageRecorder messages;
  const DemoFolder demo;
  ASSERT_EQ(demo.made().status, 0) << demo.made().err;
  FakeSoundSlots sound;
  shell::ValueDisplayWindow values;
  input::ProgramInputState program;
  shell::TitleWindow::Context context;
  context.driving.dataDir = demo.path();
  context.driving.sound = &sound;
  context.driving.valueDisplay = &values;
  context.driving.makeDrive = shell::makeDriveFactory(program);
  shell::TitleWindow title(context);
  title.show();
  title.Timer1Timer();
  if (title.openingShown()) QTest::mouseClick(title.childAt(100, 100), Qt::LeftButton);
  ASSERT_FALSE(title.openingShown());
  for (int i = 0; i < 15; ++i) title.Timer1Timer();
  ASSERT_TRUE(title.button(11)->isVisible());
  saveScreenshot(title, "demo_title.png");

  title.TrainClick(2);  // E231 rapid
  shell::DrivingWindow* d = title.drivingWindow();
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(messages.texts.empty()) << messages.texts.front();
  const data::LineFile& line = d->drive().data().files.line;
  const sim::CabModel& cab = d->drive().cab();
  // Before Start the panel shows its start-up state: needles at rest, no lamp of a running train.
  // Activated while stopped, the window shows the still picture; once that is done, the frames
  // drawn below stay on the screen.
  EXPECT_TRUE(QTest::qWaitForWindowActive(d));
  saveScreenshot(*d, "demo_before_start.png");
  d->start1Click();
  d->start1Click();  // paused: only the test moves the drive

  // At 川辺, through the "Move" menu, with the doors open.
  QAction* kawabe = nullptr;
  for (QAction* a : d->moveMenu()->actions()) {
    if (a->text() == "川辺") kawabe = a;
  }
  ASSERT_NE(kawabe, nullptr);
  kawabe->trigger();
  placeTrain(*d, d->drive().state().FrameIndex, 0);
  EXPECT_EQ(cab.Label4.text.substr(0, 6), "川辺");  // the next station
  saveScreenshot(*d, "demo_station.png");

  // F1 slides the timetable card in, 30 pixels a display tick: readable whole beside the sign
  // column (the signal, the stop marker, the limit, gradient and other signs, the stop line)
  // and above the clock and the speed. F1 again slides it out.
  QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
  QApplication::sendEvent(d, &f1);
  for (int i = 0; i < 10; ++i) d->displayTick();
  redraw(*d);
  ASSERT_TRUE(cab.Staf.exists);
  EXPECT_EQ(cab.Staf.left, 640 - cab.Staf.width);
  const QRect card(cab.Staf.left, cab.Staf.top, cab.Staf.width, cab.Staf.height);
  for (const sim::CabPicture* sign :
       {&cab.SignalImage, &cab.stop, &cab.SpeedLimitImage, &cab.SlopeImage, &cab.OtherImage}) {
    EXPECT_FALSE(card.intersects(QRect(sign->left, sign->top, sign->width, sign->height)))
        << sign->left << "," << sign->top;
  }
  EXPECT_FALSE(card.intersects(QRect(cab.stopline.left, 0, cab.stopline.width, 240)));
  for (const sim::CabLabel* label : {&cab.Label3, &cab.digi_speed}) {
    EXPECT_FALSE(card.intersects(shell::CabWidget::labelRect(cab, *label))) << label->text;
  }
  EXPECT_FALSE(card.intersects(QRect(cab.clock.left, cab.clock.top, 50, 50)));
  saveScreenshot(*d, "demo_timetable.png");
  QApplication::sendEvent(d, &f1);
  for (int i = 0; i < 10; ++i) d->displayTick();
  EXPECT_EQ(cab.Staf.left, 640);

  // In the middle of the tunnel at 80 km/h under power (released, then P2): the tunnel panel is
  // shown.
  for (const char c : {'5', '8', '8'}) type(*d, c);
  ASSERT_FALSE(line.tunnels.empty());
  const data::TunnelRecord& tunnel = line.tunnels.front();
  placeTrain(*d, (tunnel.firstFrame + tunnel.lastFrame) / 2, 80);
  EXPECT_TRUE(cab.Panel2.visible);
  saveScreenshot(*d, "demo_tunnel.png");

  // Coasting at 60 km/h towards a block signal while the timetable train runs two blocks ahead:
  // the signal shows Y.
  type(*d, '5');
  const std::vector<sim::SignalRecord>& signals = line.signals;
  std::size_t k = 0;
  while (k + 2 < signals.size() &&
         !(signals[k].kind == 3 && signals[k + 1].kind != 0 && signals[k + 2].kind != 0)) {
    ++k;
  }
  ASSERT_LT(k + 2, signals.size());
  const int frame = std::max(signals[k].displayFromFrame, signals[k].boundaryFrame - 150);
  placeTrain(*d, frame, 60, (signals[k + 1].boundaryFrame + signals[k + 2].boundaryFrame) / 2);
  EXPECT_EQ(sim::indicationClass(cab.SignalImage.image), sim::IndicationClass::Y)
      << signals[k].nameUtf8;
  saveScreenshot(*d, "demo_caution.png");

  d->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The line video at scale 1 and 2, filling the width and whole (demo_video_fill_1.png,
// demo_video_whole_1.png, demo_video_fill_2.png, demo_video_whole_2.png), at 川辺. With a demo
// whose line video is larger than the cab view (an HD video in DRAVOLIN_DEMO_DIR) the pictures
// show how it is fitted; the surface has the screen's pixels at each scale.
TEST(DemoScreenshots, LineVideoFilledAndWholeAtScaleOneAndTwo) {
  MessageRecorder messages;
  const DemoFolder demo;
  ASSERT_EQ(demo.made().status, 0) << demo.made().err;
  FakeSoundSlots sound;
  shell::ValueDisplayWindow values;
  input::ProgramInputState program;
  shell::TitleWindow::Context context;
  context.driving.dataDir = demo.path();
  context.driving.sound = &sound;
  context.driving.valueDisplay = &values;
  context.driving.makeDrive = shell::makeDriveFactory(program);
  for (const int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    context.driving.scale = scale;
    shell::TitleWindow title(context);
    title.show();
    title.Timer1Timer();
    if (title.openingShown()) QTest::mouseClick(title.childAt(100, 100), Qt::LeftButton);
    title.TrainClick(2);
    shell::DrivingWindow* d = title.drivingWindow();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowActive(d));
    d->start1Click();
    d->start1Click();
    for (QAction* a : d->moveMenu()->actions()) {
      if (a->text() == "川辺") a->trigger();
    }
    placeTrain(*d, d->drive().state().FrameIndex - 60, 0);
    for (const auto& [fit, name] : {std::pair{platform::VideoFit::FillWidth, "fill"},
                                    std::pair{platform::VideoFit::Whole, "whole"}}) {
      d->setVideoFit(fit);
      EXPECT_TRUE(d->fitAction(fit)->isChecked());
      EXPECT_TRUE(QTest::qWaitFor([&] { return !d->presenter().redrawWaiting(); }, 20000));
      if (d->videoFrames() != nullptr) {
        EXPECT_EQ(d->surface().frontBuffer().size(), QSize(480 * scale, 240 * scale));
      }
      const std::string file = "demo_video_" + std::string(name) + "_" + std::to_string(scale) +
                               ".png";
      saveScreenshot(*d, file.c_str());
    }
    d->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

}  // namespace
}  // namespace dravolin::testing
