// The program around the title window: which data folder is open and opening another one
// (Ctrl+O, the title window's menu), the settings kept between runs, the driving window's
// full screen (F11) and the sound volume. It owns the title, help and value display windows;
// opening another data folder makes the folder the working folder and builds them afresh.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <memory>

#include "shell/app_settings.h"
#include "shell/driving_window.h"
#include "shell/title_window.h"

class QAction;
class QMenu;
class QSettings;
class QSlider;

namespace dravolin::input {
struct ProgramInputState;
}

namespace dravolin::platform {
class FootageService;
}

namespace dravolin::shell {

class AuthorWindow;

inline constexpr const char* kOpenDataFolder = "データフォルダを開く(&O)...";
inline constexpr const char* kMakeLine = "路線作成(&L)...";
inline constexpr const char* kFullScreen = "全画面表示(&F)";
inline constexpr const char* kVolume = "音量(&V)";
inline constexpr const char* kWindowMenu = "ウィンドウ(&W)";
inline constexpr const char* kVolumeUp = "音量を上げる";
inline constexpr const char* kVolumeDown = "音量を下げる";
inline constexpr int kVolumeStep = 10;                    // % per Ctrl+Up / Ctrl+Down
inline constexpr const char* kVolumeStatus = "音量 %1%";  // the status line after a volume key

class ProgramShell final : public QObject {
  Q_OBJECT

 public:
  struct Context {
    TitleWindow::Context title;  // everything but the data folder, which this object sets
    input::ProgramInputState* program = nullptr;  // the keypad swap, kept across drives
    QSettings* store = nullptr;                   // where the settings last; null: nowhere
    // Asks the user for a folder (the folder dialog); an empty string when cancelled.
    std::function<QString(QWidget* parent, const QString& current)> chooseFolder;
    QString notice;  // shown on the title window's status line (a scale that was lowered)
  };

  // Opens `folder` (made the working folder) with the settings read at start.
  ProgramShell(Context context, AppSettings settings, const std::filesystem::path& folder);
  ~ProgramShell() override;

  // Opens another data folder: a folder that is not one is refused with a message naming what
  // is missing and the open one stays. Returns whether it was opened.
  bool openDataFolder(const std::filesystem::path& folder);
  // Ctrl+O: the folder dialog, then openDataFolder().
  void chooseDataFolder();
  // The master volume, 0 to 100 %.
  void setVolume(int percent);
  // Writes the settings now (they are also written on every change that matters and at quit).
  void saveSettings();
  // A text about the sound output, in the status line of the driving window while one is
  // open, else in the title window's.
  void showSoundStatus(const QString& text);

  TitleWindow* titleWindow() const { return title_.get(); }
  const std::filesystem::path& dataFolder() const { return folder_; }
  const AppSettings& settings() const { return settings_; }
  QAction* openFolderAction() const { return openFolder_; }
  QAction* makeLineAction() const { return makeLine_; }
  // The line maker's window (路線作成), made when first asked for.
  AuthorWindow* authorWindow();

 Q_SIGNALS:
  // The title window was closed: the program ends.
  void quitRequested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildWindows();
  void onDrivingShown(DrivingWindow* window);
  void onDrivingClosed(DrivingWindow* window);
  // The slider, then the two volume keys (Ctrl+Up, Ctrl+Down), which also work in `window`
  // while the menu bar is hidden.
  QMenu* makeVolumeMenu(QWidget* parent, QWidget* window);
  void place(QWidget* window, const QString& name);

  Context context_;
  AppSettings settings_;
  std::filesystem::path folder_;
  std::unique_ptr<HelpWindow> help_;
  std::unique_ptr<ValueDisplayWindow> values_;
  std::unique_ptr<TitleWindow> title_;
  QPointer<DrivingWindow> driving_;
  QAction* openFolder_ = nullptr;
  QAction* makeLine_ = nullptr;
  std::unique_ptr<platform::FootageService> footage_;
  std::unique_ptr<AuthorWindow> author_;
  QMenu* titleVolume_ = nullptr;
};

}  // namespace dravolin::shell
