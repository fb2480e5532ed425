// Which folder the program opens: a data folder holds the settings file "dravolin.dat" and the
// train files the title screen's buttons name. Without arguments the program opens the data
// folder used last, else the demo installed with it, else the current folder.
#pragma once

#include <QString>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "shell/title_window.h"

namespace dravolin::shell {

inline constexpr const char* kSettingsFile = "dravolin.dat";

// What `dir` lacks to be a data folder: "dravolin.dat" when it is missing, and the train files
// of `trains` when none of them is there. Empty for a data folder. A folder that does not exist
// lacks everything.
std::vector<std::string> missingDataFiles(const std::filesystem::path& dir,
                                          const TrainTable& trains = defaultTrainTable());

// The message for a folder that is not a data folder, naming what is missing.
QString notADataFolderMessage(const QString& dir, const std::vector<std::string>& missing);

// The demo installed with the program: share/dravolin/demo beside the program's bin/ folder
// (so an installation can be moved), else under `installedDataDir` (the configured prefix's
// share/dravolin). std::nullopt when neither is a data folder.
std::optional<std::filesystem::path> installedDemoFolder(
    const std::filesystem::path& programDir, const std::filesystem::path& installedDataDir);

// The folder to open: `given` on the command line when there is one, else `lastUsed` when it is
// still a data folder, else the installed demo, else the current folder.
std::filesystem::path startFolder(const std::optional<std::filesystem::path>& given,
                                  const std::filesystem::path& lastUsed,
                                  const std::optional<std::filesystem::path>& installedDemo);

}  // namespace dravolin::shell
