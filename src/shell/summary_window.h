// The summary of a drive: per station the stop against the mark, the arrival and departure
// against the timetable, what the train protection did on the way and the points, then the
// drive's score and how it compares with the train's earlier drives, and a status line (where the
// recording went, or why the history could not keep the drive).
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <optional>

#include "drive/evaluation.h"
#include "platform/drive_history.h"

class QLabel;
class QTableWidget;

namespace dravolin::shell {

inline constexpr const char* kSummaryTitle = "運転結果";

// How this drive compares with the history; absent parts are not shown.
struct SummaryComparison {
  std::optional<int> lastScore;  // the train's drive before this one
  std::optional<int> bestScore;  // the train's best before this one
  int better = 0;                // drives of the train on the line that scored more
  int total = 0;                 // drives of the train on the line, this one included
};

// The texts of one station's row: station, stop, arrival, departure, protection, points.
std::array<QString, 6> summaryRow(const drive::StationResult& r);

// The history's rows of a drive's judged stations.
platform::HistoryRun historyRunOf(const drive::Evaluation& e);

class SummaryWindow final : public QDialog {
  Q_OBJECT

 public:
  SummaryWindow(const drive::Evaluation& evaluation, const QString& lineName,
                const SummaryComparison& comparison, const QString& status,
                QWidget* parent = nullptr);

  QTableWidget* table() const { return table_; }
  QLabel* scoreLabel() const { return score_; }
  QLabel* comparisonLabel() const { return comparison_; }
  QLabel* statusLine() const { return status_; }

 private:
  QTableWidget* table_ = nullptr;
  QLabel* score_ = nullptr;
  QLabel* comparison_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace dravolin::shell
