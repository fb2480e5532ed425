// A drive driven in the window is recorded; the recording replayed headless, and in the window,
// gives the window's own trace, millisecond for millisecond.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>
#include <fstream>
#include <sstream>

#include <QInputMethodEvent>

#include "drive/drive.h"
#include "drive/recording.h"
#include "drive/script.h"
#include "drive/script_controller.h"
#include "input/input_state.h"
#include "platform/virtual_sound_slots.h"
#include "shell/drive_adapter.h"
#include "shell/drive_clock.h"
#include "shell/replay_program.h"
#include "shell/summary_window.h"
#include "shell/value_display_window.h"
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

// A window drive whose trace also shows the protection (the EB device's idle count): the real
// drive, kept where the trace can read it.
struct TracedDrive {
  std::vector<tools::ColumnFormatter> formatters;
  std::string text;
  shell::DrivingWindow* window = nullptr;
  drive::Drive* drive = nullptr;

  explicit TracedDrive(const std::string& columnList) {
    std::string error;
    formatters = *tools::columns(columnList, error);
  }
  void row(int t) {
    if (t % 100 != 0 || window == nullptr || drive == nullptr) return;
    const tools::DriveView v{t,
                             &drive->state(),
                             &drive->cab(),
                             &drive->protection(),
                             &drive->valueDisplay(),
                             &drive->shownFrame(),
                             &drive->evaluation()};
    for (std::size_t i = 0; i < formatters.size(); ++i) {
      text += (i == 0 ? "" : ",") + formatters[i](v);
    }
    text += '\n';
  }
  shell::DrivingWindow::Context context(const fs::path& data, platform::SoundSlots& sound,
                                        input::ProgramInputState& program) {
    shell::DrivingWindow::Context c;
    c.dataDir = data;
    c.sound = &sound;
    c.program = &program;
    c.makeDrive = [this, &program](const drive::LoadRequest& r, const drive::StartupServices& s,
                                   const drive::StartupProgress& p) {
      auto d = drive::Drive::FormCreate(r, s, program, p);
      drive = d.get();
      return shell::makeDriveHandlers(std::move(d));
    };
    c.afterVirtualMs = [this](int t) { row(t); };
    return c;
  }
};

// A drive with the keypad swap on and the value display shown, driven with keys that type no
// printable character (Enter, Escape, Backspace, Ctrl+A, an input method's kana): the recording
// carries the settings and every byte, and both replays give the drive's own trace, the EB
// device's idle count included (every byte resets it).
TEST(RecordedDrive, SettingsAndEveryTypedByteReplayExactly) {
  MessageRecorder messages;
  DataFolder folder;
  std::ofstream(folder.path() / "test_train.dat", std::ios::app) << "[EB]\r\n1\r\n";  // fitted
  TemporaryFolder recordings;
  platform::VirtualSoundSlots sound;
  sound.initialise();
  const std::string columns = std::string(kColumns) + ",BrakeHandle,EbIdle,Value.Speed";
  const drive::LoadRequest request{folder.path(), "test_train.dat", "test_line.dat"};

  TracedDrive live(columns);
  {
    input::ProgramInputState program;
    program.KeypadSwap = true;
    shell::ValueDisplayWindow values;
    values.show();
    shell::DrivingWindow::Context c = live.context(folder.path(), sound, program);
    c.valueDisplay = &values;
    c.recordingsFolder = recordings.path();
    shell::DrivingWindow d(c, request, {});
    live.window = &d;
    d.show();
    d.start1Click();
    type(&d, Qt::Key_5, "5");
    QKeyEvent faster(QEvent::KeyPress, Qt::Key_F12, Qt::ShiftModifier);  // 10 km/h
    QApplication::sendEvent(&d, &faster);
    pumpFor(700);
    type(&d, Qt::Key_8, "8");  // swapped: a brake step
    pumpFor(400);
    type(&d, Qt::Key_Return, "\r");
    pumpFor(300);
    type(&d, Qt::Key_Escape, "\x1b");
    type(&d, Qt::Key_Backspace, "\b");
    QKeyEvent ctrlA(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, "\x01");
    QApplication::sendEvent(&d, &ctrlA);
    pumpFor(300);
    QInputMethodEvent kana(QString(), {});
    kana.setCommitString(QString::fromUtf8("\uFF71"));
    QApplication::sendEvent(&d, &kana);
    pumpFor(300);
    QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);  // hides the shown values
    QApplication::sendEvent(&d, &f5);
    pumpFor(300);
    d.close();
    live.window = nullptr;
  }

  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(recordings.path())) files.push_back(e.path());
  ASSERT_EQ(files.size(), 1u);
  const std::string text = slurpFile(files[0]);
  std::string error;
  const auto header = drive::parseRecordingHeader(text, error);
  ASSERT_TRUE(header) << error;
  EXPECT_EQ(header->settings, (drive::RecordedSettings{true, true}));
  auto events = drive::parseScript(text, error);
  ASSERT_TRUE(events) << error;
  std::vector<std::string> chars;
  for (const drive::ScriptEvent& e : *events) {
    if (e.kind == drive::ScriptEventKind::Char) chars.push_back(e.text);
  }
  EXPECT_EQ(chars, (std::vector<std::string>{"char 5", "char 8", "char \\r", "char \\x1b",
                                             "char \\x08", "char \\x01", "char \\xb1"}))
      << text;
  const int end = *drive::scriptEndMs(*events);
  // The train ran, so the EB device counted its idle ticks, and the keys reset the count.
  std::vector<int> idle;
  for (std::size_t at = 0; at < live.text.size();) {
    const std::size_t eol = live.text.find('\n', at);
    const std::string row = live.text.substr(at, eol - at);
    const std::size_t last = row.rfind(',');
    idle.push_back(std::stoi(row.substr(row.rfind(',', last - 1) + 1)));
    at = eol + 1;
  }
  ASSERT_FALSE(idle.empty());
  EXPECT_GT(*std::max_element(idle.begin(), idle.end()), 3) << live.text;
  EXPECT_LT(idle.back(), *std::max_element(idle.begin(), idle.end())) << live.text;

  // Headless, from the recording file as dravolin-drive reads it.
  {
    tools::DriveToolOptions o;
    o.script = files[0];
    o.untilMs = end - 1;
    o.columns = columns;
    std::ostringstream out, err;
    ASSERT_EQ(tools::runDriveTool(o, out, err), 0) << err.str();
    const std::string rows = out.str().substr(out.str().find('\n') + 1);
    EXPECT_EQ(rows, live.text);
  }

  // In the window, from a program whose keypad swap is off and whose value display is hidden.
  TracedDrive replay(columns);
  {
    input::ProgramInputState program;
    shell::ValueDisplayWindow values;
    shell::DrivingWindow::Context c = replay.context(folder.path(), sound, program);
    c.valueDisplay = &values;
    c.replay = std::make_shared<const std::vector<drive::ScriptEvent>>(*events);
    c.replaySettings = header->settings;
    shell::DrivingWindow d(c, request, {});
    replay.window = &d;
    d.show();
    EXPECT_TRUE(program.KeypadSwap);
    EXPECT_TRUE(values.isVisible());
    QElapsedTimer waited;
    waited.start();
    while (d.clock().doneMs() < end && waited.elapsed() < 20000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    EXPECT_GE(d.clock().doneMs(), end);
    replay.window = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  EXPECT_EQ(replay.text.substr(0, live.text.size()), live.text);
}

// What the window has recorded is in the file before the drive ends: at a pause, and when the
// doors open or close at a station, as well as within a second of driving.
TEST(RecordedDrive, RecordingIsWrittenAtAPauseAndAtAStation) {
  MessageRecorder messages;
  DataFolder folder;
  TemporaryFolder recordings;
  platform::VirtualSoundSlots sound;
  sound.initialise();
  input::ProgramInputState program;
  WindowTrace trace;
  shell::DrivingWindow::Context c = windowContext(folder.path(), sound, program, trace);
  c.recordingsFolder = recordings.path();
  shell::DrivingWindow d(c, {folder.path(), "test_train.dat", "test_line.dat"}, {});
  d.show();
  const auto written = [&] { return slurpFile(d.recorder().path()); };
  d.start1Click();
  type(&d, Qt::Key_5, "5");
  EXPECT_EQ(written().find("char 5"), std::string::npos) << "driving: buffered";
  d.start1Click();  // pause
  EXPECT_NE(written().find("char 5"), std::string::npos);
  type(&d, Qt::Key_8, "8");  // while paused: at once
  EXPECT_NE(written().find("char 8"), std::string::npos);
  d.start1Click();  // resume
  type(&d, Qt::Key_2, "2");
  EXPECT_EQ(written().find("char 2"), std::string::npos);
  // The doors close as at a station (the train moving, so that they stay closed).
  ASSERT_TRUE(d.drive().state().DoorsOpen);
  d.drive().state().DoorsOpen = false;
  d.drive().state().Speed = sim::Fixed::fromInt(5);
  d.displayTick();
  ASSERT_FALSE(d.drive().state().DoorsOpen);
  EXPECT_NE(written().find("char 2"), std::string::npos);
  d.close();
}

// `dravolin --replay` ends when its cab (closed by the recording's end) and the drive's summary,
// if it has one, are closed, although the program's value display window is still shown. This
// drive judges no station after the start, so it ends with no summary.
TEST(RecordedDrive, AReplayEndsWithItsCabAndItsSummary) {
  MessageRecorder messages;
  DataFolder folder;
  const fs::path file = folder.path() / "drive.drs";
  std::ofstream(file) << "# dravolin recording 1\n# data-folder " << folder.path().string()
                      << "\n# train test_train.dat\n# line test_line.dat\n"
                         "# setting value-display shown\n1 start\n400 end\n";
  platform::VirtualSoundSlots sound;
  sound.initialise();
  input::ProgramInputState program;
  shell::ValueDisplayWindow values;
  shell::DrivingWindow::Context c;
  c.sound = &sound;
  c.program = &program;
  c.valueDisplay = &values;
  c.makeDrive = shell::makeDriveFactory(program);
  bool summaryClosed = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* summary = qobject_cast<shell::SummaryWindow*>(w);
      if (summary == nullptr || !summary->isVisible()) continue;
      EXPECT_TRUE(values.isVisible());
      summary->close();
      summaryClosed = true;
    }
  });
  poll.start(20);
  bool timedOut = false;
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [&] {
    timedOut = true;
    QApplication::exit(99);
  });
  guard.start(20000);
  const fs::path workingFolder = fs::current_path();
  const int status = shell::playRecording(file.string(), c);
  fs::current_path(workingFolder);
  EXPECT_FALSE(timedOut) << "the program stayed with its value display window";
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(summaryClosed) << "a drive that judged no station after the start has no summary";
}

}  // namespace
}  // namespace dravolin::testing
