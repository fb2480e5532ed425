#include "shell/replay_program.h"

#include <QApplication>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include "data/load_error.h"
#include "drive/recording.h"
#include "drive/script.h"
#include "drive/script_controller.h"
#include "shell/drive_end.h"
#include "shell/messages.h"
#include "shell/value_display_window.h"

namespace dravolin::shell {

namespace {

// Refuses a recording: the reason on standard error and in a message box.
int refuseReplay(const std::string& reason) {
  std::fprintf(stderr, "dravolin: %s\n", reason.c_str());
  showMessage(QString::fromStdString("この記録は再生できません。\n" + reason));
  return 1;
}

}  // namespace

int playRecording(const std::string& file, DrivingWindow::Context context,
                  const std::function<void(DrivingWindow&)>& made) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return refuseReplay("cannot read " + file);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  const std::string text = bytes.str();
  std::string error;
  const std::optional<drive::RecordingHeader> header = drive::parseRecordingHeader(text, error);
  if (!header) {
    return refuseReplay(file + ": " + (error.empty() ? "not a recording of a drive" : error));
  }
  auto events = drive::parseScript(text, error);
  if (!events) return refuseReplay(file + ": " + error);
  if (const std::string changed = drive::checkRecordedFiles(*header, header->dataFolder);
      !changed.empty()) {
    return refuseReplay(file + ": " + changed);
  }
  std::error_code ec;
  std::filesystem::current_path(header->dataFolder, ec);
  if (ec) return refuseReplay("cannot use the data folder " + header->dataFolder);
  auto profiles = std::make_shared<drive::ScriptProfiles>();
  if (const std::string bad =
          drive::loadScriptProfiles(*events, std::filesystem::path(file).parent_path(), *profiles);
      !bad.empty()) {
    return refuseReplay(file + ": " + bad);
  }
  context.replay = std::make_shared<const std::vector<drive::ScriptEvent>>(std::move(*events));
  context.replaySettings = header->settings;
  context.replayProfiles = std::move(profiles);
  context.recordingsFolder.clear();
  context.dataDir = ".";
  // The value display window belongs to the program, which ends with the replay's cab and
  // summary: shown or not, it does not keep the program running after them.
  if (context.valueDisplay != nullptr) {
    context.valueDisplay->setAttribute(Qt::WA_QuitOnClose, false);
  }
  // The summary window opens when the replayed drive ends. The window keeps a copy of its
  // context: this is set before it is made.
  context.onDriveEnded = [](DrivingWindow& w) { endOfDrive(w, nullptr); };
  std::unique_ptr<DrivingWindow> window;
  try {
    window = std::make_unique<DrivingWindow>(
        context, drive::LoadRequest{".", header->trainFile, header->lineFile},
        drive::StartupProgress{});
  } catch (const data::LoadError& e) {
    return refuseReplay(e.message());
  }
  if (made) made(*window);
  window->show();
  return QApplication::exec();
}

}  // namespace dravolin::shell
