// What the program keeps between runs: the last data folder, the scale, where the windows were,
// full screen, the sound volume, the keypad swap, the controller box's port and the line video's
// fit and blending. Stored with
// QSettings in an INI file under the user's configuration folder ($XDG_CONFIG_HOME, usually
// ~/.config/dravolin/dravolin.conf). The data files themselves are never written.
#pragma once

#include <QPoint>
#include <QString>
#include <map>
#include <memory>
#include <optional>

class QSettings;

namespace dravolin::shell {

struct AppSettings {
  QString dataFolder;        // absolute path of the data folder used last; empty: none yet
  std::optional<int> scale;  // 1 to 4, when the user has chosen one
  // Frame positions of the windows by name ("driving", "values", "help").
  std::map<QString, QPoint> windowPositions;
  bool fullScreen = false;  // the driving window in full screen
  int volumePercent = 100;  // 0 to 100, the master volume slider
  bool keypadSwap = false;  // Scroll Lock's exchange of the keypad's "2" and "8"
  QString controllerPort;   // "COM1", "COM2" or a device path; empty: the default
  bool videoWhole = false;  // a large line video shown whole on black bars (else: width filled)
  bool blendFrames = true;  // the frames around the train's position blended (補間 重ね合わせ)

  bool operator==(const AppSettings&) const = default;
};

// The settings file of the user.
std::unique_ptr<QSettings> openUserSettings();
// Reads what `store` holds; values that are missing or out of range keep their defaults.
AppSettings readAppSettings(QSettings& store);
// Writes every value and flushes the file.
void writeAppSettings(QSettings& store, const AppSettings& settings);

// The master gain of a volume slider position: 0 to 100 % on a square law, which sounds more
// even than a straight line (50 % is a quarter of the amplitude, -12 dB).
double masterGainOfVolume(int percent);

}  // namespace dravolin::shell
