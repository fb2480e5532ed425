// The line maker's window (路線作成) on the offscreen platform: a short filmed ride and its GPX
// track opened through the window's own buttons, the offset found and moved, a stop renamed and
// made a pass, the frame under the cursor shown, the folder written off the window's thread and
// offered for driving; the last folders kept in the settings.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
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
    // The export's own folder dialog is kept: the test fills it in (exportThrough()).
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

  // Clicks 書き出し... and, in the folder dialog that opens, names a new folder `name` (made by
  // the dialog) and accepts it; the dialog is saved as a screenshot.
  void exportThrough(const QString& name) {
    bool filled = false;
    QTimer::singleShot(200, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      dialog->resize(760, 460);
      dialog->grab().toImage().save(QString(DRAVOLIN_SCREENSHOTS) + "/author_export_dialog.png");
      // Qt's own dialog, with its button for a new folder.
      EXPECT_NE(dialog->findChild<QWidget*>("newFolderButton"), nullptr);
      auto* nameBox = dialog->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(nameBox, nullptr);
      nameBox->setText(name);
      static_cast<QDialog*>(dialog)->accept();  // the dialog's own accept(), as its button
      filled = true;
    });
    button(*window_, "書き出し...")->click();
    EXPECT_TRUE(filled);
  }
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

  // A name with "#" first and a comma: shown and written as the line file holds it.
  table->item(2 < table->rowCount() ? 2 : 1, 0)->setText("#1 川辺,北口");
  QTest::qWait(600);
  const int renamed = 2 < table->rowCount() ? 2 : 1;
  EXPECT_EQ(table->item(renamed, 0)->text(), "＃1 川辺、北口");

  // An offset of any size (a camera whose clock was never set), with the dates it means.
  auto* offsetBox = window_->findChild<QDoubleSpinBox*>();
  ASSERT_NE(offsetBox, nullptr);
  const double found = window_->draft()->userOffset();
  window_->setUserOffset(found + 9.0 * 365 * 86400);
  EXPECT_NEAR(offsetBox->value(), found + 9.0 * 365 * 86400, 1e-3);
  // The offset moved by a second, then back.
  window_->setUserOffset(found + 1);
  ASSERT_NE(window_->draft(), nullptr) << window_->status().toStdString();
  EXPECT_NEAR(window_->draft()->userOffset(), found + 1, 1e-3);  // the spin box keeps 3 decimals
  window_->setUserOffset(found);
  const QString dates = window_->findChild<QLabel*>("dates")->text();
  EXPECT_TRUE(dates.startsWith("動画の始まり: GPS の時刻で 20")) << dates.toStdString();
  EXPECT_TRUE(dates.contains("時刻のずれ")) << dates.toStdString();

  // Written off the window's thread into a folder the dialog made, then offered for driving.
  QSignalSpy written(window_.get(), &shell::AuthorWindow::written);
  settings_.authorOutputFolder = QString::fromStdString(dir_.string());
  exportThrough("新しい線");
  const fs::path out = dir_ / "新しい線";
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
  EXPECT_EQ(files.line.stations[static_cast<std::size_t>(renamed)].nameUtf8, "＃1 川辺、北口");
  // The new line's own title picture.
  EXPECT_TRUE(fs::is_regular_file(out / "image" / "title" / "title.jpg"));

  // Stopped with 中止 beside the progress bar while writing: the folder half written is gone.
  QSignalSpy cancelled(window_.get(), &shell::AuthorWindow::cancelled);
  window_->exportTo(QString::fromStdString((dir_ / "stopped").string()));
  ASSERT_TRUE(window_->busy());
  QPushButton* stop = button(*window_, "中止");
  ASSERT_NE(stop, nullptr);
  EXPECT_TRUE(stop->isVisible());
  stop->click();
  ASSERT_TRUE(cancelled.wait(60000));
  QTest::qWait(50);
  EXPECT_FALSE(window_->busy());
  EXPECT_FALSE(stop->isVisible());
  EXPECT_FALSE(fs::exists(dir_ / "stopped"));
  for (const auto& e : fs::directory_iterator(dir_)) {
    EXPECT_EQ(e.path().filename().string().find(".part-"), std::string::npos) << e.path();
  }
  EXPECT_TRUE(button(*window_, "書き出し...")->isEnabled());

  // 共有用ファイルを作る...: the folder exported last (not the one stopped) as one package, made
  // off the thread.
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

// Closing the window while it measures stops the work.
TEST_F(AuthorWindowTest, ClosingTheWindowStopsItsWork) {
  QSignalSpy cancelled(window_.get(), &shell::AuthorWindow::cancelled);
  window_->openRide(QString::fromStdString(video_.string()),
                    QString::fromStdString(track_.string()));
  ASSERT_TRUE(window_->busy());
  window_->close();
  ASSERT_TRUE(cancelled.wait(60000));
  QTest::qWait(50);
  EXPECT_FALSE(window_->busy());
  EXPECT_EQ(window_->draft(), nullptr);
}

TEST_F(AuthorWindowTest, ATrackWithoutAFixIsReportedAndNothingIsBuilt) {
  // A receiver that never had a fix: its cold start's sentences only.
  const fs::path empty = dir_ / "cold.nmea";
  std::ofstream(empty) << "$GPRMC,,V,,,,,,,,,,N*53\r\n$GPGGA,,,,,,0,00,99.99,,,,,,*48\r\n";
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
