// 路線作成: the line maker's window. It opens the footage of a cab ride and its GPS track and
// measures them off the window's thread (every frame is decoded once), shows the track's speed
// and the picture's motion against time with the offset between them as a slider (any offset,
// however far the camera's clock was off, with the dates it means), the stops as a list whose
// names and kinds can be changed, and the frame under the cursor. 書き出し writes the line folder
// off the window's thread with a progress bar, then offers to drive it. The 中止 button beside
// the progress bar, or closing the window, stops the work: a folder half written is removed.
#pragma once

#include <QWidget>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "author/line_draft.h"
#include "platform/footage.h"
#include "shell/app_settings.h"

class QCloseEvent;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;
class QTableWidget;
class QThread;
class QTimer;

namespace dravolin::shell {

class RideChart;
class FramePreview;

inline constexpr const char* kAuthorWindowTitle = "路線作成";

class AuthorWindow final : public QWidget {
  Q_OBJECT

 public:
  struct Context {
    platform::FootageService* footage = nullptr;
    // The folder whose trains and settings a written line takes.
    std::function<std::filesystem::path()> trainsFolder;
    // Opens a written folder as the data folder.
    std::function<void(const std::filesystem::path&)> drive;
    // The dialogs (tests replace them): a file to open, a folder to write into, a yes/no
    // question and a message.
    std::function<QString(QWidget*, const QString& title, const QString& dir,
                          const QString& filter)>
        chooseFile;
    // The folder dialog of the export: it can make a new folder, and `name` is offered as one.
    std::function<QString(QWidget*, const QString& title, const QString& dir, const QString& name)>
        chooseFolder;
    std::function<bool(QWidget*, const QString& text)> ask;
    // The package file to make of the folder exported (empty: cancelled); none: the file dialog.
    std::function<QString(QWidget*, const QString& suggested)> choosePackageFile;
    std::function<void(QWidget*, const QString& text)> tell;
    AppSettings* settings = nullptr;  // the last folders are kept in it
    std::function<void()> saveSettings;
  };

  explicit AuthorWindow(Context context, QWidget* parent = nullptr);
  ~AuthorWindow() override;

  // Measures the footage and the track (the track may be the footage itself, with its GPS
  // stream); the line is built when it is done (measured()) or the fault shown.
  void openRide(const QString& video, const QString& track);
  // The offset relative to the video's creation time (or the track's start).
  void setUserOffset(double seconds);
  // Writes the line folder (written() when done, or the fault shown).
  void exportTo(const QString& folder);
  // 共有用ファイルを作る...: packages the folder written last into `file` (NAME.dravolin) off the
  // window's thread (packaged() when done, or the fault shown).
  void packageTo(const QString& file);
  QPushButton* shareButton() const { return share_; }

  bool busy() const { return worker_ != nullptr; }
  // Stops the measuring or the writing (the 中止 button): a folder half written is removed.
  void cancelWork();
  const author::LineDraft* draft() const { return draft_.get(); }
  QTableWidget* stationTable() const { return stations_; }
  QString status() const;

 Q_SIGNALS:
  void measured();
  void written(const QString& folder);
  void packaged(const QString& file);
  void failed(const QString& message);
  // The work was stopped (cancelWork(), or the window closed) and has ended.
  void cancelled();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void chooseVideo();
  void chooseTrack();
  void useVideoTrack();
  void chooseExport();
  void choosePackage();
  void rebuild();
  void showDraft();
  void showCursor(double videoTimeS);
  void stationEdited(int row, int column);
  void onMeasured(std::shared_ptr<author::RideMeasurements> ride);
  void onFailed(const QString& message);
  // For the worker: reports a share of the work and a step to the window's thread (queued), and
  // answers whether to go on (false once cancel_ of the moment it was made is set).
  std::function<bool(double, const std::string&)> progressReporter();
  void onProgress(double share, const QString& step);
  void finishWorker();
  void rememberInput(const QString& file);
  // The dates the offset means: the video's start on the camera's clock and on the track's.
  void showDates();

  Context context_;
  QString video_;
  QString track_;
  std::shared_ptr<const author::RideMeasurements> ride_;
  std::unique_ptr<author::LineDraft> draft_;
  author::LineOptions options_;
  std::shared_ptr<std::atomic<bool>> cancel_;
  QThread* worker_ = nullptr;

  QLabel* videoLabel_ = nullptr;
  QLabel* trackLabel_ = nullptr;
  QPushButton* videoTrack_ = nullptr;
  RideChart* chart_ = nullptr;
  FramePreview* preview_ = nullptr;
  QLabel* frameLabel_ = nullptr;
  QDoubleSpinBox* offset_ = nullptr;
  QSlider* offsetSlider_ = nullptr;
  QLabel* sureness_ = nullptr;
  QTableWidget* stations_ = nullptr;
  QLineEdit* lineName_ = nullptr;
  QSpinBox* signals_ = nullptr;
  QLineEdit* zone_ = nullptr;
  QLabel* dates_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* stop_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* export_ = nullptr;
  QPushButton* share_ = nullptr;
  QString writtenFolder_;  // the folder exported last, which 共有用ファイルを作る... packages
  QTimer* rebuildTimer_ = nullptr;
  double sliderCentre_ = 0;  // user offset at the slider's middle
  bool filling_ = false;     // the table is being filled, not edited
};

}  // namespace dravolin::shell
