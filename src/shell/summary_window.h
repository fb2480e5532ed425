// The summary of a drive: per station the stop against the mark, the arrival and departure
// against the timetable (each with the time it did it and the time it was judged against), what
// the train protection did on the way and the points, then the drive's score with how it ended
// (complete or abandoned, practice or not) and how it compares with the train's earlier drives,
// a button that replays the drive from its recording, and a status line (where the recording
// went, or why the history could not keep the drive).
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "drive/evaluation.h"
#include "platform/drive_history.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace dravolin::shell {

inline constexpr const char* kSummaryTitle = "運転結果";

// How this drive compares with the history; absent parts are not shown.
struct SummaryComparison {
  std::optional<int> lastScore;  // the train's drive before this one
  std::optional<int> bestScore;  // the train's best before this one
  int better = 0;                // complete drives on the line (any train) that scored more
  int total = 0;                 // complete drives on the line, this one included
};

// Where the drive's recording is and how to replay it; no file or no way: no replay offered.
struct SummaryReplay {
  QString recording;
  std::function<bool(const QString& recording)> start;  // false when it could not be started
};

// A time of day in 1/30 s as "h:mm:ss".
QString clockText(int ticks);
// How a drive ended, in words: "完走" or "途中終了", with "・練習" for a practice drive.
QString driveKindText(drive::DriveKind kind, bool practice);

// The texts of one station's row: station, stop, arrival, departure, protection, points.
std::array<QString, 6> summaryRow(const drive::StationResult& r);

// The history's rows of a drive's judged stations.
platform::HistoryRun historyRunOf(const drive::Evaluation& e);

class SummaryWindow final : public QDialog {
  Q_OBJECT

 public:
  SummaryWindow(const drive::Evaluation& evaluation, const QString& lineName,
                const SummaryComparison& comparison, const QString& status,
                const SummaryReplay& replay = {}, QWidget* parent = nullptr);

  QTableWidget* table() const { return table_; }
  QLabel* scoreLabel() const { return score_; }
  QLabel* comparisonLabel() const { return comparison_; }
  QLabel* statusLine() const { return status_; }
  // "この運転を再生": shown when the drive has a recording to replay.
  QPushButton* replayButton() const { return replayButton_; }

 private:
  QTableWidget* table_ = nullptr;
  QLabel* score_ = nullptr;
  QLabel* comparison_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* replayButton_ = nullptr;
};

}  // namespace dravolin::shell
