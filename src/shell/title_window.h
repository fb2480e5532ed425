// The title window: the opening movie, then the title picture with the train buttons appearing
// one per 100 ms, the help and quit buttons, and the status line that shows the progress of a
// drive's loading. A train button creates a fresh driving window and shows it; when it
// closes, the title window comes back and another train can be chosen. The title window stays
// hidden while a drive runs, which makes the driving window modal in effect.
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ffmpeg_video_reader.h"
#include "platform/wave_file.h"
#include "shell/driving_window.h"

class QAbstractButton;
class QLabel;
class QUrl;

namespace dravolin::shell {

inline constexpr const char* kOpeningMovie = "move\\opening.avi";
inline constexpr const char* kTitlePicture = "image\\title\\title.jpg";
inline constexpr const char* kReadme = "readme.html";
inline constexpr const char* kCreatingForm = "Formを作成しています";
// Shown when the desktop starts no viewer for the readme; %1 is its path.
inline constexpr const char* kNoViewer = "%1 を表示するプログラムを起動できませんでした。";

// What a train button selects: a train file and a line file (code page 932 names).
struct TrainChoice {
  std::string trainFile;
  std::string lineFile;
};
// Selections of the buttons Train1 .. Train10 (index 0 is Train1); a button without one changes
// only which buttons are shown.
using TrainTable = std::array<std::optional<TrainChoice>, 10>;
// Train2: "E231_train.dat" with "E231_line2.dat"; Train5: "205_train.dat" with "205_line.dat".
TrainTable defaultTrainTable();

class MoviePanel;

class TitleWindow final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kButtonCount = 12;  // Train1 .. Train10, HELP, Quit
  static constexpr int kOpeningLimitTicks = 1250;

  struct Context {
    DrivingWindow::Context driving;  // dataDir, scale and the rest for each driving window
    TrainTable trains = defaultTrainTable();
    // Opens an address with the desktop's viewer; false when no viewer could be started.
    // Unset: the desktop services of Qt.
    std::function<bool(const QUrl& url)> openUrl;
    // Plays and stops the opening movie's sound (none: the movie plays silent).
    std::function<void(const platform::Wave& sound)> playMovieSound;
    std::function<void()> stopMovieSound;
    // A train's line of the drive history on its line (its best and last drive), empty for
    // none; none: the title shows no history.
    std::function<QString(const TrainChoice& choice)> historyOf;
    // The window opens on its buttons without the opening movie (a window made again for
    // another language).
    bool skipOpening = false;
  };

  explicit TitleWindow(Context context, QWidget* parent = nullptr);
  ~TitleWindow() override;

  // The help and value display windows every driving window uses (created after this one).
  void setCompanions(HelpWindow* help, ValueDisplayWindow* values) {
    context_.driving.help = help;
    context_.driving.valueDisplay = values;
  }

  // A text for the status line, shown under the title picture until a train is chosen (an
  // empty text takes it away).
  void setNotice(const QString& text);

  // Handlers.
  void Panel1Click();
  void Timer1Timer();
  void TrainClick(int number);  // 1 .. 10
  void helpclick();
  void QuitClick();

  // Buttons in their order: Train1 .. Train10, HELP, Quit.
  QAbstractButton* button(int index) const { return buttons_.at(static_cast<std::size_t>(index)); }
  QLabel* statusLine() const { return status_; }
  QLabel* historyPanel() const { return history_; }
  // Shows the trains' best and last drives (on each train button and in the history panel).
  void refreshHistory();
  QWidget* loadingPicture() const { return loading_; }
  bool openingShown() const;
  int revealCounter() const { return reveal_; }
  bool timerActive() const { return timer_.isActive(); }
  DrivingWindow* drivingWindow() const { return driving_; }

 Q_SIGNALS:
  // A driving window was created and shown; another one when it has closed.
  void drivingWindowShown(DrivingWindow* window);
  void drivingWindowClosed();
  // The title window was closed (Quit): the program ends, whatever other window is still open.
  void closed();
  // A package file (.dravolin) was dropped on the window.
  void packageDropped(const QString& file);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void setClientSize(int width, int height);
  void centre();
  void loadTitlePicture();
  void nextMovieFrame();
  void stopMovie();
  QRect scaled(int x, int y, int w, int h) const;
  void onDrivingClosed();
  QLabel* history_ = nullptr;

  Context context_;
  int scale_;
  QImage title_;
  MoviePanel* panel_ = nullptr;
  platform::FfmpegVideoReader movie_;
  bool movieOpen_ = false;
  bool movieSound_ = false;
  double movieFps_ = 0;
  int movieFrame_ = -1;  // frame shown last
  QElapsedTimer movieClock_;
  QTimer movieTimer_;
  QTimer timer_;  // the 100 ms title timer
  int reveal_ = 0;
  std::array<QAbstractButton*, kButtonCount> buttons_{};
  QWidget* loading_ = nullptr;
  QLabel* status_ = nullptr;
  DrivingWindow* driving_ = nullptr;
  QString notice_;
};

}  // namespace dravolin::shell
