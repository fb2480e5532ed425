// What the program keeps between runs: the last data folder, the scale, where the windows were,
// full screen, the sound volume, the keypad swap, the controller box's port and the line video's
// fit and blending. Stored with QSettings in an INI file in the user's configuration folder
// (userFolders(): usually ~/.config/dravolin/dravolin.conf). The data files themselves are never
// written.
//
// The program's folders in the user's home are all spelt "dravolin", as the desktop file and the
// package spell the program: ~/.config/dravolin (settings, controller profiles, calibrations)
// and ~/.local/share/dravolin (recordings, history). Earlier versions kept some of them under
// "Dravolin"; their files are moved over at start (moveFormerUserFiles).
#pragma once

#include <QPoint>
#include <QString>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/language.h"

class QSettings;

namespace dravolin::shell {

struct AppSettings {
  QString dataFolder;        // absolute path of the data folder used last; empty: none yet
  std::optional<int> scale;  // 1 to 4, when the user has chosen one
  // Frame positions of the windows by name ("driving", "values", "help").
  std::map<QString, QPoint> windowPositions;
  bool fullScreen = false;     // the driving window in full screen
  int volumePercent = 100;     // 0 to 100, the master volume slider
  bool keypadSwap = false;     // Scroll Lock's exchange of the keypad's "2" and "8"
  QString controllerPort;      // "COM1", "COM2" or a device path; empty: the default
  QString authorInputFolder;   // the line maker's last folder of footage and tracks
  QString authorOutputFolder;  // the line maker's last folder written
  bool videoWhole = false;     // a large line video shown whole on black bars (else: width filled)
  bool blendFrames = true;  // the frames around the train's position blended (補間 重ね合わせ)
  // The language chosen in the menu (表示 → 言語 / Language); none: the desktop's.
  std::optional<msg::Language> language;

  bool operator==(const AppSettings&) const = default;
};

// The name of the program's folders in the user's home.
inline constexpr const char* kUserFolderName = "dravolin";
// Their name in earlier versions.
inline constexpr const char* kFormerUserFolderName = "Dravolin";

struct UserFolders {
  // $XDG_CONFIG_HOME/NAME: dravolin.conf, controllers/ (profiles), calibration/
  std::filesystem::path config;
  // $XDG_DATA_HOME/NAME: recordings/, history.db
  std::filesystem::path data;
};
// The program's folders under the user's configuration and data folders, named `name`.
UserFolders userFolders(const char* name = kUserFolderName);

// Moves every file of the folders `from` into the same place in `to`, creating folders as
// needed, and removes the folders of `from` that are left empty. A file is never overwritten:
// when `to` has a file of the same name already, the file stays where it is (and a database
// stays with its "-wal", "-shm" and "-journal" files, which are moved only together with it).
// Returns one line for every file left behind, naming both; empty when everything moved or
// `from` does not exist.
std::vector<std::string> moveFormerUserFiles(const UserFolders& from, const UserFolders& to);

// The settings file of the user: dravolin.conf in userFolders().config.
std::unique_ptr<QSettings> openUserSettings();
// Reads what `store` holds; values that are missing or out of range keep their defaults.
AppSettings readAppSettings(QSettings& store);
// Writes every value and flushes the file.
void writeAppSettings(QSettings& store, const AppSettings& settings);

// The master gain of a volume slider position: 0 to 100 % on a square law, which sounds more
// even than a straight line (50 % is a quarter of the amplitude, -12 dB).
double masterGainOfVolume(int percent);

}  // namespace dravolin::shell
