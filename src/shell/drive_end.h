// What happens when a drive ends: the drive goes into the history (or, when the history cannot
// take it, into a file beside the history), and the summary window shows how it went.
#pragma once

#include <QString>

#include "platform/drive_history.h"
#include "platform/sqlite_drive_history.h"

namespace dravolin::shell {

class DrivingWindow;
class SummaryWindow;

// Stores the window's drive in `history` (not for a replay) and opens its summary window,
// which deletes itself when closed. Returns the window shown, or nullptr for a drive that is
// not judged.
SummaryWindow* endOfDrive(DrivingWindow& window, platform::SqliteDriveHistory* history);

// The title screen's line of a train's history: its best and its last drive, or empty.
QString historyLine(platform::DriveHistory& history, const std::string& trainFile);

}  // namespace dravolin::shell
