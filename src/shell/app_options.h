// The program's command line (each form also takes --lang ja|en):
//   dravolin [--scale N] [DATA_DIR]
//   dravolin --measure SECONDS [--still | --jumps] [--scale N] [DATA_DIR] TRAIN_FILE LINE_FILE
//   dravolin --replay RECORDING [--scale N]
//   dravolin --version | --help
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/language.h"

namespace dravolin::shell {

struct AppOptions {
  bool version = false;
  bool help = false;
  int scale = 1;              // 1 to 4: the windows shown that many times as large
  bool scaleGiven = false;    // --scale was on the command line
  std::string dataDir = ".";  // the data folder, made the working folder
  bool dataDirGiven = false;  // DATA_DIR was on the command line
  // The measuring run: load the named drive in its window, start it and report the video
  // presentation after this many seconds of real time.
  std::optional<double> measureSeconds;
  bool still = false;  // measuring with the train left standing (no AutoSpeed)
  bool jumps = false;  // measuring with a jump of the train every 2 s
  std::string trainFile;
  std::string lineFile;
  // A recorded drive to play in the window (its header names the data folder and files).
  std::optional<std::string> replayFile;
  // The language of this run (--lang), before the one kept in the settings and the desktop's.
  std::optional<msg::Language> language;
};

// Parses the arguments after the program name; std::nullopt with `error` set on a usage error.
std::optional<AppOptions> parseAppOptions(const std::vector<std::string>& args, std::string& error);

// The usage text printed by --help and after a usage error.
const char* usageText();

}  // namespace dravolin::shell
