#include "shell/drive_end.h"

#include <QDateTime>
#include <QStringList>

#include "shell/driving_window.h"
#include "shell/summary_window.h"

namespace dravolin::shell {

SummaryWindow* endOfDrive(DrivingWindow& window, platform::SqliteDriveHistory* history) {
  const drive::Evaluation* evaluation = window.drive().evaluation();
  if (evaluation == nullptr) return nullptr;
  platform::HistoryRun run = historyRunOf(*evaluation);
  run.date = QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss").toStdString();
  run.train = window.request().trainFile;
  run.line = window.request().lineFile;
  if (window.recorder().isOpen() || !window.recorder().path().empty()) {
    run.recording = window.recorder().path().string();
  }

  SummaryComparison comparison;
  QStringList status;
  if (window.replaying()) {
    status << "記録の再生です。履歴には加えません。";
  } else if (history != nullptr) {
    if (auto last = history->last(run.train)) comparison.lastScore = last->score;
    if (auto best = history->best(run.train)) comparison.bestScore = best->score;
    std::string error;
    if (history->add(run, error)) {
      history->rank(run.train, run.line, run.score, comparison.better, comparison.total);
    } else {
      // The drive is never lost: it goes into a file beside the history.
      const std::filesystem::path kept = history->keepBeside(run);
      status << QString("履歴に保存できませんでした（%1）。").arg(QString::fromStdString(error)) +
                    (kept.empty() ? QString("結果を保存できませんでした。")
                                  : QString("結果は %1 に保存しました。")
                                        .arg(QString::fromStdString(kept.string())));
    }
  }
  if (window.recorder().failed()) {
    status << QString("運転記録を書き込めませんでした: %1")
                  .arg(QString::fromStdString(window.recorder().path().string()));
  } else if (!run.recording.empty()) {
    status << QString("運転記録: %1").arg(QString::fromStdString(run.recording));
  }
  const QString lineName = QString::fromStdString(window.drive().cab().Title);
  auto* summary = new SummaryWindow(*evaluation, lineName, comparison, status.join("\n"));
  summary->show();
  return summary;
}

QString historyLine(platform::DriveHistory& history, const std::string& trainFile) {
  const auto best = history.best(trainFile);
  const auto last = history.last(trainFile);
  if (!best || !last) return {};
  return QString("最高 %1点・前回 %2点").arg(best->score).arg(last->score);
}

}  // namespace dravolin::shell
