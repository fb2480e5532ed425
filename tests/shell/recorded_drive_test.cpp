// A drive driven in the window is recorded; the recording replayed headless, and in the window,
// gives the window's own trace, millisecond for millisecond.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWheelEvent>
#include <QtTest>
#include <fstream>
#include <sstream>

#include "drive/drive.h"
#include "drive/recording.h"
#include "drive/script.h"
#include "drive/script_controller.h"
#include "input/input_state.h"
#include "platform/virtual_sound_slots.h"
#include "shell/drive_adapter.h"
#include "shell/drive_clock.h"
#include "shell_fixture.h"
#include "tools/drive/run_drive.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kColumns =
    "t_ms,Speed,PowerNotch,BrakeNotch,FrameIndex,Distance,ClockTicks,DoorsOpen,BcPressure,"
    "StationLabel,PowerLabel,BrakeLabel";

void type(QWidget* w, int key, const char* text) {
  QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier, QString::fromLatin1(text));
  QApplication::sendEvent(w, &e);
}

void wheel(QWidget* w, int angle) {
  QWheelEvent e(QPointF(10, 10), QPointF(10, 10), {}, QPoint(0, angle), Qt::NoButton,
                Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &e);
}

void pumpFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

std::string slurpFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The trace rows of a window's drive, every 100 virtual ms, in the tool's columns.
struct WindowTrace {
  std::vector<tools::ColumnFormatter> formatters;
  std::string text;
  shell::DrivingWindow* window = nullptr;

  WindowTrace() {
    std::string error;
    formatters = *tools::columns(kColumns, error);
  }
  void row(int t) {
    if (t % 100 != 0 || window == nullptr) return;
    tools::DriveView v;
    v.timeMs = t;
    v.state = &window->drive().state();
    v.cab = &window->drive().cab();
    v.evaluation = window->drive().evaluation();
    for (std::size_t i = 0; i < formatters.size(); ++i) {
      text += (i == 0 ? "" : ",") + formatters[i](v);
    }
    text += '\n';
  }
};

shell::DrivingWindow::Context windowContext(const fs::path& data, platform::SoundSlots& sound,
                                            input::ProgramInputState& program, WindowTrace& trace) {
  shell::DrivingWindow::Context c;
  c.dataDir = data;
  c.sound = &sound;
  c.makeDrive = shell::makeDriveFactory(program);
  c.afterVirtualMs = [&trace](int t) { trace.row(t); };
  return c;
}

TEST(RecordedDrive, WindowDriveReplaysToTheSameTrace) {
  MessageRecorder messages;
  DataFolder folder;
  TemporaryFolder recordings;
  platform::VirtualSoundSlots sound;
  sound.initialise();
  input::ProgramInputState program;
  const drive::LoadRequest request{folder.path(), "test_train.dat", "test_line.dat"};

  // The drive in the window, its inputs typed at whatever moments the event loop gives them.
  WindowTrace windowTrace;
  {
    shell::DrivingWindow::Context c = windowContext(folder.path(), sound, program, windowTrace);
    c.recordingsFolder = recordings.path();
    shell::DrivingWindow d(c, request, {});
    windowTrace.window = &d;
    d.show();
    d.start1Click();
    type(&d, Qt::Key_5, "5");
    pumpFor(300);
    type(&d, Qt::Key_8, "8");
    type(&d, Qt::Key_8, "8");
    wheel(&d, -120);
    pumpFor(1500);
    type(&d, Qt::Key_2, "2");
    pumpFor(400);
    wheel(&d, 240);
    pumpFor(700);
    EXPECT_GT(d.clock().doneMs(), 1000);  // about 2900 ms, less on a busy machine
    d.close();
    windowTrace.window = nullptr;
  }

  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(recordings.path())) files.push_back(e.path());
  ASSERT_EQ(files.size(), 1u);
  const std::string text = slurpFile(files[0]);
  std::string error;
  const auto header = drive::parseRecordingHeader(text, error);
  ASSERT_TRUE(header) << error;
  EXPECT_EQ(header->trainFile, "test_train.dat");
  EXPECT_GE(header->files.size(), 4u);  // settings, controller map, train, line, pictures, ...
  EXPECT_EQ(drive::checkRecordedFiles(*header, folder.path()), "");
  auto events = drive::parseScript(text, error);
  ASSERT_TRUE(events) << error;
  const std::optional<int> end = drive::scriptEndMs(*events);
  ASSERT_TRUE(end);
  std::vector<std::string> kinds;
  for (const drive::ScriptEvent& e : *events) kinds.push_back(e.text);
  EXPECT_EQ(kinds, (std::vector<std::string>{"start", "key 53", "char 5", "key 56", "char 8",
                                             "key 56", "char 8", "wheel down", "key 50", "char 2",
                                             "wheel up", "wheel up", "end"}));

  // Headless, as dravolin-drive runs it, to the millisecond before the end.
  {
    platform::VirtualSoundSlots headlessSound;
    headlessSound.initialise();
    platform::FilePictureLoader pictures;
    input::ProgramInputState headlessProgram;
    auto drive =
        drive::Drive::FormCreate(request, {pictures, headlessSound, nullptr}, headlessProgram);
    std::ostringstream out;
    std::vector<std::string> names;
    for (std::string_view rest = kColumns; !rest.empty();) {
      const std::size_t comma = rest.find(',');
      names.emplace_back(rest.substr(0, comma));
      rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    }
    tools::runDrive(*drive, headlessSound, *events, names, *end - 1, 100, {out});
    const std::string headless = out.str();
    const std::string rows = headless.substr(headless.find('\n') + 1);
    EXPECT_EQ(rows, windowTrace.text);
    EXPECT_GT(std::count(rows.begin(), rows.end(), '\n'), 10);
    // The inputs moved the handles: the first and last rows differ beyond the time.
    const std::string first = rows.substr(rows.find(','), rows.find('\n') - rows.find(','));
    const std::size_t lastStart = rows.rfind('\n', rows.size() - 2) + 1;
    const std::string last =
        rows.substr(rows.find(',', lastStart), rows.size() - 1 - rows.find(',', lastStart));
    EXPECT_NE(first, last);
  }

  // In the window again, at real speed, the driver's inputs shown and not taken.
  WindowTrace replayTrace;
  {
    shell::DrivingWindow::Context c = windowContext(folder.path(), sound, program, replayTrace);
    c.replay = std::make_shared<const std::vector<drive::ScriptEvent>>(*events);
    shell::DrivingWindow d(c, request, {});
    replayTrace.window = &d;
    d.show();
    type(&d, Qt::Key_1, "1");  // the driver's own key: not taken during a replay
    QElapsedTimer waited;
    waited.start();
    while (d.clock().doneMs() < *end && waited.elapsed() < 20000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    EXPECT_GE(d.clock().doneMs(), *end);
    saveScreenshot(d, "replay_window.png");
    replayTrace.window = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  const std::string window = windowTrace.text;
  EXPECT_EQ(replayTrace.text.substr(0, window.size()), window);
}

// A script's USB controller replayed in the window: its events worked through the profile as
// dravolin-drive works them, and the window's drive records the commands they gave.
TEST(RecordedDrive, WindowReplaysAScriptsControllerAsTheHeadlessDrive) {
  MessageRecorder messages;
  DataFolder folder;
  platform::VirtualSoundSlots sound;
  sound.initialise();
  input::ProgramInputState program;
  const drive::LoadRequest request{folder.path(), "test_train.dat", "test_line.dat"};
  std::string error;
  const auto events = drive::parseScript(
      "50 device add one-handle\n100 start\n300 axis 0 8737\n400 axis 0 13106\n"
      "500 axis 0 21844\n500 button 1 down\n600 button 1 up\n900 axis 0 -8739\n1200 end\n",
      error);
  ASSERT_TRUE(events) << error;
  auto profiles = std::make_shared<drive::ScriptProfiles>();
  ASSERT_EQ(drive::loadScriptProfiles(*events, folder.path(), *profiles), "");

  std::string headless;
  {
    platform::VirtualSoundSlots headlessSound;
    headlessSound.initialise();
    platform::FilePictureLoader pictures;
    input::ProgramInputState headlessProgram;
    auto drive =
        drive::Drive::FormCreate(request, {pictures, headlessSound, nullptr}, headlessProgram);
    std::ostringstream out;
    std::vector<std::string> names;
    for (std::string_view rest = kColumns; !rest.empty();) {
      const std::size_t comma = rest.find(',');
      names.emplace_back(rest.substr(0, comma));
      rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    }
    tools::runDrive(*drive, headlessSound, *events, names, 1199, 100, {out}, *profiles);
    headless = out.str().substr(out.str().find('\n') + 1);
  }

  WindowTrace replayTrace;
  {
    shell::DrivingWindow::Context c = windowContext(folder.path(), sound, program, replayTrace);
    c.replay = std::make_shared<const std::vector<drive::ScriptEvent>>(*events);
    c.replayProfiles = profiles;
    shell::DrivingWindow d(c, request, {});
    replayTrace.window = &d;
    d.show();
    QElapsedTimer waited;
    waited.start();
    while (d.clock().doneMs() < 1200 && waited.elapsed() < 20000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    EXPECT_GE(d.clock().doneMs(), 1200);
    replayTrace.window = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  ASSERT_GE(replayTrace.text.size(), headless.size());
  EXPECT_EQ(replayTrace.text.substr(0, headless.size()), headless);
  // The controller moved the handles: power, then brake.
  EXPECT_NE(headless.find(",P2,"), std::string::npos) << headless;
  EXPECT_NE(headless.find(",切,込め"), std::string::npos) << headless;
}

}  // namespace
}  // namespace dravolin::testing
