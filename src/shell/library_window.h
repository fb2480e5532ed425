// The library of lines (路線ライブラリ), opened from the title screen: the open data folder, and
// beside it every line installed from a package, each with its thumbnail, name, version,
// length, stations, trains and best score. 開く opens the chosen line as the data folder,
// 削除... removes it after a confirmation, 路線を追加... installs a package file (as a file
// dropped on the title screen or given on the command line does). Installing runs off the
// window's thread with a progress bar and a cancel button; a package older than the line
// installed asks first.
#pragma once

#include <QWidget>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "library/line_library.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QThread;

namespace dravolin::shell {

class LibraryWindow final : public QWidget {
  Q_OBJECT

 public:
  struct Context {
    std::filesystem::path root;  // the library's folder
    // The open data folder, shown above the lines.
    std::function<std::filesystem::path()> dataFolder;
    // The best score on a line of an installed package (empty: none yet).
    std::function<QString(const library::InstalledLine& line)> bestOf;
    // Opens a line's folder as the data folder; true when it was opened.
    std::function<bool(const std::filesystem::path& folder)> open;
    // Dialogs, replaceable in tests: a package file to install (empty: cancelled), a question.
    std::function<QString(QWidget* parent)> choosePackage;
    std::function<bool(QWidget* parent, const QString& text)> ask;
  };

  explicit LibraryWindow(Context context, QWidget* parent = nullptr);
  ~LibraryWindow() override;

  // Lists the lines again.
  void refresh();
  // Installs a package file off the window's thread; the list is refreshed and the new line
  // chosen when it is done. Returns false when an install is already running.
  bool install(const std::filesystem::path& package);
  // 路線を追加...: the file dialog, then install().
  void addLine();
  // The chosen line: 開く, 削除...
  void openChosen();
  void removeChosen();
  // Cancels a running install.
  void cancelInstall();

  bool installing() const { return worker_ != nullptr; }
  QListWidget* list() const { return list_; }
  QLabel* status() const { return status_; }
  QProgressBar* progress() const { return progress_; }
  // The id of the chosen line; empty for none.
  std::string chosenId() const;
  void choose(const std::string& id);

 Q_SIGNALS:
  // An install has ended (installed, refused, cancelled or declined); the status says how.
  void installFinished(bool installed);

 private:
  void finishInstall();
  void updateButtons();

  Context context_;
  library::LineLibrary library_;
  QLabel* folder_ = nullptr;
  QListWidget* list_ = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* open_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QThread* worker_ = nullptr;
  std::atomic<bool> cancelFlag_{false};
  // What the worker left for the window's thread.
  struct Result;
  std::shared_ptr<Result> result_;
};

}  // namespace dravolin::shell
