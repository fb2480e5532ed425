// The summary window of a judged drive: one row per judged station with the stop, the times and
// the protection in words, the score and how it compares, and the status line.
#include "shell/summary_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QTableWidget>

#include <fstream>

#include "drive/drive_fixture.h"
#include "input/input_state.h"
#include "platform/sqlite_drive_history.h"
#include "shell/drive_adapter.h"
#include "shell/drive_end.h"
#include "shell/title_window.h"
#include "shell_fixture.h"

namespace dravolin::testing {
namespace {

sim::TrainState at(int frame, int speedKmh, long double distanceCm, int clock) {
  sim::TrainState s;
  s.FrameIndex = frame;
  s.Speed = sim::Fixed::fromInt(speedKmh);
  s.Distance = distanceCm;
  s.ClockTicks = clock;
  return s;
}

// A: left 10 s late; C: stopped 50 cm short, an ATS alarm on the way, left early; D: run through;
// E: 1 cm over, the last.
drive::Evaluation judgedDrive(const data::LineFile& line) {
  drive::Evaluation e(line, at(150, 0, 5000, 3000), -8);
  const sim::ProtectionState none;
  sim::ProtectionState alarm;
  alarm.AtsAlarm = true;
  e.displayTick(at(160, 5, 5100, 3600), none);
  e.displayTick(at(500, 50, 15000, 3700), alarm);
  e.displayTick(at(650, 0, 19950, 3900), none);
  e.displayTick(at(651, 5, 19960, 4200), none);
  e.displayTick(at(800, 50, 25000, 4500), none);
  e.displayTick(at(1100, 50, 35000, 5500), none);
  e.displayTick(at(1250, 0, 40001, 5800), none);
  return e;
}

TEST(SummaryWindow, ListsEveryJudgedStation) {
  const data::LineFile line = testDriveData().files.line;
  const drive::Evaluation e = judgedDrive(line);
  const std::vector<std::array<const char*, 6>> expected = {
      {"A", "始発", "―", "10秒遅れ", "なし", "100点"},
      {"C", "50 cm 手前", "3秒早着", "3秒早発", "ATS警報 1", "74点"},
      {"D", "停車せず通過", "―", "―", "なし", "0点"},
      {"E", "1 cm 行き過ぎ", "6秒早着", "―", "なし", "100点"},
  };
  shell::SummaryComparison compared;
  compared.lastScore = 80;
  compared.bestScore = 90;
  compared.better = 1;
  compared.total = 3;
  shell::SummaryWindow w(e, "ソ表線", compared, "運転記録: /tmp/x.drs");
  ASSERT_EQ(w.table()->rowCount(), static_cast<int>(expected.size()));
  for (int r = 0; r < w.table()->rowCount(); ++r) {
    for (int c = 0; c < 6; ++c) {
      EXPECT_EQ(w.table()->item(r, c)->text().toStdString(),
                expected[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)])
          << r << "," << c;
    }
  }
  EXPECT_EQ(e.score(), 68);  // (100 + 74 + 0 + 100) / 4 = 68.5, ties to even
  EXPECT_EQ(w.scoreLabel()->text().toStdString(), "総合得点 68点");
  EXPECT_EQ(w.comparisonLabel()->text().toStdString(), "前回 80点　最高 90点　この路線 3回中 2位");
  EXPECT_EQ(w.windowTitle().toStdString(), "運転結果 - ソ表線");
  w.show();
  saveScreenshot(w, "summary_window.png");
}

// The end of a drive whose history is damaged: the drive ends as always, the summary opens, the
// result goes into a file beside the database and the status line says why.
TEST(SummaryWindow, DamagedHistoryKeepsTheDriveBesideIt) {
  MessageRecorder messages;
  DataFolder folder;
  TemporaryFolder user;
  std::ofstream(user.path() / "history.db", std::ios::binary) << std::string(4096, '?');
  platform::SqliteDriveHistory history(user.path() / "history.db");
  FakeSoundSlots sound;
  input::ProgramInputState program;
  shell::DrivingWindow::Context c;
  c.dataDir = folder.path();
  c.sound = &sound;
  c.makeDrive = shell::makeDriveFactory(program);
  c.recordingsFolder = user.path() / "recordings";
  shell::SummaryWindow* summary = nullptr;
  c.onDriveEnded = [&](shell::DrivingWindow& w) { summary = shell::endOfDrive(w, &history); };
  {
    shell::DrivingWindow d(c, {folder.path(), "test_train.dat", "test_line.dat"}, {});
    d.show();
    d.start1Click();
    d.close();
  }
  ASSERT_NE(summary, nullptr);
  const std::string status = summary->statusLine()->text().toStdString();
  EXPECT_NE(status.find("履歴に保存できませんでした（file is not a database）"), std::string::npos)
      << status;
  EXPECT_NE(status.find("運転記録: " + (user.path() / "recordings").string()), std::string::npos)
      << status;
  int kept = 0;
  for (const auto& e : std::filesystem::directory_iterator(user.path())) {
    kept += e.path().filename().string().starts_with("history.db.unsaved-") ? 1 : 0;
  }
  EXPECT_EQ(kept, 1);
  EXPECT_EQ(summary->table()->rowCount(), 1);  // the first station, where the drive started
  summary->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The title screen shows each train's best and last drive under its buttons.
TEST(SummaryWindow, TitleShowsEachTrainsBestAndLast) {
  MessageRecorder messages;
  FakeSoundSlots sound;
  shell::TitleWindow::Context context;
  context.driving.dataDir = fixtureDriveFolder();
  context.driving.sound = &sound;
  context.historyOf = [](const std::string& train) {
    return train == "E231_train.dat" ? QString("最高 96点・前回 80点") : QString();
  };
  shell::TitleWindow title(context);
  title.show();
  title.Panel1Click();
  EXPECT_TRUE(title.historyPanel()->isVisible());
  EXPECT_EQ(title.historyPanel()->text().toStdString(), "E231_train　最高 96点・前回 80点");
  EXPECT_EQ(title.button(1)->toolTip().toStdString(), "最高 96点・前回 80点");
  EXPECT_EQ(title.button(4)->toolTip().toStdString(), "");
  saveScreenshot(title, "title_history.png");
}

}  // namespace
}  // namespace dravolin::testing
