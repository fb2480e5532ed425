// The driving window's recording of its drive and its replay of a recording.
#include <QDateTime>
#include <QMenu>
#include <QStatusBar>
#include <system_error>

#include "shell/drive_clock.h"
#include "shell/driving_window.h"
#include "shell/recording_drive.h"

namespace dravolin::shell {

namespace {

// The path of a file read at start-up as the recording names it: relative to the data folder;
// none for a file outside it, which a recording does not name.
std::optional<std::filesystem::path> recordedPath(const std::filesystem::path& file,
                                                  const std::filesystem::path& dataFolder) {
  const std::filesystem::path relative =
      file.is_absolute() ? file.lexically_relative(dataFolder) : file.lexically_normal();
  if (relative.empty() || !drive::staysInDataFolder(relative.generic_string())) {
    return std::nullopt;
  }
  return relative;
}

}  // namespace

void DrivingWindow::startRecording(const drive::LoadRequest& request) {
  std::error_code ec;
  const std::filesystem::path dataFolder = std::filesystem::absolute(request.dataDir, ec);
  drive::RecordingHeader header;
  header.dataFolder = dataFolder.lexically_normal().string();
  if (header.dataFolder.size() > 1 && header.dataFolder.back() == '/') {
    header.dataFolder.pop_back();
  }
  header.trainFile = request.trainFile;
  header.lineFile = request.lineFile;
  header.started = QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss").toStdString();
  input::ProgramInputState noProgram;
  header.settings =
      drive::settingsOf(context_.program ? *context_.program : noProgram, drive_->valueDisplay());
  for (const std::filesystem::path& file : drive_->data().filesRead) {
    const std::optional<std::filesystem::path> path = recordedPath(file, dataFolder);
    if (!path) continue;
    if (std::optional<drive::RecordedFile> f = drive::hashFile(dataFolder, *path)) {
      header.files.push_back(std::move(*f));
    }
  }
  std::filesystem::create_directories(context_.recordingsFolder, ec);
  std::filesystem::path path;
  for (int sequence = 1;; ++sequence) {
    path = context_.recordingsFolder / drive::recordingFileName(header.started, sequence);
    if (!std::filesystem::exists(path, ec)) break;
  }
  // A recording that cannot be written leaves the drive as it is; the summary says so.
  if (recorder_.open(path, header)) {
    drive::pruneRecordings(
        context_.recordingsFolder, context_.keepRecordings,
        context_.keptRecordings ? context_.keptRecordings() : std::set<std::string>{});
  }
  drive_->setRecorder(&recorder_);
}

void DrivingWindow::setUpReplay() {
  // The drive starts with the settings it was recorded with.
  input::ProgramInputState noProgram;
  drive::applySettings(context_.replaySettings, context_.program ? *context_.program : noProgram,
                       drive_->valueDisplay());
  syncValueDisplay();
  static const drive::ScriptProfiles kNoProfiles;
  replayController_ = std::make_unique<drive::ScriptController>(
      context_.replayProfiles ? *context_.replayProfiles : kNoProfiles);
  drive_->setReplaying(true);
  start1_->setEnabled(false);
  goTo1_->setEnabled(false);
  statusBar()->showMessage("再生");
  virtualClock_->setFreeRunning(true);
}

void DrivingWindow::reportDriveEnd() {
  if (endReported_ || !context_.onDriveEnded) return;
  endReported_ = true;
  context_.onDriveEnded(*this);
}

int DrivingWindow::nextReplayMs() const {
  const std::vector<drive::ScriptEvent>& events = *context_.replay;
  return replayNext_ < events.size() ? events[replayNext_].timeMs : 0;
}

void DrivingWindow::replayMs(int t) {
  const std::vector<drive::ScriptEvent>& events = *context_.replay;
  bool any = false;
  bool deviceReport = false;
  for (; replayNext_ < events.size() && events[replayNext_].timeMs <= t && !closing_;
       ++replayNext_) {
    const drive::ScriptEvent& e = events[replayNext_];
    statusBar()->showMessage(
        QString("%1 s   %2").arg(e.timeMs / 1000.0, 0, 'f', 3).arg(QString::fromStdString(e.text)));
    drive_->replayed([&] {
      switch (e.kind) {
        case drive::ScriptEventKind::Start:
          start1Click();
          break;
        case drive::ScriptEventKind::Char:
          guarded([&] { drive_->AsciiDown(e.character); });
          break;
        case drive::ScriptEventKind::Key:
          guarded([&] { drive_->keydowns(e.virtualKey, e.modifiers); });
          break;
        case drive::ScriptEventKind::WheelDown:
          guarded([&] { drive_->WheelD(); });
          break;
        case drive::ScriptEventKind::WheelUp:
          guarded([&] { drive_->WheelU(); });
          break;
        case drive::ScriptEventKind::Serial:
          guarded([&] { drive_->RxChar(e.bytes); });
          break;
        case drive::ScriptEventKind::Station:
          guarded([&] { drive_->StationClick("Sta" + std::to_string(e.station)); });
          break;
        case drive::ScriptEventKind::Controller:
          guarded([&] { drive_->ControllerCommand(e.index); });
          break;
        case drive::ScriptEventKind::ValuesClosed:
          drive_->valuesClosed();
          break;
        case drive::ScriptEventKind::DeviceAdd:
        case drive::ScriptEventKind::DeviceRemove:
        case drive::ScriptEventKind::Axis:
        case drive::ScriptEventKind::Button:
          // A script's device, worked through its profile as dravolin-drive works it.
          for (int line : replayController_->handle(e)) {
            guarded([&] { drive_->ControllerCommand(line); });
          }
          deviceReport = true;
          break;
        case drive::ScriptEventKind::End:
          // The recorded drive ended here: the ticks stop now, the window closes after this pass.
          virtualClock_->stop();
          QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
          break;
      }
    });
    any = true;
    // The end of the device's report of one millisecond: its button-encoded positions.
    const bool reportEnds =
        replayNext_ + 1 >= events.size() || events[replayNext_ + 1].timeMs != e.timeMs;
    if (deviceReport && reportEnds) {
      deviceReport = false;
      drive_->replayed([&] {
        for (int line : replayController_->flush()) {
          guarded([&] { drive_->ControllerCommand(line); });
        }
      });
    }
  }
  if (any) afterInput();
}

}  // namespace dravolin::shell
