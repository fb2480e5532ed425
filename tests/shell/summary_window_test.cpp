// The summary window of a judged drive: one row per judged station with the stop, the times and
// the protection in words, the score and how it compares, and the status line.
#include "shell/summary_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
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

// The test line without its speed profile: its ranges are judged by frame.
data::LineFile judgedLine() {
  data::LineFile line = testDriveData().files.line;
  line.params.SpeedUnit.clear();
  return line;
}

// A: left 10 s late; C: stopped 50 cm short, an ATS alarm on the way, left early; D: run through;
// E: 1 cm over, the last, where the doors open.
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

// Each time is shown with the timetable's time it was judged against: the arrival against the
// departure sound, the departure against the departure time.
TEST(SummaryWindow, ListsEveryJudgedStation) {
  const data::LineFile line = judgedLine();
  const drive::Evaluation e = judgedDrive(line);
  const std::vector<std::array<const char*, 6>> expected = {
      {"A", "始発", "―", "10秒遅れ\n0:02:00 発（発車 0:01:50）", "なし", "100点"},
      {"C", "50 cm 手前", "3秒早着\n0:02:10 着（発車ベル 0:02:13）",
       "3秒早発\n0:02:20 発（発車 0:02:23）", "ATS警報 1", "74点"},
      {"D", "停車せず通過", "―", "―", "なし", "0点"},
      {"E", "1 cm 行き過ぎ", "6秒早着\n0:03:13 着（発車ベル 0:03:20）", "―", "なし", "100点"},
  };
  shell::SummaryComparison compared;
  compared.lastScore = 80;
  compared.bestScore = 90;
  compared.better = 1;
  compared.total = 3;
  TemporaryFolder user;
  const std::filesystem::path recording = user.path() / "20261207-150405-1.drs";
  std::ofstream(recording, std::ios::binary) << "# dravolin recording 1\n";
  shell::SummaryWindow w(
      e, "ソ表線", compared, "運転記録: recordings/20261207-150405-1.drs",
      {QString::fromStdString(recording.string()), [](const QString&) { return true; }});
  EXPECT_FALSE(w.replayButton()->isHidden());
  ASSERT_EQ(w.table()->rowCount(), static_cast<int>(expected.size()));
  for (int r = 0; r < w.table()->rowCount(); ++r) {
    for (int c = 0; c < 6; ++c) {
      EXPECT_EQ(w.table()->item(r, c)->text().toStdString(),
                expected[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)])
          << r << "," << c;
    }
  }
  EXPECT_EQ(e.score(), 68);  // (100 + 74 + 0 + 100) / 4 = 68.5, ties to even
  EXPECT_EQ(w.scoreLabel()->text().toStdString(), "総合得点 68点（完走）");
  EXPECT_EQ(w.comparisonLabel()->text().toStdString(), "前回 80点　最高 90点　この路線 3回中 2位");
  EXPECT_EQ(w.windowTitle().toStdString(), "運転結果 - ソ表線");
  w.show();
  saveScreenshot(w, "summary_window.png");
}

// How a drive ended is said beside its score; a drive that does not count says why, and does
// not claim a new best.
TEST(SummaryWindow, SaysHowTheDriveEnded) {
  const data::LineFile line = judgedLine();
  drive::Evaluation practice = judgedDrive(line);
  practice.markPractice();
  drive::Evaluation abandoned(line, at(150, 0, 5000, 3000), -8);
  abandoned.displayTick(at(650, 0, 20000, 3900), sim::ProtectionState{});
  shell::SummaryComparison compared;
  compared.bestScore = 50;
  const struct {
    const drive::Evaluation* e;
    const char* score;
    const char* comparison;
  } cases[] = {
      {&practice, "総合得点 68点（完走・練習）", "最高 50点　練習運転は最高記録と順位に数えません"},
      {&abandoned, "総合得点 100点（途中終了）",
       "最高 50点　最後の駅まで走らなかった運転は最高記録と順位に数えません"},
  };
  for (const auto& c : cases) {
    shell::SummaryWindow w(*c.e, "ソ表線", compared, "");
    EXPECT_EQ(w.scoreLabel()->text().toStdString(), c.score);
    EXPECT_EQ(w.comparisonLabel()->text().toStdString(), c.comparison);
    if (c.e == &practice) {
      w.show();
      saveScreenshot(w, "summary_window_practice.png");
    }
  }
}

// The end of a drive whose history is damaged: the summary opens, the result goes into a file
// beside the database and the status line says why; the summary replays the drive's recording.
TEST(SummaryWindow, DamagedHistoryKeepsTheDriveBesideIt) {
  TemporaryFolder user;
  std::ofstream(user.path() / "history.db", std::ios::binary) << std::string(4096, '?');
  std::ofstream(user.path() / "drive.drs", std::ios::binary) << "# dravolin recording 1\n";
  platform::SqliteDriveHistory history(user.path() / "history.db");
  const data::LineFile line = judgedLine();
  const drive::Evaluation e = judgedDrive(line);
  QString replayed;
  shell::EndedDrive ended;
  ended.evaluation = &e;
  ended.train = "test_train.dat";
  ended.line = "test_line.dat";
  ended.lineName = "ソ表線";
  ended.recording = user.path() / "drive.drs";
  ended.startReplay = [&replayed](const QString& file) {
    replayed = file;
    return true;
  };
  shell::SummaryWindow* summary = shell::endOfDrive(ended, &history);
  ASSERT_NE(summary, nullptr);
  const std::string status = summary->statusLine()->text().toStdString();
  EXPECT_NE(status.find("履歴に保存できませんでした（file is not a database）"), std::string::npos)
      << status;
  EXPECT_NE(status.find("運転記録: " + (user.path() / "drive.drs").string()), std::string::npos)
      << status;
  int kept = 0;
  for (const auto& f : std::filesystem::directory_iterator(user.path())) {
    kept += f.path().filename().string().starts_with("history.db.unsaved-") ? 1 : 0;
  }
  EXPECT_EQ(kept, 1);
  EXPECT_EQ(summary->table()->rowCount(), 4);
  ASSERT_FALSE(summary->replayButton()->isHidden());
  summary->replayButton()->click();
  EXPECT_EQ(replayed.toStdString(), (user.path() / "drive.drs").string());
  summary->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A window opened, started and closed at once judged no station after its start: no summary,
// and nothing goes into the history.
TEST(SummaryWindow, ADriveClosedAtOnceLeavesNothing) {
  MessageRecorder messages;
  DataFolder folder;
  TemporaryFolder user;
  platform::SqliteDriveHistory history(user.path() / "history.db");
  FakeSoundSlots sound;
  input::ProgramInputState program;
  shell::DrivingWindow::Context c;
  c.dataDir = folder.path();
  c.sound = &sound;
  c.makeDrive = shell::makeDriveFactory(program);
  c.recordingsFolder = user.path() / "recordings";
  bool ended = false;
  shell::SummaryWindow* summary = nullptr;
  c.onDriveEnded = [&](shell::DrivingWindow& w) {
    ended = true;
    summary = shell::endOfDrive(w, &history);
  };
  {
    shell::DrivingWindow d(c, {folder.path(), "test_train.dat", "test_line.dat"}, {});
    d.show();
    d.start1Click();
    d.close();
  }
  EXPECT_TRUE(ended);
  EXPECT_EQ(summary, nullptr);
  const platform::LineIdentity line{shell::historyPlace(folder.path()), "test_line.dat"};
  EXPECT_FALSE(history.last(line, "test_train.dat"));
  EXPECT_EQ(shell::historyLine(history, line, "test_train.dat").toStdString(), "");
}

// The title screen shows each train's best drive (complete, not practice) and its last drive
// with how it ended, under its buttons: on the open folder's own lines, never a score earned on
// another line whose files have the same names.
TEST(SummaryWindow, TitleShowsEachTrainsBestAndLast) {
  MessageRecorder messages;
  TemporaryFolder user;
  platform::SqliteDriveHistory history(user.path() / "history.db");
  std::string error;
  const struct {
    const char* place;
    const char* train;
    const char* line;
    int score;
    const char* kind;
    bool practice;
  } drives[] = {{"/home/u/demo", "E231_train.dat", "E231_line2.dat", 96, "complete", false},
                {"/home/u/demo", "E231_train.dat", "E231_line2.dat", 100, "abandoned", true},
                {"/home/u/demo", "205_train.dat", "205_line.dat", 100, "abandoned", false},
                // another line with the same file names, and the same folder's other line
                {"package:made", "E231_train.dat", "E231_line2.dat", 88, "complete", false},
                {"/home/u/demo", "E231_train.dat", "205_line.dat", 99, "complete", false}};
  for (const auto& d : drives) {
    platform::HistoryRun run;
    run.date = "2026-12-07 15:04:05";
    run.place = d.place;
    run.train = d.train;
    run.line = d.line;
    run.score = d.score;
    run.kind = d.kind;
    run.practice = d.practice;
    ASSERT_TRUE(history.add(run, error)) << error;
  }
  FakeSoundSlots sound;
  shell::TitleWindow::Context context;
  context.driving.dataDir = fixtureDriveFolder();
  context.driving.sound = &sound;
  context.historyOf = [&history](const shell::TrainChoice& choice) {
    return shell::historyLine(history, {"/home/u/demo", choice.lineFile}, choice.trainFile);
  };
  shell::TitleWindow title(context);
  title.show();
  title.Panel1Click();
  EXPECT_TRUE(title.historyPanel()->isVisible());
  EXPECT_EQ(title.historyPanel()->text().toStdString(),
            "E231_train　最高 96点・前回 100点（途中・練習）\n205_train　前回 100点（途中）");
  EXPECT_EQ(title.button(1)->toolTip().toStdString(), "最高 96点・前回 100点（途中・練習）");
  EXPECT_EQ(title.button(4)->toolTip().toStdString(), "前回 100点（途中）");
  saveScreenshot(title, "title_history.png");
}

}  // namespace
}  // namespace dravolin::testing
