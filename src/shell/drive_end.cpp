#include "shell/drive_end.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QProcess>
#include <QStringList>

#include "data/line_file.h"
#include "data/load_context.h"
#include "library/line_library.h"
#include "platform/file_picture_loader.h"
#include "shell/driving_window.h"
#include "shell/summary_window.h"

namespace dravolin::shell {

namespace {

// "dravolin --replay RECORDING", a program of its own beside this one.
bool startReplayProgram(const QString& recording) {
  return QProcess::startDetached(QCoreApplication::applicationFilePath(), {"--replay", recording});
}

}  // namespace

SummaryWindow* endOfDrive(const EndedDrive& ended, platform::SqliteDriveHistory* history) {
  const drive::Evaluation* evaluation = ended.evaluation;
  if (evaluation == nullptr || evaluation->kind() == drive::DriveKind::NotDriven) return nullptr;
  platform::HistoryRun run = historyRunOf(*evaluation);
  run.date = QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss").toStdString();
  run.train = ended.train;
  run.line = ended.line;
  run.place = ended.place;
  run.recording = ended.recording.string();
  const bool counted =
      run.kind == drive::driveKindName(drive::DriveKind::Complete) && !run.practice;

  SummaryComparison comparison;
  QStringList status;
  if (ended.replay) {
    status << "記録の再生です。履歴には加えません。";
  } else if (history != nullptr) {
    const platform::LineIdentity line{run.place, run.line};
    if (auto last = history->last(line, run.train)) comparison.lastScore = last->score;
    if (auto best = history->best(line, run.train)) comparison.bestScore = best->score;
    std::string error;
    if (history->add(run, error)) {
      if (counted) history->rank(line, run.score, comparison.better, comparison.total);
    } else {
      // The drive is never lost: it goes into a file beside the history.
      const std::filesystem::path kept = history->keepBeside(run);
      status << QString("履歴に保存できませんでした（%1）。").arg(QString::fromStdString(error)) +
                    (kept.empty() ? QString("結果を保存できませんでした。")
                                  : QString("結果は %1 に保存しました。")
                                        .arg(QString::fromStdString(kept.string())));
    }
  }
  if (ended.recordingFailed) {
    status
        << QString("運転記録を書き込めませんでした: %1").arg(QString::fromStdString(run.recording));
  } else if (!run.recording.empty()) {
    status << QString("運転記録: %1").arg(QString::fromStdString(run.recording));
  }
  SummaryReplay replay;
  if (!ended.recordingFailed) {
    replay.recording = QString::fromStdString(run.recording);
    replay.start = ended.startReplay;
  }
  auto* summary =
      new SummaryWindow(*evaluation, ended.lineName, comparison, status.join("\n"), replay);
  summary->show();
  return summary;
}

SummaryWindow* endOfDrive(DrivingWindow& window, platform::SqliteDriveHistory* history) {
  EndedDrive ended;
  ended.evaluation = window.drive().evaluation();
  ended.train = window.request().trainFile;
  ended.line = window.request().lineFile;
  ended.place = historyPlace(window.request().dataDir);
  ended.lineName = QString::fromStdString(window.drive().cab().Title);
  ended.recording = window.recorder().path();
  ended.recordingFailed = window.recorder().failed();
  ended.replay = window.replaying();
  ended.startReplay = startReplayProgram;
  return endOfDrive(ended, history);
}

QString historyLine(platform::DriveHistory& history, const platform::LineIdentity& line,
                    const std::string& trainFile) {
  QStringList parts;
  if (const auto best = history.best(line, trainFile))
    parts << QString("最高 %1点").arg(best->score);
  if (const auto last = history.last(line, trainFile)) {
    // How the last drive ended, in short, when it does not count: 途中 (abandoned), 練習.
    QStringList marks;
    if (last->kind != drive::driveKindName(drive::DriveKind::Complete)) marks << "途中";
    if (last->practice) marks << "練習";
    QString text = QString("前回 %1点").arg(last->score);
    if (!marks.isEmpty()) text += QString("（%1）").arg(marks.join("・"));
    parts << text;
  }
  return parts.join("・");
}

std::string historyPlace(const std::filesystem::path& dataDir) {
  return library::placeOfDataFolder(dataDir, library::defaultLibraryRoot());
}

platform::HistoryMigration historyMigration() {
  platform::HistoryMigration m;
  m.placeOf = [](const std::string& folder) { return historyPlace(folder); };
  m.lastStopOf = [](const std::string& folder, const std::string& lineFile) -> std::optional<int> {
    platform::FilePictureLoader pictures;
    data::LoadContext ctx;
    ctx.dataDir = folder;
    ctx.pictures = &pictures;
    try {
      const data::LineFile line = data::readLineFile(lineFile, ctx);
      for (std::size_t i = line.stations.size(); i-- > 0;) {
        if (line.stations[i].type != 1) return static_cast<int>(i);
      }
    } catch (const std::exception&) {
      // A line that cannot be read tells nothing.
    }
    return std::nullopt;
  };
  return m;
}

}  // namespace dravolin::shell
