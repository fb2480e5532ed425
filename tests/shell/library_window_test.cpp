// The library of lines from the title screen: a package dropped on the title window is
// installed off the window's thread, listed with its thumbnail, length, stations, trains and
// best score, opened as the data folder and driven; a line is removed only once confirmed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QSettings>
#include <QUrl>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>

#include "fixtures/run_tool.h"
#include "input/input_state.h"
#include "library/package_writer.h"
#include "platform/message_ids.h"
#include "platform/sqlite_drive_history.h"
#include "platform/virtual_sound_slots.h"
#include "shell/drive_end.h"
#include "shell/library_window.h"
#include "shell/program_shell.h"
#include "shell/title_window.h"
#include "shell_fixture.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;

void waitFor(const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done() && std::chrono::steady_clock::now() < until) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// The fast demo, packaged once for the tests of this file.
class Library : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    work_ = new TemporaryFolder;
    const fs::path demo = work_->path() / "demo";
    const ToolRun made = runTool(DRAVOLIN_MAKE_DEMO_EXE, quoted(demo.string()) + " --fast");
    ASSERT_EQ(made.status, 0) << made.err;
    library::PackageOptions o;
    o.id = "sakura";
    o.version = "1.2";
    o.author = "Dravolin";
    library::createPackage(demo, work_->path() / "sakura.dravolin", o);
  }
  static void TearDownTestSuite() {
    delete work_;
    work_ = nullptr;
  }
  static fs::path package() { return work_->path() / "sakura.dravolin"; }
  static fs::path demo() { return work_->path() / "demo"; }
  static TemporaryFolder* work_;
};
TemporaryFolder* Library::work_ = nullptr;

TEST_F(Library, APackageDroppedOnTheTitleIsInstalledListedOpenedAndDriven) {
  const fs::path startDir = fs::current_path();
  MessageRecorder messages;
  TemporaryFolder user;
  // The user's data folder, where the library is by default: the history's place of an
  // installed line is found there.
  const char* oldData = std::getenv("XDG_DATA_HOME");
  const std::optional<std::string> restore =
      oldData != nullptr ? std::optional<std::string>(oldData) : std::nullopt;
  ::setenv("XDG_DATA_HOME", user.path().c_str(), 1);
  const fs::path root = user.path() / "dravolin" / "lines";
  platform::SqliteDriveHistory history(user.path() / "history.db");
  platform::HistoryRun best;
  best.date = "2026-12-08 10:00:00";
  best.place = "package:sakura";
  best.line = "E231_line2.dat";
  best.train = "E231_train.dat";
  best.score = 96;
  std::string error;
  ASSERT_TRUE(history.add(best, error)) << error;

  QSettings store(QString::fromStdString(user.file("dravolin.conf")), QSettings::IniFormat);
  platform::VirtualSoundSlots sound;
  input::ProgramInputState program;
  shell::ProgramShell::Context context;
  context.title.driving.sound = &sound;
  context.title.driving.makeDrive = [](const drive::LoadRequest& r, const drive::StartupServices& s,
                                       const drive::StartupProgress& p) {
    return std::make_unique<RecordingDrive>(drive::loadDriveData(r, s, p));
  };
  context.program = &program;
  context.store = &store;
  context.bestOf = [&history](const library::InstalledLine& line) {
    const auto run =
        history.best({"package:" + line.manifest.id, "E231_line2.dat"}, "E231_train.dat");
    return run ? QString("最高 %1点").arg(run->score) : QString();
  };
  {
    shell::ProgramShell shell(context, {}, demo());
    shell::TitleWindow* title = shell.titleWindow();
    EXPECT_TRUE(title->actions().contains(shell.libraryAction()));
    EXPECT_TRUE(title->actions().contains(shell.addLineAction()));
    EXPECT_TRUE(title->acceptDrops());

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(package().string()))});
    // As the window system delivers a drop: the drag enters (and is taken), then it drops.
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(title, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(title, &drop);
    shell::LibraryWindow* w = shell.libraryWindow();
    EXPECT_TRUE(w->isVisible());
    waitFor([w] { return !w->installing(); });
    ASSERT_FALSE(w->installing());
    EXPECT_EQ(w->status()->text().toStdString(),
              msg::packageInstalled("さくら線 快速", "1.2", (root / "sakura").string()).text());
    ASSERT_EQ(w->list()->count(), 1);
    EXPECT_EQ(w->chosenId(), "sakura");
    const std::string text = w->list()->item(0)->text().toStdString();
    EXPECT_EQ(text,
              "さくら線 快速　（版 1.2）\n7.4 km・4 駅・E231_train、205_train\n最高 96点　作者: "
              "Dravolin");
    EXPECT_FALSE(w->list()->item(0)->icon().isNull());
    w->resize(560, 420);
    w->grab().toImage().save(QString(DRAVOLIN_SCREENSHOTS) + "/library_window.png");

    // 開く: the installed line is the data folder, and its trains drive on it.
    w->openChosen();
    waitFor([&] { return shell.dataFolder() == root / "sakura"; });
    EXPECT_EQ(shell.dataFolder(), root / "sakura");
    EXPECT_EQ(shell::historyPlace("."), "package:sakura");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    title = shell.titleWindow();
    title->Panel1Click();
    title->TrainClick(2);
    ASSERT_NE(title->drivingWindow(), nullptr);
    EXPECT_TRUE(title->drivingWindow()->isVisible());
    title->drivingWindow()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  fs::current_path(startDir);
  if (restore) {
    ::setenv("XDG_DATA_HOME", restore->c_str(), 1);
  } else {
    ::unsetenv("XDG_DATA_HOME");
  }
}

TEST_F(Library, ALineIsRemovedOnlyOnceConfirmedAndARefusalIsShown) {
  MessageRecorder messages;
  TemporaryFolder user;
  const fs::path root = user.path() / "lines";
  std::vector<QString> asked;
  bool answer = false;
  shell::LibraryWindow::Context c;
  c.root = root;
  c.ask = [&](QWidget*, const QString& text) {
    asked.push_back(text);
    return answer;
  };
  shell::LibraryWindow w(c);
  ASSERT_EQ(w.list()->count(), 1);  // the note that nothing is installed
  EXPECT_TRUE(w.chosenId().empty());

  // A file that is no package: refused, its message shown, nothing installed.
  const fs::path broken = user.path() / "broken.dravolin";
  std::ofstream(broken) << "not a zip";
  w.install(broken);
  waitFor([&] { return !w.installing(); });
  EXPECT_NE(w.status()->text().toStdString().find("「broken.dravolin」はインストールできません"),
            std::string::npos)
      << w.status()->text().toStdString();
  EXPECT_FALSE(fs::exists(root / "sakura"));

  w.install(package());
  waitFor([&] { return !w.installing(); });
  ASSERT_EQ(w.chosenId(), "sakura");
  w.removeChosen();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_NE(asked[0].toStdString().find("「さくら線 快速」（版 1.2）を削除しますか？"),
            std::string::npos);
  EXPECT_TRUE(fs::exists(root / "sakura"));
  answer = true;
  w.removeChosen();
  EXPECT_FALSE(fs::exists(root / "sakura"));
  EXPECT_TRUE(w.chosenId().empty());
}

}  // namespace
}  // namespace dravolin::testing
