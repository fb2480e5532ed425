// The program as `dravolin --replay RECORDING` runs it: the recorded drive in its window at real
// speed, then its summary; the program ends when both are closed.
#pragma once

#include <functional>
#include <string>

#include "shell/driving_window.h"

namespace dravolin::shell {

// Checks the recording (its header, its events, its files against their hashes), makes the data
// folder the working folder and plays the drive from the recorded settings, the driver's inputs
// shown in the status line. Runs the event loop until the last window that keeps the program
// running closes: the cab, then the summary window of the drive; the value display window
// (`context.valueDisplay`), shown or not, does not keep it running. Returns the event loop's
// status, or 1 when the recording is refused (the reason on standard error and in a message).
// `made`, when given, is called with the cab once it exists (the program's sound watch shows its
// messages in the cab's status line).
int playRecording(const std::string& file, DrivingWindow::Context context,
                  const std::function<void(DrivingWindow&)>& made = {});

}  // namespace dravolin::shell
