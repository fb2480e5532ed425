// The line maker's window (路線作成) on the offscreen platform: a short filmed ride and its GPX
// track opened through the window's own buttons, the offset found and moved, a stop renamed and
// made a pass, the frame under the cursor shown, the folder written off the window's thread and
// offered for driving; the last folders kept in the settings.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "data/drive_files.h"
#include "fixtures/run_tool.h"
#include "library/package_reader.h"
#include "platform/ffmpeg_footage.h"
#include "platform/file_picture_loader.h"
#include "shell/author_window.h"
#include "shell/frame_preview.h"
#include "shell/ride_chart.h"
#include "tools/ride_footage.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;

QPushButton* button(QWidget& w, const QString& text) {
  for (QPushButton* b : w.findChildren<QPushButton*>()) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

class AuthorWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("dravolin_author_window_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    // DRAVOLIN_AUTHOR_RIDE names a folder with ride.mp4 and ride.gpx (the tool test's, kept with
    // DRAVOLIN_AUTHOR_KEEP=1) for a screenshot of a longer ride.
    const char* given = std::getenv("DRAVOLIN_AUTHOR_RIDE");
    if (given != nullptr && *given != '\0') {
      video_ = fs::path(given) / "ride.mp4";
      track_ = fs::path(given) / "ride.gpx";
    } else {
      const RideTruth truth = rideTruth(true);
      const std::vector<author::testing::Fix> fixes = rideFixes(truth);
      const author::testing::Route route = rideRoute(truth);
      std::vector<author::Waypoint> waypoints;
      for (std::size_t i = 0; i < truth.stands.size(); ++i) {
        author::Waypoint w;
        w.name = truth.plan.stations[i].name;
        double h = 0;
        route.at(truth.plan.stations[i].stopM + 30, w.latitudeDeg, w.longitudeDeg, h);
        waypoints.push_back(w);
      }
      video_ = dir_ / "ride.mp4";
      track_ = dir_ / "ride.gpx";
      std::ofstream(track_) << author::testing::gpxText(fixes, waypoints);
      writeRideFootage(truth, 160, 80, video_.string(), (dir_ / "unused.mp4").string(), {});
      trueOffset_ = truth.videoStartUtc - truth.cameraClockUtc;
    }
    const ToolRun demo =
        runTool(DRAVOLIN_MAKE_DEMO_EXE, quoted((dir_ / "demo").string()) + " --fast");
    ASSERT_EQ(demo.status, 0) << demo.err;

    shell::AuthorWindow::Context c;
    c.footage = &footage_;
    c.trainsFolder = [this] { return dir_ / "demo"; };
    c.drive = [this](const fs::path& folder) { driven_ = folder; };
    c.chooseFile = [this](QWidget*, const QString&, const QString& dir, const QString&) {
      offeredDirs_.push_back(dir);
      const fs::path next = files_.empty() ? fs::path() : files_.front();
      if (!files_.empty()) files_.erase(files_.begin());
      return QString::fromStdString(next.string());
    };
    c.ask = [this](QWidget*, const QString& text) {
      asked_ = text;
      return true;
    };
    c.tell = [this](QWidget*, const QString& text) { told_ = text; };
    c.settings = &settings_;
    c.saveSettings = [this] { ++saves_; };
    window_ = std::make_unique<shell::AuthorWindow>(std::move(c));
    window_->show();
  }
  void TearDown() override {
    window_.reset();
    const char* keep = std::getenv("DRAVOLIN_AUTHOR_KEEP");
    if (keep == nullptr || *keep == '\0') fs::remove_all(dir_);
  }

  fs::path dir_;
  fs::path video_, track_;
  double trueOffset_ = NAN;
  platform::FfmpegFootage footage_;
  shell::AppSettings settings_;
  std::vector<fs::path> files_;
  std::vector<QString> offeredDirs_;
  fs::path driven_;
  QString asked_, told_;
  int saves_ = 0;
  std::unique_ptr<shell::AuthorWindow> window_;
};

TEST_F(AuthorWindowTest, MakesALineFromARideAndOffersToDriveIt) {
  QSignalSpy measured(window_.get(), &shell::AuthorWindow::measured);
  files_ = {video_, track_};
  button(*window_, "動画を開く...")->click();
  button(*window_, "GPS 記録を開く...")->click();
  ASSERT_TRUE(window_->busy());
  ASSERT_TRUE(measured.wait(120000)) << told_.toStdString();
  ASSERT_NE(window_->draft(), nullptr) << window_->status().toStdString();
  // The folder of the files chosen is where the next dialog opens.
  EXPECT_EQ(settings_.authorInputFolder.toStdString(), video_.parent_path().string());
  ASSERT_EQ(offeredDirs_.size(), 2u);
  EXPECT_EQ(offeredDirs_[1], settings_.authorInputFolder);

  QTableWidget* table = window_->stationTable();
  const std::size_t stations = window_->draft()->stations.size();
  ASSERT_GE(stations, 2u);
  ASSERT_EQ(table->rowCount(), static_cast<int>(stations));
  EXPECT_EQ(table->item(0, 0)->text(), "若葉台");
  if (!std::isnan(trueOffset_)) {
    EXPECT_NEAR(window_->draft()->userOffset(), trueOffset_, 0.2);
  }

  // The frame under the cursor.
  QTest::qWait(100);
  auto* chart = window_->findChild<shell::RideChart*>();
  auto* preview = window_->findChild<shell::FramePreview*>();
  ASSERT_TRUE(chart && preview);
  QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(chart->width() / 3, chart->height() / 2));
  for (int i = 0; i < 400 && preview->shownTime() != chart->cursorTime(); ++i) QTest::qWait(50);
  EXPECT_EQ(preview->shownTime(), chart->cursorTime());
  EXPECT_FALSE(preview->pixmap().isNull());
  window_->grab().toImage().save(QString(DRAVOLIN_SCREENSHOTS) + "/author_window.png");

  // A stop renamed and the next made a pass: the line is built again with them.
  table->item(0, 0)->setText("始発駅");
  qobject_cast<QComboBox*>(table->cellWidget(1, 1))->setCurrentIndex(1);
  QTest::qWait(600);
  EXPECT_EQ(window_->draft()->stations[0].name, "始発駅");
  EXPECT_EQ(window_->draft()->stations[1].type, 1);
  EXPECT_EQ(table->item(0, 0)->text(), "始発駅");

  // The offset moved by a second, then back.
  const double found = window_->draft()->userOffset();
  window_->setUserOffset(found + 1);
  EXPECT_NEAR(window_->draft()->userOffset(), found + 1, 1e-3);  // the spin box keeps 3 decimals
  window_->setUserOffset(found);

  // Written off the window's thread, then offered for driving.
  QSignalSpy written(window_.get(), &shell::AuthorWindow::written);
  const fs::path out = dir_ / "line";
  window_->exportTo(QString::fromStdString(out.string()));
  ASSERT_TRUE(window_->busy());
  ASSERT_TRUE(written.wait(120000)) << told_.toStdString();
  QTest::qWait(50);
  EXPECT_FALSE(asked_.isEmpty());
  EXPECT_EQ(driven_, out);
  EXPECT_EQ(settings_.authorOutputFolder.toStdString(), dir_.string());
  EXPECT_GT(saves_, 0);
  platform::FilePictureLoader pictures;
  data::LoadContext ctx;
  ctx.dataDir = out;
  ctx.pictures = &pictures;
  const data::DriveFiles files = data::readDriveFiles("205_train.dat", "205_line.dat", ctx);
  ASSERT_GE(files.line.stations.size(), 2u);
  EXPECT_EQ(files.line.stations[0].nameUtf8, "始発駅");
  EXPECT_EQ(files.line.stations[1].type, 1);

  // 共有用ファイルを作る... after the export: the folder as one package, made off the thread.
  ASSERT_TRUE(window_->shareButton()->isEnabled());
  QSignalSpy packaged(window_.get(), &shell::AuthorWindow::packaged);
  const fs::path package = dir_ / "line.dravolin";
  window_->packageTo(QString::fromStdString(package.string()));
  ASSERT_TRUE(packaged.wait(120000)) << told_.toStdString();
  const library::PackageReader reader(package);
  EXPECT_EQ(reader.manifest().id, "line");
  ASSERT_FALSE(reader.manifest().lines.empty());
  EXPECT_EQ(reader.manifest().lines[0].stations.front(), "始発駅");
}

TEST_F(AuthorWindowTest, ATrackWithoutAFixIsReportedAndNothingIsBuilt) {
  const fs::path empty = dir_ / "empty.gpx";
  std::ofstream(empty) << "<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\"/>";
  QSignalSpy failed(window_.get(), &shell::AuthorWindow::failed);
  window_->openRide(QString::fromStdString(video_.string()),
                    QString::fromStdString(empty.string()));
  ASSERT_TRUE(failed.wait(60000));
  EXPECT_NE(told_.toStdString().find("位置の記録"), std::string::npos) << told_.toStdString();
  EXPECT_EQ(window_->draft(), nullptr);
  EXPECT_FALSE(button(*window_, "書き出し...")->isEnabled());
}

}  // namespace
}  // namespace dravolin::testing
