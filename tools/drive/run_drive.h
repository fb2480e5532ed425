// The headless drive: a drive loaded from its data files and run in virtual time, one
// millisecond at a time, from a script of driver events, printing a CSV trace of chosen
// columns and, on request, a log of the sounds started and stopped.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "drive/drive.h"
#include "drive/script_controller.h"
#include "platform/virtual_sound_slots.h"
#include "tools/drive/columns.h"
#include "tools/drive/script.h"

namespace dravolin::tools {

inline constexpr const char* kDriveUsage =
    "usage: dravolin-drive [--dir DIR] TRAIN_FILE LINE_FILE --until MS [--script FILE] "
    "[--columns LIST] [--every MS] [--sounds FILE] [--check]\n"
    "       dravolin-drive --script RECORDING [--dir DIR] [--until MS] [--columns LIST] "
    "[--every MS] [--sounds FILE]\n"
    "       dravolin-drive [--dir DIR] [TRAIN_FILE LINE_FILE] --random SEED --until MS\n"
    "  (each also takes --lang ja|en: the language of the messages)";

// Exit statuses.
inline constexpr int kExitLoadError = 1;
inline constexpr int kExitUsageError = 2;
inline constexpr int kExitCheckFailed = 3;  // a checked or random drive broke an invariant

struct DriveToolOptions {
  std::filesystem::path dir = ".";
  bool dirGiven = false;  // --dir given (else a recording's own data folder)
  std::string trainFile;
  std::string lineFile;
  int untilMs = 0;  // 0: the script's end event
  std::optional<std::filesystem::path> script;
  std::string columns{kDefaultColumns};
  int everyMs = 100;
  std::optional<std::filesystem::path> sounds;
  bool help = false;                        // --help or -h: print the usage and run nothing
  bool check = false;                       // check the invariants instead of writing a trace
  std::optional<std::uint64_t> randomSeed;  // drive on random input (the soak)
};

// The trains and lines of a random drive when none are named: the demo's two.
inline const std::vector<std::pair<std::string, std::string>> kDemoDrives = {
    {"E231_train.dat", "E231_line2.dat"}, {"205_train.dat", "205_line.dat"}};

// Parses the command line (without the program name). On a usage error returns nullopt and
// puts the reason in `error`. With --help the other arguments need not be complete.
std::optional<DriveToolOptions> parseDriveArguments(const std::vector<std::string>& args,
                                                    std::string& error);

// Where the trace and the sound log go.
struct DriveOutputs {
  std::ostream& trace;
  std::ostream* sounds = nullptr;  // "t_ms,slot,action" lines; none when null
};

using drive::ScriptProfiles;

// Runs a loaded drive from t = 1 to `untilMs`. At each t: the sound time moves to t; the
// script's events of t, in order, each with the events it posts, then the end of the
// controller's report (its button-encoded positions); while running the simulation tick when
// t % 33 == 0 and the display tick when t % 100 == 0; a pass of the idle handler (the due frame
// recorded as shown, on a cab view that has every frame, at most one every 33 ms, only while
// running); a trace row when t % everyMs == 0. Writes the header line first. A controller
// plugged in starts with every axis at 0 and every button up, and gives commands only when a
// position changes from there.
void runDrive(drive::Drive& drive, platform::VirtualSoundSlots& sounds,
              const std::vector<ScriptEvent>& events, const std::vector<std::string>& columnNames,
              int untilMs, int everyMs, const DriveOutputs& out,
              const ScriptProfiles& profiles = {});

using drive::loadScriptProfiles;

// A "station N" event names an entry the "Move" menu does not have: the message naming its
// line, or empty when every station event has its entry.
std::string checkStationEvents(const drive::Drive& drive, const std::vector<ScriptEvent>& events);

// The whole tool: reads the script, loads the drive from the options' folder, runs it. Returns
// the exit status (0, kExitLoadError, kExitUsageError or kExitCheckFailed) and writes messages
// to `err`. `allocations`, when the program counts its heap allocations, lets a checked drive
// see allocations in the ticks.
int runDriveTool(const DriveToolOptions& options, std::ostream& out, std::ostream& err,
                 long (*allocations)() = nullptr);

}  // namespace dravolin::tools
