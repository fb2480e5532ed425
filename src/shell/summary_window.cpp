#include "shell/summary_window.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace dravolin::shell {

namespace {

using Outcome = drive::StationResult::Outcome;

QString seconds(int s, const char* late, const char* early) {
  if (s == 0) return "定時";
  return s > 0 ? QString("%1秒%2").arg(s).arg(late) : QString("%1秒%2").arg(-s).arg(early);
}

// A judged time with the time it was judged against: "3秒早着\n9:04:57 着（発車ベル 9:05:00）".
QString judgedTime(int lateS, const char* late, const char* early, int at, const QString& did,
                   const QString& against, int reference) {
  return seconds(lateS, late, early) +
         QString("\n%1 %2（%3 %4）").arg(clockText(at), did, against, clockText(reference));
}

QString protection(const drive::ProtectionEvents& e) {
  QStringList parts;
  const auto add = [&parts](int n, const char* what) {
    if (n > 0) parts << QString("%1 %2").arg(what).arg(n);
  };
  add(e.atsAlarms, "ATS警報");
  add(e.atsBrakes, "ATSブレーキ");
  add(e.patternBrakes, "パターンブレーキ");
  add(e.atcBrakes, "ATCブレーキ");
  add(e.ebBrakes, "EBブレーキ");
  add(e.emergencyBrakes, "非常ブレーキ");
  add(e.overspeeds, "速度超過");
  return parts.isEmpty() ? QString("なし") : parts.join("、");
}

const char* outcomeName(Outcome o) {
  switch (o) {
    case Outcome::Origin:
      return "origin";
    case Outcome::Stopped:
      return "stopped";
    case Outcome::Passed:
      return "passed";
    case Outcome::Ahead:
      break;
  }
  return "ahead";
}

}  // namespace

QString clockText(int ticks) {
  const int seconds = ticks / 30;
  return QString("%1:%2:%3")
      .arg(seconds / 3600)
      .arg(seconds / 60 % 60, 2, 10, QChar('0'))
      .arg(seconds % 60, 2, 10, QChar('0'));
}

QString driveKindText(drive::DriveKind kind, bool practice) {
  QString text = kind == drive::DriveKind::Complete ? "完走" : "途中終了";
  if (practice) text += "・練習";
  return text;
}

std::array<QString, 6> summaryRow(const drive::StationResult& r) {
  std::array<QString, 6> row;
  row[0] = QString::fromStdString(r.nameUtf8);
  switch (r.outcome) {
    case Outcome::Origin:
      row[1] = "始発";
      row[2] = "―";
      break;
    case Outcome::Passed:
      row[1] = "停車せず通過";
      row[2] = "―";
      break;
    case Outcome::Stopped:
      row[1] = r.stopErrorCm == 0  ? QString("ぴったり")
               : r.stopErrorCm > 0 ? QString("%1 cm 行き過ぎ").arg(r.stopErrorCm)
                                   : QString("%1 cm 手前").arg(-r.stopErrorCm);
      row[2] = r.arrivalTicks < 0 ? QString("―")
                                  : judgedTime(r.arrivalLateS(), "遅れ", "早着", r.arrivalTicks,
                                               "着", "発車ベル", r.departureSoundTicks);
      break;
    case Outcome::Ahead:
      row[1] = row[2] = "―";
      break;
  }
  row[3] = r.last || r.departureTicks < 0 || r.outcome == Outcome::Passed
               ? QString("―")
               : judgedTime(r.departureLateS(), "遅れ", "早発", r.departureTicks, "発", "発車",
                            r.departureTimeTicks);
  row[4] = protection(r.onTheWay);
  row[5] = QString("%1点").arg(drive::scoreStation(r).points);
  return row;
}

platform::HistoryRun historyRunOf(const drive::Evaluation& e) {
  platform::HistoryRun run;
  run.score = e.score();
  run.kind = drive::driveKindName(e.kind());
  run.practice = e.practice();
  for (const drive::StationResult& r : e.stations()) {
    if (!r.judged()) continue;
    platform::HistoryStation s;
    s.station = r.station;
    s.nameUtf8 = r.nameUtf8;
    s.outcome = outcomeName(r.outcome);
    s.stopErrorCm = r.stopErrorCm;
    s.arrivalLateS = r.arrivalLateS();
    s.departed = r.departureTicks >= 0 && !r.last;
    s.departureLateS = s.departed ? r.departureLateS() : 0;
    s.protectionEvents = r.onTheWay.total();
    s.points = drive::scoreStation(r).points;
    run.stations.push_back(std::move(s));
  }
  return run;
}

SummaryWindow::SummaryWindow(const drive::Evaluation& evaluation, const QString& lineName,
                             const SummaryComparison& comparison, const QString& status,
                             const SummaryReplay& replay, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QString("%1 - %2").arg(kSummaryTitle, lineName));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(this);

  table_ = new QTableWidget(this);
  table_->setColumnCount(6);
  table_->setHorizontalHeaderLabels({"駅", "停止位置", "到着", "発車", "保安装置", "得点"});
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionMode(QAbstractItemView::NoSelection);
  for (const drive::StationResult& r : evaluation.stations()) {
    if (!r.judged()) continue;
    const int row = table_->rowCount();
    table_->insertRow(row);
    const std::array<QString, 6> texts = summaryRow(r);
    for (int c = 0; c < 6; ++c) {
      auto* item = new QTableWidgetItem(texts[static_cast<std::size_t>(c)]);
      if (c == 5) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      table_->setItem(row, c, item);
    }
  }
  table_->resizeColumnsToContents();
  table_->resizeRowsToContents();
  table_->horizontalHeader()->setSectionResizeMode(4, QHeaderView::Stretch);
  layout->addWidget(table_);

  const drive::DriveKind kind = evaluation.kind();
  // Only a complete drive that was not practice counts for the best and the rank.
  const bool counted = kind == drive::DriveKind::Complete && !evaluation.practice();
  score_ = new QLabel(QString("総合得点 %1点（%2）")
                          .arg(evaluation.score())
                          .arg(driveKindText(kind, evaluation.practice())),
                      this);
  QFont big = score_->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  score_->setFont(big);
  layout->addWidget(score_);

  QStringList compared;
  if (comparison.lastScore) compared << QString("前回 %1点").arg(*comparison.lastScore);
  if (comparison.bestScore) {
    const int best = *comparison.bestScore;
    compared << (counted && evaluation.score() > best
                     ? QString("最高記録更新（これまで %1点）").arg(best)
                     : QString("最高 %1点").arg(best));
  }
  if (counted && comparison.total > 0) {
    compared << QString("この路線 %1回中 %2位").arg(comparison.total).arg(comparison.better + 1);
  }
  if (!counted) {
    compared << (evaluation.practice() ? QString("練習運転は最高記録と順位に数えません")
                                       : QString("最後の駅まで走らなかった運転は最高記録と順位に"
                                                 "数えません"));
  }
  comparison_ =
      new QLabel(compared.isEmpty() ? QString("初めての運転です") : compared.join("　"), this);
  comparison_->setWordWrap(true);
  layout->addWidget(comparison_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  replayButton_ = new QPushButton("この運転を再生", this);
  replayButton_->setVisible(!replay.recording.isEmpty() && static_cast<bool>(replay.start) &&
                            QFileInfo::exists(replay.recording));
  connect(replayButton_, &QPushButton::clicked, this, [this, replay] {
    if (!replay.start(replay.recording)) {
      status_->setText(status_->text() +
                       QString("\n再生を始められませんでした: %1").arg(replay.recording));
    }
  });
  buttons->addWidget(replayButton_);
  auto* close = new QPushButton("閉じる", this);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  buttons->addWidget(close);
  layout->addLayout(buttons);

  status_ = new QLabel(status, this);
  status_->setWordWrap(true);
  status_->setFrameShape(QFrame::StyledPanel);
  layout->addWidget(status_);
  resize(std::max(640, table_->horizontalHeader()->length() + 40),
         std::min(640,
                  190 + table_->verticalHeader()->length() + table_->horizontalHeader()->height()));
}

}  // namespace dravolin::shell
