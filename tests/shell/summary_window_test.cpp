// The summary window of a judged drive: one row per judged station with the stop, the times and
// the protection in words, the score and how it compares, and the status line.
#include "shell/summary_window.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTableWidget>

#include "drive/drive_fixture.h"
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

}  // namespace
}  // namespace dravolin::testing
