// The title window and the driving window on the fixture drive: buttons appearing in order, a
// train choice opening the driving window with the settings file's captions, Start, pause and
// resume, the video frames, the redraw command, closing back to the title window, and a start-up
// error's message.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest>
#include <algorithm>
#include <fstream>

#include "drive/script.h"
#include "fixtures/numbered_video.h"
#include "input/controller_devices.h"
#include "input/profile_library.h"
#include "platform/file_picture_loader.h"
#include "shell/cab_widget.h"
#include "shell/help_window.h"
#include "shell/sound_watch.h"
#include "shell/title_window.h"
#include "shell/value_display_window.h"
#include "shell_fixture.h"

namespace dravolin::testing {
namespace {

using shell::DrivingWindow;
using shell::TitleWindow;

struct Harness {
  explicit Harness(int frames = 0) : folder(frames) {
    context.driving.dataDir = folder.path();
    context.driving.sound = &sound;
    context.driving.valueDisplay = &values;
    context.driving.makeDrive = [this](const drive::LoadRequest& r, const drive::StartupServices& s,
                                       const drive::StartupProgress& p) {
      auto d = std::make_unique<RecordingDrive>(drive::loadDriveData(r, s, p));
      drive = d.get();
      return d;
    };
    context.driving.endProgram = [this](int status) { endedWith.push_back(status); };
    context.trains = {};
    context.trains[1] = shell::TrainChoice{"test_train.dat", "test_line.dat"};
    context.openUrl = [this](const QUrl& url) {
      opened.push_back(url);
      return viewerStarts;
    };
  }
  // Driving windows closed in the test are deleted before what they used goes.
  ~Harness() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
  MessageRecorder messages;
  DataFolder folder;
  FakeSoundSlots sound;
  shell::ValueDisplayWindow values;
  TitleWindow::Context context;
  RecordingDrive* drive = nullptr;
  std::vector<int> endedWith;
  std::vector<QUrl> opened;
  bool viewerStarts = true;
};

std::vector<bool> visibleButtons(const TitleWindow& w) {
  std::vector<bool> v;
  for (int i = 0; i < TitleWindow::kButtonCount; ++i) v.push_back(w.button(i)->isVisible());
  return v;
}

TEST(TitleWindow, OpeningSkippedThenButtonsAppearOnePerTickInOrder) {
  Harness h;
  TitleWindow w(h.context);
  w.show();
  EXPECT_EQ(w.size(), QSize(320, 240));
  EXPECT_TRUE(w.openingShown());
  w.Timer1Timer();  // no movie: the opening ends at the first tick
  EXPECT_FALSE(w.openingShown());
  EXPECT_EQ(w.size(), QSize(640, 480));
  // Ticks 2 .. 15: Train1 .. Train10 after more than 1 .. 10 ticks, HELP after 13, Quit after 14.
  const int appearsAfter[TitleWindow::kButtonCount] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 13, 14};
  for (int tick = 2; tick <= 15; ++tick) {
    w.Timer1Timer();
    std::vector<bool> want;
    for (int limit : appearsAfter) want.push_back(tick > limit);
    EXPECT_EQ(visibleButtons(w), want) << "after tick " << tick;
  }
  saveScreenshot(w, "title_window.png");
  // The fixture has no title picture: reported at creation and when the opening ends; no end.
  EXPECT_EQ(h.messages.texts.size(), 2u);
  EXPECT_TRUE(h.endedWith.empty());
}

// An opening movie with sound: played at the movie's size with its sound; a click, or the end
// of the movie, ends the opening and silences it.
TEST(TitleWindow, OpeningMoviePlaysWithItsSoundUntilClickedOrOver) {
  for (const bool click : {true, false}) {
    SCOPED_TRACE(click ? "click" : "end of the movie");
    Harness h;
    std::filesystem::create_directories(h.folder.path() / "move");
    const std::string movie = (h.folder.path() / "move" / "opening.avi").string();
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=15:duration=0.6 "
        "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=0.6 -c:v mjpeg -c:a pcm_s16le "
        "'" +
        movie + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    int played = 0, stopped = 0;
    h.context.playMovieSound = [&](const platform::Wave& w) {
      EXPECT_EQ(w.rateHz, 22050);
      ++played;
    };
    h.context.stopMovieSound = [&] { ++stopped; };
    TitleWindow w(h.context);
    w.show();
    EXPECT_EQ(played, 1);
    EXPECT_TRUE(w.openingShown());
    EXPECT_EQ(w.size(), QSize(320, 240));
    w.Timer1Timer();  // the movie keeps the opening going
    EXPECT_TRUE(w.openingShown());
    if (click) {
      QTest::mouseClick(w.childAt(100, 100), Qt::LeftButton);
    } else {
      EXPECT_TRUE(QTest::qWaitFor([&] { return !w.openingShown(); }, 5000));
    }
    EXPECT_FALSE(w.openingShown());
    EXPECT_EQ(stopped, 1);
    EXPECT_EQ(w.size(), QSize(640, 480));
    EXPECT_LE(w.revealCounter(), 1);  // the count starts again (a tick may have passed since)
    EXPECT_FALSE(w.button(0)->isVisible());
  }
}

// 説明 opens the data folder's readme by an absolute file address, whatever folder the data
// folder was named by; a readme without a viewer, or no readme, is said in a message box.
TEST(TitleWindow, HelpOpensTheReadmeByItsAbsolutePath) {
  const struct {
    const char* what;
    bool readme;        // the data folder has "readme.html"
    bool viewerStarts;  // what the desktop answers
    bool relativeDir;   // the data folder named relative to the current folder
    std::size_t opened;
    const char* message;  // the end of the one message shown, or null for none
  } cases[] = {
      {"a viewer starts", true, true, false, 1, nullptr},
      {"a viewer starts, data folder named relative", true, true, true, 1, nullptr},
      {"no viewer", true, false, false, 1, " を表示するプログラムを起動できませんでした。"},
      {"no readme", false, true, false, 0, "readme.htmlが見つかりません"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h;
    const std::filesystem::path readme = h.folder.path() / "readme.html";
    if (c.readme) std::ofstream(readme) << "<html><body>Dravolin</body></html>\n";
    h.viewerStarts = c.viewerStarts;
    const std::filesystem::path previous = std::filesystem::current_path();
    if (c.relativeDir) {
      std::filesystem::current_path(h.folder.path().parent_path());
      h.context.driving.dataDir = h.folder.path().filename();
    }
    TitleWindow w(h.context);
    h.messages.texts.clear();
    w.helpclick();
    std::filesystem::current_path(previous);
    ASSERT_EQ(h.opened.size(), c.opened);
    if (c.opened == 1) {
      const QUrl& url = h.opened[0];
      EXPECT_TRUE(url.isLocalFile()) << url.toString().toStdString();
      EXPECT_EQ(url.scheme(), "file");
      EXPECT_TRUE(QFileInfo(url.toLocalFile()).isAbsolute());
      EXPECT_EQ(std::filesystem::path(url.toLocalFile().toStdString()), readme);
    }
    if (c.message == nullptr) {
      EXPECT_TRUE(h.messages.texts.empty());
    } else {
      ASSERT_EQ(h.messages.texts.size(), 1u);
      const std::string& text = h.messages.texts[0];
      EXPECT_EQ(text, readme.string() + (c.readme ? c.message : "が見つかりません"));
    }
  }
}

// Without a hook the address goes to Qt's desktop services, which hand it to the viewer
// registered for file addresses (here a text browser that shows the readme).
TEST(TitleWindow, HelpGoesThroughTheDesktopServices) {
  Harness h;
  h.context.openUrl = nullptr;
  std::ofstream(h.folder.path() / "readme.html") << "<html><body>Dravolin readme</body></html>\n";
  QTextBrowser viewer;
  QDesktopServices::setUrlHandler("file", &viewer, "setSource");
  TitleWindow w(h.context);
  h.messages.texts.clear();
  w.helpclick();
  QDesktopServices::unsetUrlHandler("file");
  EXPECT_EQ(
      viewer.source(),
      QUrl::fromLocalFile(QString::fromStdString((h.folder.path() / "readme.html").string())));
  EXPECT_TRUE(viewer.toPlainText().contains("Dravolin readme"));
  EXPECT_TRUE(h.messages.texts.empty());
}

TEST(TitleWindow, ButtonWithoutTrainLoadsNothingAndStopsTheTimer) {
  Harness h;
  TitleWindow w(h.context);
  w.show();
  for (int i = 0; i < 4; ++i) w.Timer1Timer();
  w.TrainClick(1);
  EXPECT_FALSE(w.timerActive());
  EXPECT_EQ(w.drivingWindow(), nullptr);
  EXPECT_EQ(visibleButtons(w), std::vector<bool>({true, true, true, false, false, false, false,
                                                  false, false, false, true, true}));
  bool closed = false;
  QObject::connect(&w, &TitleWindow::closed, [&] { closed = true; });
  w.button(11)->click();  // Quit
  EXPECT_TRUE(closed);
  EXPECT_FALSE(w.isVisible());
}

// --scale: every place and size of the title window times the factor.
TEST(TitleWindow, ScaleMultipliesPlacesAndSizes) {
  Harness h;
  h.context.driving.scale = 2;
  TitleWindow w(h.context);
  w.show();
  EXPECT_EQ(w.size(), QSize(640, 480));
  w.Timer1Timer();
  EXPECT_EQ(w.size(), QSize(1280, 960));
  EXPECT_EQ(w.button(7)->geometry(), QRect(938, 472, 332, 86));  // Train8: 469, 236, 166 x 43
}

TEST(DrivingWindow, DriveFromChoiceToCloseAndBack) {
  Harness h(40);
  ASSERT_TRUE(h.folder.videoWritten());
  TitleWindow w(h.context);
  w.show();
  w.Timer1Timer();
  w.TrainClick(2);
  DrivingWindow* d = w.drivingWindow();
  ASSERT_NE(d, nullptr);
  ASSERT_NE(h.drive, nullptr);
  EXPECT_EQ(w.statusLine()->text().toStdString(), "環境をセットアップしています");
  EXPECT_EQ(w.height(), 498);
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(d->cabWidget()->size(), QSize(640, 440));
  // Activated before the first Start: the still picture (48 x 24) shows, not a frame.
  ASSERT_TRUE(QTest::qWaitForWindowActive(d));
  const platform::Bitmap still =
      *platform::FilePictureLoader().load((h.folder.path() / "image" / "still.bmp").string());
  EXPECT_EQ(d->surface().frontBuffer().pixel(1, 1), still.pixel(1, 1));
  EXPECT_EQ(d->surface().frontBuffer().pixel(50, 1), 0xFF000000u);
  // Captions from the settings file.
  EXPECT_EQ(d->startAction()->text().toStdString(), "運転開始(&S)");
  EXPECT_EQ(d->moveMenu()->title().toStdString(), "駅移動(&M)");
  EXPECT_EQ(d->displayMenu()->title().toStdString(), "表示(&D)");
  EXPECT_EQ(d->displayMenu()->actions().at(0)->text().toStdString(), "操作説明(&H)");
  EXPECT_EQ(d->redrawAction()->text().toStdString(), "再描画(&R)");
  EXPECT_EQ(d->controllerMenu()->title().toStdString(), "コントローラ(&C)");
  QStringList ports;
  for (QAction* a : d->controllerMenu()->actions()) ports << a->text();
  EXPECT_EQ(ports,
            QStringList({"COM1", "COM2", "Setup", "Connect", "", "USBコントローラーの設定..."}));
  ASSERT_FALSE(d->moveMenu()->actions().isEmpty());
  d->moveMenu()->actions().at(0)->trigger();
  EXPECT_EQ(h.drive->log.back().substr(0, 16), "StationClick Sta");

  // Start, pause, resume.
  const char* captions[] = {"一時停止(&S)", "運転再開(&S)", "一時停止(&S)"};
  for (const char* caption : captions) {
    d->startAction()->trigger();
    EXPECT_EQ(d->startAction()->text().toStdString(), caption);
  }
  EXPECT_TRUE(d->running());
  EXPECT_EQ(std::count(h.drive->log.begin(), h.drive->log.end(), "start1Click"), 3);

  // A changed index draws its frame, as soon as the decoding thread has its picture; an
  // unchanged one draws nothing.
  QTest::qWait(40);
  h.drive->state().FrameIndex = 5;
  d->simulationTick();
  EXPECT_TRUE(QTest::qWaitFor([&] { return frameNumberShown(d->surface().frontBuffer()) == 5; }));
  const long drawn = d->stats().framesDrawn;
  QTest::qWait(40);
  d->simulationTick();
  EXPECT_EQ(d->stats().framesDrawn, drawn);
  d->displayTick();
  EXPECT_EQ(d->windowTitle(), "Test line");
  saveScreenshot(*d, "driving_window.png");

  // Paused: a new index is not drawn until the redraw command.
  d->start1Click();
  h.drive->state().FrameIndex = 9;
  QTest::qWait(40);
  d->simulationTick();
  EXPECT_EQ(frameNumberShown(d->surface().frontBuffer()), 5);
  d->redrawAction()->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return frameNumberShown(d->surface().frontBuffer()) == 9; }));

  // Keys, characters and the wheel reach the drive's handlers.
  QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::ShiftModifier);
  QKeyEvent z(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, "z");
  QApplication::sendEvent(d, &f5);
  QApplication::sendEvent(d, &z);
  QWheelEvent down(QPointF(10, 10), QPointF(10, 10), {}, QPoint(0, -240), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(d, &down);
  const std::vector<std::string> tail(h.drive->log.end() - 5, h.drive->log.end());
  EXPECT_EQ(tail, std::vector<std::string>(
                      {"keydowns 116 1", "keydowns 90 0", "AsciiDown z", "WheelD", "WheelD"}));

  // Closing: the ticks stop, the drive's closing steps, the sound service afresh, the title back.
  const std::size_t initialisesBefore =
      std::count(h.sound.log.begin(), h.sound.log.end(), "initialise");
  d->backButton()->click();
  EXPECT_FALSE(d->running());
  EXPECT_EQ(h.drive->log.back(), "FormCloseQuery");
  EXPECT_EQ(std::count(h.sound.log.begin(), h.sound.log.end(), "initialise"),
            static_cast<long>(initialisesBefore + 1));
  EXPECT_EQ(w.drivingWindow(), nullptr);
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.height(), 480);
  EXPECT_FALSE(w.loadingPicture()->isVisible());
  // Another train can be chosen at once: a fresh driving window, which keeps the keys of the
  // value display window after the old one is deleted.
  w.TrainClick(2);
  ASSERT_NE(w.drivingWindow(), nullptr);
  EXPECT_NE(w.drivingWindow(), d);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
  QApplication::sendEvent(&h.values, &f1);
  EXPECT_EQ(h.drive->log.back(), "keydowns 112 0");
  w.drivingWindow()->close();
  EXPECT_TRUE(h.endedWith.empty());
}

// A sound service that cannot open its output again when a drive closes goes on silent: the
// program goes on, and the title window says so in its status line. A service that has its
// output, or wants none, leaves the status line alone.
TEST(DrivingWindow, SoundServiceThatFailsToReopenGoesOnSilent) {
  struct Sound : FakeSoundSlots {
    bool initialise() override {
      FakeSoundSlots::initialise();
      return state == OutputState::Open;
    }
    OutputState outputState() const override { return state; }
    OutputState state = OutputState::Open;
  };
  for (const auto state :
       {Sound::OutputState::Missing, Sound::OutputState::Open, Sound::OutputState::Unused}) {
    SCOPED_TRACE(static_cast<int>(state));
    Harness h;
    Sound sound;
    h.context.driving.sound = &sound;
    TitleWindow w(h.context);
    w.show();
    w.TrainClick(2);
    ASSERT_NE(w.drivingWindow(), nullptr);
    h.messages.texts.clear();
    sound.state = state;
    w.drivingWindow()->close();
    EXPECT_TRUE(h.messages.texts.empty());
    EXPECT_TRUE(h.endedWith.empty());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.statusLine()->text() == shell::kRunningSilent,
              state == Sound::OutputState::Missing);
  }
}

// An error a handler does not handle pauses the drive and shows its text; the program goes on.
TEST(DrivingWindow, UnhandledErrorPausesAndIsShown) {
  Harness h;
  TitleWindow w(h.context);
  w.TrainClick(2);
  DrivingWindow* d = w.drivingWindow();
  ASSERT_NE(d, nullptr);
  d->start1Click();
  h.messages.texts.clear();
  h.drive->failKey = 113;
  QKeyEvent f2(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
  QApplication::sendEvent(d, &f2);
  EXPECT_EQ(h.messages.texts, std::vector<std::string>({"key handler failed"}));
  EXPECT_FALSE(d->running());
  EXPECT_EQ(d->startAction()->text().toStdString(), "運転再開(&S)");
  EXPECT_TRUE(h.endedWith.empty());
  d->close();
}

// Every key that types text reaches the character handler once per character, in the driving
// window and in the two windows that pass their keys on: control characters, Tab, the text an
// input method commits and half-width kana; Delete types nothing.
TEST(DrivingWindow, EveryTypedCharacterReachesTheCharacterHandlerOnce) {
  Harness h;
  shell::HelpWindow help(h.folder.path());
  h.context.driving.help = &help;
  TitleWindow w(h.context);
  w.TrainClick(2);
  DrivingWindow* d = w.drivingWindow();
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(d->testAttribute(Qt::WA_InputMethodEnabled));
  EXPECT_TRUE(h.values.testAttribute(Qt::WA_InputMethodEnabled));
  EXPECT_TRUE(help.memo()->testAttribute(Qt::WA_InputMethodEnabled));
  const auto key = [](int k, Qt::KeyboardModifiers mods, const char* text) {
    return std::function<void(QWidget*)>([=](QWidget* target) {
      QKeyEvent e(QEvent::KeyPress, k, mods, QString::fromUtf8(text));
      QApplication::sendEvent(target, &e);
    });
  };
  const auto commit = [](const char* text) {
    return std::function<void(QWidget*)>([=](QWidget* target) {
      QInputMethodEvent e(QString(), {});
      e.setCommitString(QString::fromUtf8(text));
      QApplication::sendEvent(target, &e);
    });
  };
  const struct {
    const char* what;
    std::function<void(QWidget*)> send;
    std::vector<std::string> log;  // what reached the drive
  } cases[] = {
      {"Ctrl+R", key(Qt::Key_R, Qt::ControlModifier, "\x12"), {"keydowns 82 4", "AsciiDown \x12"}},
      {"Tab", key(Qt::Key_Tab, Qt::NoModifier, "\t"), {"keydowns 9 0", "AsciiDown \t"}},
      {"Shift+Tab",
       key(Qt::Key_Backtab, Qt::ShiftModifier, "\t"),
       {"keydowns 9 1", "AsciiDown \t"}},
      {"Delete", key(Qt::Key_Delete, Qt::NoModifier, "\x7f"), {"keydowns 46 0"}},
      {"kana lock", key(Qt::Key_unknown, Qt::NoModifier, "\uFF71"), {"AsciiDown \xB1"}},
      {"input method",
       commit("\uFF7A\uFF9E\u3042z"),
       {"AsciiDown \xBA", "AsciiDown \xDE", "AsciiDown \x82", "AsciiDown z"}},
      {"input method, composing only", commit(""), {}},
  };
  const QString helpText = help.memo()->toPlainText();
  const std::pair<const char*, QWidget*> windows[] = {
      {"driving window", d}, {"value display", &h.values}, {"help", help.memo()}};
  for (const auto& [name, target] : windows) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(name) + ": " + c.what);
      h.drive->log.clear();
      c.send(target);
      EXPECT_EQ(h.drive->log, c.log);
    }
  }
  EXPECT_EQ(help.memo()->toPlainText(), helpText) << "nothing is written into the help text";
  d->close();
}

TEST(DrivingWindow, UsbControllerCommandsReachTheDriveAndPlugInIsShown) {
  Harness h;
  FakeInputDevices devices;
  devices.list.clear();
  const input::ProfileLibrary library;
  TemporaryFolder calibrations;
  h.context.driving.devices = &devices;
  h.context.driving.profiles = &library;
  h.context.driving.calibrationFolder = calibrations.path();
  TemporaryFolder recordings;
  h.context.driving.recordingsFolder = recordings.path();
  TitleWindow w(h.context);
  w.TrainClick(2);
  DrivingWindow* d = w.drivingWindow();
  ASSERT_NE(d, nullptr);
  EXPECT_FALSE(d->statusLine()->isVisible());
  d->show();

  devices.list = {{7, "Pad X", "0300ffffffffffffffffffffffffffff", false, 1, 8}};
  devices.axes = {0};
  devices.buttons.assign(8, false);
  devices.handlers.added(devices.list[0]);
  EXPECT_TRUE(d->statusLine()->isVisible());
  EXPECT_EQ(d->statusLine()->text().toStdString(),
            input::deviceAddedText("Pad X", "One-handle master controller (axis)") +
                "\n「Pad X」は汎用の設定「One-handle master controller (axis)」で使います");
  saveScreenshot(*d, "driving_window_controller.png");
  devices.handlers.axis(7, 0, 21844);   // P3
  devices.handlers.button(7, 1, true);  // horn
  EXPECT_EQ(std::count(h.drive->log.begin(), h.drive->log.end(), "ControllerCommand 3"), 1);
  EXPECT_EQ(std::count(h.drive->log.begin(), h.drive->log.end(), "ControllerCommand 21"), 1);
  devices.list.clear();
  devices.handlers.removed(7);
  EXPECT_EQ(d->statusLine()->text().toStdString(), input::deviceRemovedText("Pad X"));
  d->close();
  EXPECT_FALSE(devices.handlers.axis) << "a closed window takes no more commands";
  // The drive's recording has the commands, as the controller box's code lines.
  std::string recorded;
  for (const auto& f : std::filesystem::directory_iterator(recordings.path())) {
    std::ifstream in(f.path(), std::ios::binary);
    recorded.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::string error;
  const auto events = drive::parseScript(recorded, error);
  ASSERT_TRUE(events) << error << recorded;
  std::vector<std::string> commands;
  for (const drive::ScriptEvent& e : *events) {
    if (e.kind == drive::ScriptEventKind::Controller) commands.push_back(e.text);
  }
  EXPECT_EQ(commands, (std::vector<std::string>{"controller 3", "controller 21"})) << recorded;
}

// Calibrating walks the handle through every position: while the dialog is open the drive
// stands paused and the device's moves give it no command; closing the dialog resumes the drive
// as Start does, and only when it ran before.
TEST(DrivingWindow, CalibratingPausesTheDriveAndItsDevices) {
  for (const bool running : {true, false}) {
    SCOPED_TRACE(running ? "running" : "paused");
    Harness h;
    FakeInputDevices devices;  // device 7, plugged in at the start
    const input::ProfileLibrary library;
    TemporaryFolder calibrations;
    h.context.driving.devices = &devices;
    h.context.driving.profiles = &library;
    h.context.driving.calibrationFolder = calibrations.path();
    TitleWindow w(h.context);
    w.TrainClick(2);
    DrivingWindow* d = w.drivingWindow();
    ASSERT_NE(d, nullptr);
    d->show();
    d->start1Click();
    if (!running) d->start1Click();
    const auto starts = [&] {
      return std::count(h.drive->log.begin(), h.drive->log.end(), "start1Click");
    };
    const long startsBefore = starts();
    bool seen = false;
    QTimer::singleShot(0, [&] {
      seen = true;
      EXPECT_TRUE(d->calibrating());
      EXPECT_FALSE(d->running());
      // The driver walks the handle from EB to P5 and back to N.
      for (const int value : {-32768, -20000, 0, 20000, 32767, 0}) {
        devices.axes[0] = value;
        devices.handlers.axis(7, 0, value);
      }
      if (QWidget* dialog = QApplication::activeModalWidget()) {
        static_cast<QDialog*>(dialog)->reject();
      } else {
        ADD_FAILURE() << "no dialog";
      }
    });
    d->usbControllerSetupClick();
    EXPECT_TRUE(seen);
    EXPECT_FALSE(d->calibrating());
    EXPECT_EQ(d->running(), running);
    EXPECT_EQ(starts() - startsBefore, running ? 2 : 0) << "paused, then resumed";
    EXPECT_EQ(
        std::count_if(h.drive->log.begin(), h.drive->log.end(),
                      [](const std::string& l) { return l.starts_with("ControllerCommand"); }),
        0);
    // Afterwards the device works the drive again.
    devices.handlers.axis(7, 0, 21844);
    EXPECT_EQ(h.drive->log.back().substr(0, 17), "ControllerCommand");
    d->close();
  }
}

TEST(DrivingWindow, StartUpErrorShowsItsMessageAndEndsTheProgram) {
  Harness h;
  std::filesystem::remove(h.folder.path() / "mascon.dat");
  TitleWindow w(h.context);
  w.show();
  h.messages.texts.clear();
  w.TrainClick(2);
  EXPECT_EQ(w.drivingWindow(), nullptr);
  EXPECT_EQ(h.messages.texts, std::vector<std::string>({"mascon.datが見つかりません"}));
  EXPECT_EQ(h.endedWith, std::vector<int>({1}));
}

}  // namespace
}  // namespace dravolin::testing
