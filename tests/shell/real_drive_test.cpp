// The driving window with the program's own drive on the fixture data: keys, characters and the
// wheel move the handles shown in the cab model, F5 shows the value display window, which keeps
// its visibility and caption from one drive to the next, and the display tick names the window
// after the line.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QWheelEvent>
#include <QtTest>

#include "input/input_state.h"
#include "platform/socat_pair.h"
#include "shell/drive_adapter.h"
#include "shell/title_window.h"
#include "shell/value_display_window.h"
#include "shell_fixture.h"

namespace dravolin::testing {
namespace {

void type(QWidget* w, int key, const char* text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent e(QEvent::KeyPress, key, mods, QString::fromLatin1(text));
  QApplication::sendEvent(w, &e);
}

void wheel(QWidget* w, int angle) {
  QWheelEvent e(QPointF(10, 10), QPointF(10, 10), {}, QPoint(0, angle), Qt::NoButton,
                Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &e);
}

// The title window of the fixture data with the program's own drive, the fake sound service and,
// when asked, a value display window: what each test of this file drives.
struct RealDriveSetup {
  explicit RealDriveSetup(bool withValueDisplay) {
    context.driving.dataDir = folder.path();
    context.driving.sound = &sound;
    if (withValueDisplay) context.driving.valueDisplay = &values;
    context.driving.makeDrive = shell::makeDriveFactory(program);
    context.trains = {};
    context.trains[0] = shell::TrainChoice{"test_train.dat", "test_line.dat"};
  }
  MessageRecorder messages;
  DataFolder folder;
  FakeSoundSlots sound;
  shell::ValueDisplayWindow values;
  input::ProgramInputState program;
  shell::TitleWindow::Context context;
};

TEST(DrivingWindowWithDrive, KeysAndWheelMoveTheHandlesInTheCab) {
  RealDriveSetup setup(true);
  auto& [messages, folder, sound, values, program, context] = setup;
  shell::TitleWindow title(context);
  title.show();
  title.TrainClick(1);
  shell::DrivingWindow* d = title.drivingWindow();
  ASSERT_NE(d, nullptr);
  const sim::CabModel& cab = d->drive().cab();
  sim::TrainState& s = d->drive().state();

  d->start1Click();
  struct Step {
    const char* what;
    std::function<void()> act;
    int power;
    int brake;
    std::string powerLabel;
  };
  const std::vector<Step> steps = {
      {"5 releases everything", [&] { type(d, Qt::Key_5, "5"); }, 0, 0, "切"},
      {"8 one step to power", [&] { type(d, Qt::Key_8, "8"); }, 1, 0, "P1"},
      {"z as 8", [&] { type(d, Qt::Key_Z, "z"); }, 2, 0, "P2"},
      {"Z in upper case does nothing", [&] { type(d, Qt::Key_Z, "Z", Qt::ShiftModifier); }, 2, 0,
       "P2"},
      {"wheel up one step to brake", [&] { wheel(d, 120); }, 1, 0, "P1"},
      {"wheel up two notches", [&] { wheel(d, 240); }, 0, -1, "切"},
      {"wheel down one notch", [&] { wheel(d, -120); }, 0, 0, "切"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    EXPECT_EQ(s.PowerHandle, step.power);
    EXPECT_EQ(s.BrakeHandle, step.brake);
    EXPECT_EQ(cab.PowerLabel.text, step.powerLabel);
  }

  // F5 shows the value display window; Shift+F6 moves the frame 100 on.
  type(d, Qt::Key_F5, "");
  EXPECT_TRUE(values.isVisible());
  const int frame = s.FrameIndex;
  type(d, Qt::Key_F6, "", Qt::ShiftModifier);
  EXPECT_EQ(s.FrameIndex, frame + 100);
  // Keys typed in the value display window reach the drive too.
  type(&values, Qt::Key_8, "8");
  EXPECT_EQ(s.PowerHandle, 1);
  type(&values, Qt::Key_F5, "");
  EXPECT_FALSE(values.isVisible());

  d->displayTick();
  EXPECT_EQ(d->windowTitle().toStdString(), "ソ表線");
  saveScreenshot(*d, "driving_window_drive.png");
  d->close();
  EXPECT_TRUE(title.isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The Controller menu connects the box on COM1 (a pseudo-terminal here); its codes move the
// handles; closing the window disconnects it with one message.
TEST(DrivingWindowWithDrive, ControllerBoxOnCom1MovesTheHandles) {
  if (!SocatPair::available()) GTEST_SKIP() << "socat is not installed";
  SocatPair pair;
  ASSERT_TRUE(pair.start());
  qputenv("DRAVOLIN_COM1", QByteArray::fromStdString(pair.portEnd()));
  RealDriveSetup setup(false);
  auto& [messages, folder, sound, values, program, context] = setup;
  shell::TitleWindow title(context);
  title.TrainClick(1);
  shell::DrivingWindow* d = title.drivingWindow();
  ASSERT_NE(d, nullptr);
  messages.texts.clear();
  d->controllerMenu()->actions().at(0)->trigger();  // COM1
  EXPECT_EQ(messages.texts, std::vector<std::string>({"Connect to controller."}));
  ASSERT_TRUE(pair.write("P0002"));  // line 2 of mascon.dat: power P2
  EXPECT_TRUE(pumpUntil([&] { return d->drive().state().PowerHandle == 2; }, 5000));
  d->close();
  EXPECT_EQ(messages.texts,
            std::vector<std::string>({"Connect to controller.", "Disconnect from controller."}));
  qunsetenv("DRAVOLIN_COM1");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The value display window is the program's: a new drive neither hides it nor resets the
// caption the controller box gave it; only F5 shows or hides it.
TEST(DrivingWindowWithDrive, ValueDisplayWindowLastsFromOneDriveToTheNext) {
  RealDriveSetup setup(true);
  auto& [messages, folder, sound, values, program, context] = setup;
  shell::TitleWindow title(context);
  const struct {
    const char* what;
    bool f5;                 // F5 pressed once in the drive
    const char* controller;  // a message of the controller box, or null
    bool shownAtStart;       // the window when the drive has loaded
    bool shownAfter;         // after F5 and the display tick
    const char* captionAfter;
  } drives[] = {
      {"first drive: F5 shows it, the box names it", true, "P0003", false, true, "P0003"},
      {"second drive: still shown, F5 hides it", true, nullptr, true, false, "P0003"},
      {"third drive: still hidden", false, "B0002", false, false, "B0002"},
      {"fourth drive: F5 shows it with the last caption", true, nullptr, false, true, "B0002"},
  };
  for (const auto& drive : drives) {
    SCOPED_TRACE(drive.what);
    title.TrainClick(1);
    shell::DrivingWindow* d = title.drivingWindow();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(values.isVisible(), drive.shownAtStart);
    EXPECT_EQ(d->drive().valueDisplay().visible, drive.shownAtStart);
    d->start1Click();
    if (drive.f5) type(d, Qt::Key_F5, "");
    if (drive.controller != nullptr) d->drive().RxChar(drive.controller);
    d->displayTick();
    EXPECT_EQ(values.isVisible(), drive.shownAfter);
    EXPECT_EQ(values.windowTitle().toStdString(), drive.captionAfter);
    d->close();
    EXPECT_EQ(values.isVisible(), drive.shownAfter) << "closing a drive leaves it as it is";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

}  // namespace
}  // namespace dravolin::testing
