#include "shell/app_settings.h"

#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <system_error>

namespace dravolin::shell {

namespace {

constexpr const char* kDataFolder = "dataFolder";
constexpr const char* kScale = "scale";
constexpr const char* kFullScreen = "fullScreen";
constexpr const char* kVolume = "soundVolume";
constexpr const char* kKeypadSwap = "keypadSwap";
constexpr const char* kControllerPort = "controllerPort";
constexpr const char* kWindows = "windows";
constexpr const char* kAuthorInput = "author/inputFolder";
constexpr const char* kAuthorOutput = "author/outputFolder";
constexpr const char* kVideoWhole = "videoWhole";
constexpr const char* kBlendFrames = "blendFrames";
constexpr const char* kLanguage = "language";

std::optional<int> intValue(const QSettings& store, const char* key) {
  bool ok = false;
  const int v = store.value(key).toInt(&ok);
  return ok ? std::optional<int>(v) : std::nullopt;
}

namespace fs = std::filesystem;

// A database's companions, which belong to it: moved with it or not at all.
constexpr const char* kCompanionSuffixes[] = {"-wal", "-shm", "-journal"};

// Renames, or copies and removes across file systems; false when the file is still where it was.
bool moveFile(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (!ec) return true;
  if (!fs::copy_file(from, to, fs::copy_options::none, ec)) return false;
  fs::remove(from, ec);
  return true;
}

void moveFolder(const fs::path& from, const fs::path& to, std::vector<std::string>& left) {
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  const auto listed = [&names](const std::string& name) {
    return std::binary_search(names.begin(), names.end(), name);
  };
  fs::create_directories(to, ec);
  for (const std::string& name : names) {
    if (fs::is_directory(fs::symlink_status(from / name, ec))) {
      moveFolder(from / name, to / name, left);
      fs::remove(from / name, ec);  // only when left empty
      continue;
    }
    // A companion of a database in this folder goes with the database.
    bool companion = false;
    for (const std::string suffix : kCompanionSuffixes) {
      companion = companion || (name.size() > suffix.size() && name.ends_with(suffix) &&
                                listed(name.substr(0, name.size() - suffix.size())));
    }
    if (companion) continue;
    std::vector<std::string> group = {name};
    for (const char* suffix : kCompanionSuffixes) {
      if (listed(name + suffix)) group.push_back(name + suffix);
    }
    std::string taken;
    for (const std::string& member : group) {
      if (fs::exists(fs::symlink_status(to / member, ec))) taken = member;
    }
    if (!taken.empty()) {
      for (const std::string& member : group) {
        left.push_back((from / member).string() + " stays where it is: " + (to / taken).string() +
                       " exists already");
      }
      continue;
    }
    for (const std::string& member : group) {
      if (!moveFile(from / member, to / member)) {
        left.push_back((from / member).string() + " stays where it is: it cannot be moved to " +
                       (to / member).string());
      }
    }
  }
}

fs::path standardFolder(QStandardPaths::StandardLocation location) {
  return QStandardPaths::writableLocation(location).toStdString();
}

}  // namespace

UserFolders userFolders(const char* name) {
  return {standardFolder(QStandardPaths::GenericConfigLocation) / name,
          standardFolder(QStandardPaths::GenericDataLocation) / name};
}

std::vector<std::string> moveFormerUserFiles(const UserFolders& from, const UserFolders& to) {
  std::vector<std::string> left;
  for (const auto& [a, b] : {std::pair{from.config, to.config}, std::pair{from.data, to.data}}) {
    std::error_code ec;
    if (a.empty() || b.empty() || !fs::is_directory(fs::symlink_status(a, ec))) continue;
    // On a file system that ignores letter case both names are one folder.
    if (fs::exists(b, ec) && fs::equivalent(a, b, ec)) continue;
    moveFolder(a, b, left);
    fs::remove(a, ec);  // only when left empty
  }
  return left;
}

std::unique_ptr<QSettings> openUserSettings() {
  return std::make_unique<QSettings>(
      QString::fromStdString((userFolders().config / "dravolin.conf").string()),
      QSettings::IniFormat);
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
  s.authorInputFolder = store.value(kAuthorInput).toString();
  s.authorOutputFolder = store.value(kAuthorOutput).toString();
  s.videoWhole = store.value(kVideoWhole, false).toBool();
  s.blendFrames = store.value(kBlendFrames, true).toBool();
  s.language = msg::languageOfCode(store.value(kLanguage).toString().toStdString());
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
  store.setValue(kAuthorInput, s.authorInputFolder);
  store.setValue(kAuthorOutput, s.authorOutputFolder);
  store.setValue(kVideoWhole, s.videoWhole);
  store.setValue(kBlendFrames, s.blendFrames);
  if (s.language) {
    const std::string_view code = msg::languageCode(*s.language);
    store.setValue(kLanguage, QString::fromUtf8(code.data(), static_cast<qsizetype>(code.size())));
  } else {
    store.remove(kLanguage);
  }
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
