// The program around the windows: where windows fit on a screen and how large the cab is in full
// screen, the settings kept between runs, which folder is a data folder and which one opens at
// start, the refusal of a folder that is not one, and the driving window in full screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QWidgetAction>
#include <fstream>

#include "input/input_state.h"
#include "platform/virtual_sound_slots.h"
#include "shell/app_settings.h"
#include "shell/author_window.h"
#include "shell/cab_widget.h"
#include "shell/data_folder.h"
#include "shell/program_shell.h"
#include "shell/screen_fit.h"
#include "shell/title_window.h"
#include "shell_fixture.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;

TEST(ScreenFit, FullScreenFactorIsTheLargestWholeFactorThatFits) {
  struct Case {
    QSize screen;
    int factor;
  };
  for (const Case& c : {Case{{1280, 800}, 1}, Case{{1920, 1080}, 2}, Case{{3840, 2160}, 4},
                        Case{{2560, 1440}, 3}, Case{{1366, 768}, 1}, Case{{640, 440}, 1},
                        Case{{639, 439}, 1}, Case{{1280, 880}, 2}, Case{{1279, 880}, 1}}) {
    SCOPED_TRACE(c.screen.width());
    EXPECT_EQ(shell::fullScreenFactor(c.screen, {640, 440}), c.factor);
  }
  // The cab centred on black: equal margins, the odd pixel on the right and at the bottom.
  EXPECT_EQ(shell::centredIn({1280, 880}, QRect(0, 0, 1920, 1080)), QRect(320, 100, 1280, 880));
  EXPECT_EQ(shell::centredIn({2560, 1760}, QRect(0, 0, 3840, 2160)), QRect(640, 200, 2560, 1760));
  EXPECT_EQ(shell::centredIn({640, 440}, QRect(0, 0, 1281, 801)), QRect(320, 180, 640, 440));
}

TEST(ScreenFit, AScaleThatDoesNotFitIsLoweredToTheLargestThatDoes) {
  struct Case {
    int requested;
    QSize available;
    int scale;
  };
  // The borderless title window needs 640 x 498 at scale 1, the driving window 640 x 440 and
  // the window system's frame and menu bar.
  for (const Case& c : {Case{2, {1280, 770}, 1}, Case{2, {1920, 1050}, 2}, Case{4, {1920, 1050}, 2},
                        Case{4, {3840, 2130}, 4}, Case{3, {2560, 1410}, 2}, Case{1, {800, 600}, 1},
                        Case{1, {320, 200}, 1}, Case{2, {1296, 1000}, 2}, Case{2, {1295, 1000}, 1},
                        Case{2, {1400, 995}, 1}, Case{0, {3840, 2130}, 1}}) {
    SCOPED_TRACE(::testing::Message() << c.requested << " on " << c.available.width());
    EXPECT_EQ(shell::fittingScale(c.requested, {shell::kTitleWindowNeed, shell::kDrivingWindowNeed},
                                  c.available),
              c.scale);
  }
}

TEST(ScreenFit, WindowsAreKeptInsideTheAvailableArea) {
  const QRect area(0, 30, 1280, 770);  // a panel above
  struct Case {
    QPoint wanted;
    QSize size;
    QPoint placed;
  };
  for (const Case& c :
       {Case{{100, 100}, {656, 530}, {100, 100}}, Case{{-40, -81}, {656, 530}, {0, 30}},
        Case{{900, 600}, {656, 530}, {624, 270}},
        // Larger than the area: the title bar and the menu stay in reach.
        Case{{0, -81}, {1296, 1024}, {0, 30}}}) {
    EXPECT_EQ(shell::keptInside(c.wanted, c.size, area), c.placed);
  }
}

TEST(AppSettings, EveryValueSurvivesAWriteAndARead) {
  TemporaryFolder dir;
  const QString file = QString::fromStdString(dir.file("dravolin.conf"));
  shell::AppSettings written;
  written.dataFolder = "/home/driver/路線/さくら線";
  written.scale = 3;
  written.windowPositions = {{"driving", {120, 80}}, {"values", {0, 0}}, {"help", {-20, 900}}};
  written.fullScreen = true;
  written.volumePercent = 35;
  written.keypadSwap = true;
  written.controllerPort = "/dev/ttyUSB0";
  written.authorInputFolder = "/home/driver/rides";
  written.authorOutputFolder = "/home/driver/lines";
  {
    QSettings store(file, QSettings::IniFormat);
    shell::writeAppSettings(store, written);
  }
  QSettings store(file, QSettings::IniFormat);
  EXPECT_EQ(shell::readAppSettings(store), written);

  // Written again with fewer windows and no scale: nothing of the first write is left over.
  shell::AppSettings second;
  second.windowPositions = {{"help", {5, 6}}};
  shell::writeAppSettings(store, second);
  QSettings again(file, QSettings::IniFormat);
  EXPECT_EQ(shell::readAppSettings(again), second);
}

TEST(AppSettings, MissingOrBrokenValuesKeepTheirDefaults) {
  TemporaryFolder dir;
  const std::string file = dir.file("dravolin.conf");
  std::ofstream(file) << "[General]\nscale=9\nsoundVolume=250\n"
                         "[windows]\ndriving=nonsense\n";
  QSettings store(QString::fromStdString(file), QSettings::IniFormat);
  const shell::AppSettings s = shell::readAppSettings(store);
  EXPECT_EQ(s.scale, std::nullopt);
  EXPECT_EQ(s.volumePercent, 100);
  EXPECT_TRUE(s.windowPositions.empty());
  EXPECT_TRUE(s.dataFolder.isEmpty());

  TemporaryFolder empty;
  QSettings none(QString::fromStdString(empty.file("none.conf")), QSettings::IniFormat);
  EXPECT_EQ(shell::readAppSettings(none), shell::AppSettings{});
}

// The program's folders in the user's home have one name, under the folders XDG names.
TEST(AppSettings, UserFoldersAreSpeltOneWayUnderXdgFolders) {
  TemporaryFolder home;
  const QByteArray config = qgetenv("XDG_CONFIG_HOME"), data = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home.file("config")));
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(home.file("data")));
  const shell::UserFolders folders = shell::userFolders();
  EXPECT_EQ(folders.config, home.path() / "config" / "dravolin");
  EXPECT_EQ(folders.data, home.path() / "data" / "dravolin");
  EXPECT_EQ(shell::openUserSettings()->fileName().toStdString(),
            (home.path() / "config" / "dravolin" / "dravolin.conf").string());
  qputenv("XDG_CONFIG_HOME", config);
  qputenv("XDG_DATA_HOME", data);
}

// The files an earlier version kept under "Dravolin" move to the same places under "dravolin";
// none overwrites a file there (a database keeps its journal files with it), and every file that
// stays is named.
TEST(AppSettings, FormerFoldersMoveOverWithoutOverwriting) {
  struct File {
    std::string path;  // under the folders' parent: "old/config/..." or "new/config/..."
    std::string text;
  };
  struct Case {
    const char* what;
    std::vector<File> before;
    std::vector<File> after;  // every file there afterwards
    std::size_t left;         // lines naming files left behind
  };
  const std::vector<Case> cases = {
      {"no former folders",
       {{"new/config/dravolin.conf", "a"}},
       {{"new/config/dravolin.conf", "a"}},
       0},
      {"everything moves, into folders that exist or not",
       {{"new/config/dravolin.conf", "s"},
        {"old/config/controllers/pad.profile", "p"},
        {"old/config/calibration/0300.calibration", "c"},
        {"old/data/recordings/20261207-150405-1.drs", "r"},
        {"old/data/history.db", "h"},
        {"old/data/history.db-wal", "w"}},
       {{"new/config/dravolin.conf", "s"},
        {"new/config/controllers/pad.profile", "p"},
        {"new/config/calibration/0300.calibration", "c"},
        {"new/data/recordings/20261207-150405-1.drs", "r"},
        {"new/data/history.db", "h"},
        {"new/data/history.db-wal", "w"}},
       0},
      {"a name taken on both sides: both stay",
       {{"old/config/controllers/pad.profile", "old"},
        {"old/config/controllers/other.profile", "o"},
        {"new/config/controllers/pad.profile", "new"}},
       {{"old/config/controllers/pad.profile", "old"},
        {"new/config/controllers/pad.profile", "new"},
        {"new/config/controllers/other.profile", "o"}},
       1},
      {"a database whose journal name is taken stays whole",
       {{"old/data/history.db", "h"},
        {"old/data/history.db-wal", "w"},
        {"old/data/history.db-shm", "s"},
        {"new/data/history.db-wal", "new wal"}},
       {{"old/data/history.db", "h"},
        {"old/data/history.db-wal", "w"},
        {"old/data/history.db-shm", "s"},
        {"new/data/history.db-wal", "new wal"}},
       3},
      {"a journal without its database moves alone",
       {{"old/data/notes.txt-wal", "n"}},
       {{"new/data/notes.txt-wal", "n"}},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TemporaryFolder root;
    for (const File& f : c.before) {
      fs::create_directories((root.path() / f.path).parent_path());
      std::ofstream(root.path() / f.path) << f.text;
    }
    const shell::UserFolders from{root.path() / "old" / "config", root.path() / "old" / "data"};
    const shell::UserFolders to{root.path() / "new" / "config", root.path() / "new" / "data"};
    const std::vector<std::string> left = shell::moveFormerUserFiles(from, to);
    EXPECT_EQ(left.size(), c.left);
    std::vector<std::pair<std::string, std::string>> found, expected;
    for (const auto& e : fs::recursive_directory_iterator(root.path())) {
      if (!e.is_regular_file()) continue;
      std::ifstream in(e.path());
      found.emplace_back(fs::relative(e.path(), root.path()).generic_string(),
                         std::string(std::istreambuf_iterator<char>(in), {}));
    }
    for (const File& f : c.after) expected.emplace_back(f.path, f.text);
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
    // The former folders are gone once emptied.
    if (c.left == 0) {
      EXPECT_FALSE(fs::exists(from.config));
      EXPECT_FALSE(fs::exists(from.data));
    }
  }
}

TEST(AppSettings, VolumeSliderGivesASquareLawGain) {
  for (const auto& [percent, gain] : std::vector<std::pair<int, double>>{
           {100, 1.0}, {50, 0.25}, {10, 0.01}, {0, 0.0}, {-5, 0.0}, {130, 1.0}}) {
    EXPECT_DOUBLE_EQ(shell::masterGainOfVolume(percent), gain) << percent;
  }
}

void touch(const fs::path& p) { std::ofstream(p) << "x"; }

TEST(DataFolder, AFolderWithoutSettingsOrTrainFilesIsNotADataFolder) {
  struct Case {
    std::vector<std::string> files;
    std::vector<std::string> missing;
  };
  const std::vector<std::string> trains = {"E231_train.dat", "205_train.dat"};
  for (const Case& c : {
           Case{{}, {"dravolin.dat", "E231_train.dat", "205_train.dat"}},
           Case{{"dravolin.dat"}, {"E231_train.dat", "205_train.dat"}},
           Case{{"205_train.dat"}, {"dravolin.dat"}},
           Case{{"dravolin.dat", "205_train.dat"}, {}},
           // Names are looked up as the data files look them up, letter case aside.
           Case{{"DRAVOLIN.DAT", "e231_TRAIN.dat"}, {}},
           Case{{"dravolin.dat", "readme.html", "205_line.dat"}, trains},
       }) {
    TemporaryFolder dir;
    for (const std::string& f : c.files) touch(dir.path() / f);
    EXPECT_EQ(shell::missingDataFiles(dir.path()), c.missing) << ::testing::PrintToString(c.files);
  }
  EXPECT_EQ(shell::missingDataFiles("/nonexistent/dravolin"),
            (std::vector<std::string>{"dravolin.dat", "E231_train.dat", "205_train.dat"}));
  const QString text =
      shell::notADataFolderMessage("/tmp/x", {"dravolin.dat", "E231_train.dat", "205_train.dat"});
  EXPECT_EQ(text,
            "「/tmp/x」はデータフォルダではありません。\ndravolin.dat がありません。\n"
            "列車ファイルがありません（E231_train.dat、205_train.dat）。\n"
            "前のフォルダを開いたままにします。");
}

TEST(DataFolder, StartOpensTheGivenFolderElseTheLastElseTheInstalledDemo) {
  TemporaryFolder last, demo, gone;
  touch(last.path() / "dravolin.dat");
  touch(last.path() / "E231_train.dat");
  const fs::path stale = gone.path() / "removed";
  struct Case {
    std::optional<fs::path> given;
    fs::path lastUsed;
    std::optional<fs::path> installed;
    fs::path opened;
  };
  for (const Case& c : {
           Case{fs::path("/given"), last.path(), demo.path(), "/given"},
           Case{std::nullopt, last.path(), demo.path(), last.path()},
           Case{std::nullopt, stale, demo.path(), demo.path()},
           Case{std::nullopt, {}, demo.path(), demo.path()},
           Case{std::nullopt, {}, std::nullopt, "."},
       }) {
    EXPECT_EQ(shell::startFolder(c.given, c.lastUsed, c.installed), c.opened);
  }
}

TEST(DataFolder, TheInstalledDemoIsFoundBesideTheProgramsFolder) {
  TemporaryFolder prefix;
  const fs::path demo = prefix.path() / "share" / "dravolin" / "demo";
  fs::create_directories(demo);
  fs::create_directories(prefix.path() / "bin");
  EXPECT_EQ(shell::installedDemoFolder(prefix.path() / "bin", "/nonexistent"), std::nullopt);
  touch(demo / "dravolin.dat");
  touch(demo / "205_train.dat");
  EXPECT_EQ(shell::installedDemoFolder(prefix.path() / "bin", "/nonexistent"),
            demo.lexically_normal());
  // Moved elsewhere, the configured prefix still finds it.
  EXPECT_EQ(shell::installedDemoFolder("/nonexistent/bin", prefix.path() / "share" / "dravolin"),
            demo.lexically_normal());
}

// The program shell on two copies of the fixture drive, its settings in a temporary file.
struct ShellHarness {
  ShellHarness() {
    startDir = fs::current_path();
    context.title.driving.sound = &sound;
    context.title.driving.makeDrive = [](const drive::LoadRequest& r,
                                         const drive::StartupServices& s,
                                         const drive::StartupProgress& p) {
      return std::make_unique<RecordingDrive>(drive::loadDriveData(r, s, p));
    };
    context.title.trains = {};
    context.title.trains[1] = shell::TrainChoice{"test_train.dat", "test_line.dat"};
    context.program = &program;
    context.store = &store;
    context.chooseFolder = [this](QWidget*, const QString&) { return chosen; };
  }
  ~ShellHarness() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    fs::current_path(startDir);
  }
  fs::path startDir;
  MessageRecorder messages;
  DataFolder first, second;
  TemporaryFolder notData, settingsDir;
  QSettings store{QString::fromStdString(settingsDir.file("dravolin.conf")), QSettings::IniFormat};
  platform::VirtualSoundSlots sound;
  input::ProgramInputState program;
  shell::ProgramShell::Context context;
  QString chosen;
};

TEST(ProgramShell, AFolderThatIsNotADataFolderIsRefusedAndThePreviousOneStaysOpen) {
  ShellHarness h;
  touch(h.notData.path() / "readme.html");
  shell::ProgramShell shell(h.context, {}, h.first.path());
  shell::TitleWindow* title = shell.titleWindow();
  const fs::path opened = shell.dataFolder();
  h.messages.texts.clear();  // the fixture's missing help file and title picture

  h.chosen = QString::fromStdString(h.notData.path().string());
  shell.chooseDataFolder();
  ASSERT_EQ(h.messages.texts.size(), 1u);
  EXPECT_NE(h.messages.texts[0].find("dravolin.dat がありません"), std::string::npos);
  EXPECT_NE(h.messages.texts[0].find("列車ファイルがありません（test_train.dat）"),
            std::string::npos);
  EXPECT_NE(h.messages.texts[0].find(h.notData.path().string()), std::string::npos);
  EXPECT_EQ(shell.titleWindow(), title);
  EXPECT_EQ(shell.dataFolder(), opened);
  EXPECT_EQ(fs::current_path(), fs::canonical(h.first.path()));

  // Cancelling the dialog changes nothing either.
  h.chosen.clear();
  shell.chooseDataFolder();
  EXPECT_EQ(shell.titleWindow(), title);
  EXPECT_EQ(h.messages.texts.size(), 1u);
}

TEST(ProgramShell, AnotherDataFolderOpensWithItsOwnTitleWindowAndIsKept) {
  ShellHarness h;
  shell::ProgramShell shell(h.context, {}, h.first.path());
  shell::TitleWindow* title = shell.titleWindow();
  h.messages.texts.clear();
  ASSERT_TRUE(shell.openDataFolder(h.second.path()));
  EXPECT_NE(shell.titleWindow(), title);
  EXPECT_TRUE(shell.titleWindow()->isVisible());
  EXPECT_EQ(fs::current_path(), fs::canonical(h.second.path()));
  for (const std::string& text : h.messages.texts) {
    EXPECT_EQ(text.find("データフォルダではありません"), std::string::npos) << text;
  }
  QSettings reread(h.store.fileName(), QSettings::IniFormat);
  EXPECT_EQ(shell::readAppSettings(reread).dataFolder.toStdString(),
            fs::absolute(h.second.path()).lexically_normal().string());
  // The title window's menu offers the folder command with Ctrl+O.
  EXPECT_TRUE(shell.titleWindow()->actions().contains(shell.openFolderAction()));
  EXPECT_EQ(shell.openFolderAction()->shortcut(), QKeySequence(QKeySequence::Open));
  // ... and the line maker's window, the same one each time.
  EXPECT_TRUE(shell.titleWindow()->actions().contains(shell.makeLineAction()));
  shell.makeLineAction()->trigger();
  shell::AuthorWindow* maker = shell.authorWindow();
  EXPECT_TRUE(maker->isVisible());
  EXPECT_EQ(maker->windowTitle(), "路線作成");
  shell.makeLineAction()->trigger();
  EXPECT_EQ(shell.authorWindow(), maker);
  // Closing the title ends the program: the line maker's window closes with it.
  QSignalSpy quit(&shell, &shell::ProgramShell::quitRequested);
  shell.titleWindow()->close();
  EXPECT_FALSE(maker->isVisible());
  EXPECT_EQ(quit.count(), 1);
}

TEST(ProgramShell, VolumeKeypadSwapAndPortAreAppliedAndKept) {
  ShellHarness h;
  shell::AppSettings saved;
  saved.volumePercent = 40;
  saved.keypadSwap = true;
  saved.controllerPort = "COM2";
  shell::ProgramShell shell(h.context, saved, h.first.path());
  EXPECT_DOUBLE_EQ(h.sound.masterGain(), 0.16);
  EXPECT_TRUE(h.program.KeypadSwap);

  shell.setVolume(70);
  EXPECT_DOUBLE_EQ(h.sound.masterGain(), 0.49);
  // Ctrl+Up and Ctrl+Down step by 10 % and stop at the ends.
  const auto volumeKey = [&](QKeyCombination key) {
    for (QAction* a : shell.titleWindow()->actions()) {
      if (a->shortcut() == QKeySequence(key)) a->trigger();
    }
    return shell.settings().volumePercent;
  };
  EXPECT_EQ(volumeKey(Qt::CTRL | Qt::Key_Up), 80);
  EXPECT_EQ(volumeKey(Qt::CTRL | Qt::Key_Up), 90);
  EXPECT_EQ(volumeKey(Qt::CTRL | Qt::Key_Up), 100);
  EXPECT_EQ(volumeKey(Qt::CTRL | Qt::Key_Up), 100);
  EXPECT_EQ(volumeKey(Qt::CTRL | Qt::Key_Down), 90);
  for (int i = 0; i < 12; ++i) volumeKey(Qt::CTRL | Qt::Key_Down);
  EXPECT_EQ(shell.settings().volumePercent, 0);
  EXPECT_DOUBLE_EQ(h.sound.masterGain(), 0.0);
  shell.setVolume(70);
  h.program.KeypadSwap = false;
  shell.titleWindow()->TrainClick(2);
  shell::DrivingWindow* d = shell.titleWindow()->drivingWindow();
  ASSERT_NE(d, nullptr) << ::testing::PrintToString(h.messages.texts);
  EXPECT_EQ(d->controllerPort().portName(), "COM2");
  // In the cab a volume key shows the new volume in the status line, and the menu's slider and
  // its label follow it.
  d->show();
  for (QAction* a : d->actions()) {
    if (a->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_Down)) a->trigger();
  }
  EXPECT_EQ(shell.settings().volumePercent, 60);
  EXPECT_TRUE(d->statusLine()->isVisible());
  EXPECT_EQ(d->statusLine()->text(), "音量 60%");
  QWidgetAction* sliderAction = nullptr;
  for (QAction* top : d->menuBar()->actions()) {
    if (top->menu() == nullptr) continue;
    for (QAction* a : top->menu()->actions()) {
      if (a->menu() == nullptr) continue;
      for (QAction* inner : a->menu()->actions()) {
        if (auto* w = qobject_cast<QWidgetAction*>(inner)) sliderAction = w;
      }
    }
  }
  ASSERT_NE(sliderAction, nullptr);
  EXPECT_EQ(sliderAction->defaultWidget()->findChild<QSlider*>()->value(), 60);
  EXPECT_EQ(sliderAction->defaultWidget()->findChild<QLabel*>()->text(), "60%");
  saveScreenshot(*d, "volume_status.png");
  d->close();
  QSettings reread(h.store.fileName(), QSettings::IniFormat);
  const shell::AppSettings kept = shell::readAppSettings(reread);
  EXPECT_EQ(kept.volumePercent, 60);
  EXPECT_FALSE(kept.keypadSwap);
  EXPECT_EQ(kept.controllerPort, "COM2");
}

TEST(ProgramShell, ALoweredScaleIsToldOnTheTitleScreensStatusLine) {
  ShellHarness h;
  h.context.notice = "倍率2は画面に収まらないため、1で表示しています";
  shell::ProgramShell shell(h.context, {}, h.first.path());
  shell::TitleWindow* title = shell.titleWindow();
  title->Panel1Click();  // the opening ends: the title picture and, under it, the status line
  EXPECT_EQ(title->size(), QSize(640, 498));
  EXPECT_TRUE(title->statusLine()->isVisible());
  EXPECT_EQ(title->statusLine()->text(), h.context.notice);
  saveScreenshot(*title, "title_notice.png");
  // A train chosen and its drive closed: the notice has been read, the status line goes.
  title->TrainClick(2);
  ASSERT_NE(title->drivingWindow(), nullptr);
  title->drivingWindow()->close();
  EXPECT_EQ(title->size(), QSize(640, 480));
}

TEST(ProgramShell, FullScreenShowsTheCabAtTheLargestFactorCentredOnBlackAndComesBack) {
  ShellHarness h;
  shell::ProgramShell shell(h.context, {}, h.first.path());
  shell.titleWindow()->TrainClick(2);
  shell::DrivingWindow* d = shell.titleWindow()->drivingWindow();
  ASSERT_NE(d, nullptr);
  const QSize windowed = d->size();
  const QPoint position = d->pos();
  d->setCabFullScreen(true);
  QApplication::processEvents();
  const QSize screen = d->screen()->geometry().size();
  const int factor = shell::fullScreenFactor(screen, {640, 440});
  EXPECT_TRUE(d->cabFullScreen());
  EXPECT_FALSE(d->menuBar()->isVisible());
  EXPECT_EQ(d->cabWidget()->scale(), factor);
  EXPECT_EQ(d->cabWidget()->size(), QSize(640, 440) * factor);
  if (d->size() == screen) {
    EXPECT_EQ(d->cabWidget()->geometry(), shell::centredIn(QSize(640, 440) * factor, d->rect()));
    const QImage picture = d->grab().toImage();
    EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::black));
    saveScreenshot(*d, "full_screen.png");
  }
  d->setCabFullScreen(false);
  QApplication::processEvents();
  EXPECT_FALSE(d->cabFullScreen());
  EXPECT_TRUE(d->menuBar()->isVisible());
  EXPECT_EQ(d->cabWidget()->scale(), 1);
  EXPECT_EQ(d->size(), windowed);
  EXPECT_EQ(d->pos(), position);
  d->close();
}

}  // namespace
}  // namespace dravolin::testing
