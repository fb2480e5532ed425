#include "shell/summary_window.h"

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
      row[2] = seconds(r.arrivalLateS(), "遅れ", "早着");
      break;
    case Outcome::Ahead:
      row[1] = row[2] = "―";
      break;
  }
  row[3] = r.last || r.departureTicks < 0 || r.outcome == Outcome::Passed
               ? QString("―")
               : seconds(r.departureLateS(), "遅れ", "早発");
  row[4] = protection(r.onTheWay);
  row[5] = QString("%1点").arg(drive::scoreStation(r).points);
  return row;
}

platform::HistoryRun historyRunOf(const drive::Evaluation& e) {
  platform::HistoryRun run;
  run.score = e.score();
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
                             QWidget* parent)
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
  table_->horizontalHeader()->setSectionResizeMode(4, QHeaderView::Stretch);
  layout->addWidget(table_);

  score_ = new QLabel(QString("総合得点 %1点").arg(evaluation.score()), this);
  QFont big = score_->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  score_->setFont(big);
  layout->addWidget(score_);

  QStringList compared;
  if (comparison.lastScore) compared << QString("前回 %1点").arg(*comparison.lastScore);
  if (comparison.bestScore) {
    const int best = *comparison.bestScore;
    compared << (evaluation.score() > best ? QString("最高記録更新（これまで %1点）").arg(best)
                                           : QString("最高 %1点").arg(best));
  }
  if (comparison.total > 0) {
    compared << QString("この路線 %1回中 %2位").arg(comparison.total).arg(comparison.better + 1);
  }
  comparison_ =
      new QLabel(compared.isEmpty() ? QString("初めての運転です") : compared.join("　"), this);
  layout->addWidget(comparison_);

  auto* close = new QPushButton("閉じる", this);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(close, 0, Qt::AlignRight);

  status_ = new QLabel(status, this);
  status_->setWordWrap(true);
  status_->setFrameShape(QFrame::StyledPanel);
  layout->addWidget(status_);
  resize(std::max(640, table_->horizontalHeader()->length() + 40),
         std::min(600,
                  150 + table_->verticalHeader()->length() + table_->horizontalHeader()->height()));
}

}  // namespace dravolin::shell
