// The program around the title window: which data folder is open and opening another one
// (Ctrl+O, the title window's menu), the settings kept between runs, the driving window's
// full screen (F11), the sound volume and the language (言語 / Language). It owns the title,
// help and value display windows; opening another data folder makes the folder the working
// folder and builds them afresh, and so does another language: at once from the title window,
// when the drive ends from the driving window (which says so on its status line).
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <memory>

#include "library/line_library.h"
#include "platform/language.h"
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
class LibraryWindow;

inline constexpr int kVolumeStep = 10;  // % per Ctrl+Up / Ctrl+Down

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
    // Makes a language the application's (Translations::install); none: the catalogue's only.
    std::function<void(msg::Language)> applyLanguage;
    // The library of installed lines (empty: $XDG_DATA_HOME/dravolin/lines), and the best score
    // of one of its lines, shown in the library's list (none: no scores).
    std::filesystem::path libraryRoot;
    std::function<QString(const library::InstalledLine& line)> bestOf;
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
  // The language menu's choice: kept in the settings; the windows change to it at once, or when
  // the drive that is open ends.
  void chooseLanguage(msg::Language language);
  // The language the windows are in, and the one they change to when the drive ends.
  msg::Language language() const { return language_; }
  std::optional<msg::Language> pendingLanguage() const { return pendingLanguage_; }

  TitleWindow* titleWindow() const { return title_.get(); }
  const std::filesystem::path& dataFolder() const { return folder_; }
  const AppSettings& settings() const { return settings_; }
  QAction* openFolderAction() const { return openFolder_; }
  QAction* makeLineAction() const { return makeLine_; }
  // The line maker's window (路線作成), made when first asked for.
  AuthorWindow* authorWindow();
  // The library of lines (路線ライブラリ), made when first asked for.
  LibraryWindow* libraryWindow();
  QAction* libraryAction() const { return library_; }
  QAction* addLineAction() const { return addLine_; }
  // Installs a package file (路線を追加..., a file dropped on the title window or given on the
  // command line) into the library, in the library's window.
  void installPackage(const std::filesystem::path& file);

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
  // 言語 / Language: one entry a language, the one chosen checked.
  QMenu* makeLanguageMenu(QWidget* parent);
  void applyLanguage(msg::Language language);
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
  QAction* library_ = nullptr;
  QAction* addLine_ = nullptr;
  std::unique_ptr<LibraryWindow> libraryWindow_;
  std::unique_ptr<platform::FootageService> footage_;
  std::unique_ptr<AuthorWindow> author_;
  QMenu* titleVolume_ = nullptr;
  QMenu* titleLanguage_ = nullptr;
  msg::Language language_ = msg::Language::Japanese;
  std::optional<msg::Language> pendingLanguage_;
};

}  // namespace dravolin::shell
