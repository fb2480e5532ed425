// What happens when a drive ends: a drive that judged a station after its start goes into the
// history (or, when the history cannot take it, into a file beside the history), and the summary
// window shows how it went. A drive that judged none (closed before it reached a station) leaves
// nothing behind.
#pragma once

#include <QString>
#include <filesystem>
#include <functional>
#include <string>

#include "drive/evaluation.h"
#include "platform/drive_history.h"
#include "platform/sqlite_drive_history.h"

namespace dravolin::shell {

class DrivingWindow;
class SummaryWindow;

// A drive as it ended.
struct EndedDrive {
  const drive::Evaluation* evaluation = nullptr;
  std::string train;  // the train and line files' names (raw)
  std::string line;
  std::string place;                // where the line is: platform::LineIdentity::place
  QString lineName;                 // the line's name for the summary's caption
  std::filesystem::path recording;  // empty when the drive was not recorded
  bool recordingFailed = false;     // the recording could not be written
  bool replay = false;              // a replay of a recording: not stored
  std::function<bool(const QString&)> startReplay;  // replays a recording; none: not offered
};

// Stores the drive in `history` (not a replay; none: not stored) and opens its summary window,
// which deletes itself when closed. Returns the window shown, or nullptr for a drive that is not
// judged or was not driven.
SummaryWindow* endOfDrive(const EndedDrive& drive, platform::SqliteDriveHistory* history);
// The same for the window's drive; its summary replays the recording with "dravolin --replay".
SummaryWindow* endOfDrive(DrivingWindow& window, platform::SqliteDriveHistory* history);

// The title screen's line of a train's history on a line: its best drive (complete, not
// practice) and its last drive with how it ended, or empty when it has neither.
QString historyLine(platform::DriveHistory& history, const platform::LineIdentity& line,
                    const std::string& trainFile);

// Where the data folder `dataDir` is, for the history: "package:ID" for a line installed in the
// library of lines, else its canonical path.
std::string historyPlace(const std::filesystem::path& dataDir);

// What the history's migration needs: the place of a data folder, and the last stop of a line
// file in it (read as a drive reads it).
platform::HistoryMigration historyMigration();

}  // namespace dravolin::shell
