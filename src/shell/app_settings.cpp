#include "shell/app_settings.h"

#include <QSettings>
#include <algorithm>

namespace dravolin::shell {

namespace {

constexpr const char* kDataFolder = "dataFolder";
constexpr const char* kScale = "scale";
constexpr const char* kFullScreen = "fullScreen";
constexpr const char* kVolume = "soundVolume";
constexpr const char* kKeypadSwap = "keypadSwap";
constexpr const char* kControllerPort = "controllerPort";
constexpr const char* kWindows = "windows";
constexpr const char* kVideoWhole = "videoWhole";
constexpr const char* kBlendFrames = "blendFrames";

std::optional<int> intValue(const QSettings& store, const char* key) {
  bool ok = false;
  const int v = store.value(key).toInt(&ok);
  return ok ? std::optional<int>(v) : std::nullopt;
}

}  // namespace

std::unique_ptr<QSettings> openUserSettings() {
  // The native format of Unix is an INI file: $XDG_CONFIG_HOME/dravolin/dravolin.conf.
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "dravolin",
                                     "dravolin");
}

AppSettings readAppSettings(QSettings& store) {
  AppSettings s;
  s.dataFolder = store.value(kDataFolder).toString();
  if (const std::optional<int> scale = intValue(store, kScale);
      scale && *scale >= 1 && *scale <= 4) {
    s.scale = *scale;
  }
  s.fullScreen = store.value(kFullScreen, false).toBool();
  if (const std::optional<int> v = intValue(store, kVolume))
    s.volumePercent = std::clamp(*v, 0, 100);
  s.keypadSwap = store.value(kKeypadSwap, false).toBool();
  s.controllerPort = store.value(kControllerPort).toString();
  s.videoWhole = store.value(kVideoWhole, false).toBool();
  s.blendFrames = store.value(kBlendFrames, true).toBool();
  store.beginGroup(kWindows);
  for (const QString& name : store.childKeys()) {
    const QVariant v = store.value(name);
    if (v.metaType().id() == QMetaType::QPoint) s.windowPositions[name] = v.toPoint();
  }
  store.endGroup();
  return s;
}

void writeAppSettings(QSettings& store, const AppSettings& s) {
  store.setValue(kDataFolder, s.dataFolder);
  if (s.scale) {
    store.setValue(kScale, *s.scale);
  } else {
    store.remove(kScale);
  }
  store.setValue(kFullScreen, s.fullScreen);
  store.setValue(kVolume, s.volumePercent);
  store.setValue(kKeypadSwap, s.keypadSwap);
  store.setValue(kControllerPort, s.controllerPort);
  store.setValue(kVideoWhole, s.videoWhole);
  store.setValue(kBlendFrames, s.blendFrames);
  store.remove(kWindows);
  store.beginGroup(kWindows);
  for (const auto& [name, position] : s.windowPositions) store.setValue(name, position);
  store.endGroup();
  store.sync();
}

double masterGainOfVolume(int percent) {
  const double x = std::clamp(percent, 0, 100) / 100.0;
  return x * x;
}

}  // namespace dravolin::shell
