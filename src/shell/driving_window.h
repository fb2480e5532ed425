// The driving window: the cab, the menus (Start/pause/resume, Move, Display, Controller), the
// `back` button, the two ticks and the line video's presentation, around one drive. It only
// draws the drive's models and forwards its events to the drive's handlers.
//
// Creation runs the start-up loading (which throws data::LoadError with the text to show).
// Closing runs the closing steps in their order: no more video, both ticks stopped, the
// controller port closed, the drive's resets and sounds stopped, the sound service initialised
// afresh; then closed() is emitted and the window may be deleted.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drive/startup.h"
#include "platform/bitmap.h"
#include "platform/cab_view_surface.h"
#include "platform/ffmpeg_video_reader.h"
#include "platform/file_picture_loader.h"
#include "platform/qt_serial_port.h"
#include "platform/qt_timers.h"
#include "shell/drive_handlers.h"
#include "shell/video_presenter.h"

class QAction;
class QLabel;
class QMenu;
class QToolButton;

namespace dravolin::input {
class ControllerConnection;
class ControllerDevices;
class ProfileLibrary;
}  // namespace dravolin::input

namespace dravolin::platform {
class InputDevices;
}

namespace dravolin::shell {

class CabWidget;
class HelpWindow;
class ValueDisplayWindow;

inline constexpr const char* kPauseCaption = "一時停止(&S)";
inline constexpr const char* kResumeCaption = "運転再開(&S)";
inline constexpr const char* kSoundInitFailed = "DirectSoundを初期化できませんでした。";
inline constexpr const char* kEndingForSafety = "安全のため一旦終了いたします。";

class DrivingWindow final : public QMainWindow {
  Q_OBJECT

 public:
  struct Context {
    std::filesystem::path dataDir = ".";
    platform::SoundSlots* sound = nullptr;  // the program's sound service (required)
    bool soundOpened = false;               // whether it opened a device at program start
    ValueDisplayWindow* valueDisplay = nullptr;
    HelpWindow* help = nullptr;
    int scale = 1;  // 1 to 4
    DriveFactory makeDrive;
    std::function<void(int status)> endProgram;  // ends the program at once
    // USB controllers (none when null): the program's device service, its profiles and the
    // folder of the saved calibrations.
    platform::InputDevices* devices = nullptr;
    const input::ProfileLibrary* profiles = nullptr;
    std::filesystem::path calibrationFolder;
    // Profile files refused at program start, shown in the status line.
    std::vector<std::string> profileErrors;
  };

  // How the video presentation went, for the measuring run.
  struct Stats {
    long framesChanged = 0;      // simulation ticks after which FrameIndex differed
    long framesDrawn = 0;        // frames presented while running
    long lateFrames = 0;         // presented more than 50 ms after their index was reached
    std::uint32_t maxGapMs = 0;  // longest time between two presented frames while running
  };

  // Loads the drive `request` names; throws data::LoadError.
  DrivingWindow(const Context& context, const drive::LoadRequest& request,
                const drive::StartupProgress& progress, QWidget* parent = nullptr);
  ~DrivingWindow() override;

  // Menu commands.
  void start1Click();
  void menu_d1Click();
  void menu_d2Click();

  // Whether the simulation runs (the display tick is enabled).
  bool running() const;
  DriveHandlers& drive() { return *drive_; }
  CabWidget* cabWidget() const { return cab_; }
  QAction* startAction() const { return start1_; }
  QMenu* moveMenu() const { return goTo1_; }
  QMenu* displayMenu() const { return show1_; }
  QMenu* controllerMenu() const { return controller1_; }
  QAction* redrawAction() const { return menuD2_; }
  QToolButton* backButton() const { return back_; }
  // The status line over the foot of the cab: controller messages, shown for a few seconds.
  QLabel* statusLine() const { return status_; }
  void showStatus(const QString& text);
  // The Controller menu's USB controller settings (calibration dialog).
  void usbControllerSetupClick();
  const VideoPresenter& presenter() const { return *presenter_; }
  const platform::CabViewSurface& surface() const { return *surface_; }
  const Stats& stats() const { return stats_; }

  // Full screen: the cab as large as the largest whole factor lets it be, centred on black,
  // without the menu bar; off again, the window as it was. The windowed scale stays the one
  // the window was created with.
  void setCabFullScreen(bool on);
  bool cabFullScreen() const { return fullScreenFrame_ != nullptr; }
  // The controller box's port (its name is kept between runs).
  platform::SerialPort& controllerPort() { return port_; }

  // A key event typed here or in the value display or help window.
  void forwardKey(QKeyEvent* event);
  // One tick of each timer, as the timers run them.
  void simulationTick();
  void displayTick();

 Q_SIGNALS:
  void closed();

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus(const drive::DriveData& data);
  void presentFrame();
  void afterInput();
  void FormActivate();
  void runClosingSteps();
  void syncValueDisplay();
  void releaseCompanions();
  // Runs one handler; an error it does not handle itself pauses the drive and is shown in a
  // message box, and the program goes on.
  template <typename F>
  void guarded(F&& handler) {
    try {
      handler();
    } catch (const std::exception& e) {
      reportUnhandled(e.what());
    }
  }
  void reportUnhandled(const char* what);
  void placeBackButton(int scale);

  Context context_;
  // The companion windows may go before this window (it is deleted after its close).
  QPointer<ValueDisplayWindow> valueDisplay_;
  QPointer<HelpWindow> help_;
  platform::FilePictureLoader pictures_;
  platform::FfmpegVideoReader video_;
  platform::MonotonicMillisecondClock clock_;
  std::unique_ptr<DriveHandlers> drive_;
  platform::CabViewSurface* surface_ = nullptr;  // hidden; the cab widget paints its picture
  std::unique_ptr<VideoPresenter> presenter_;
  CabWidget* cab_ = nullptr;
  std::unique_ptr<platform::QtPeriodicTimer> mmTimer1_;
  std::unique_ptr<platform::QtPeriodicTimer> timer1_;
  QTimer retry_;  // one more presentation pass when a change came within 33 ms of a frame
  platform::QtSerialPort port_;
  std::unique_ptr<input::ControllerConnection> controller_;
  std::unique_ptr<input::ControllerDevices> devices_;
  QLabel* status_ = nullptr;
  QTimer statusTimer_;
  std::optional<platform::Bitmap> still_;  // the "[Staf]" still picture
  std::string stillName_;
  bool stillReported_ = false;
  bool closing_ = false;
  QAction* start1_ = nullptr;
  QMenu* goTo1_ = nullptr;
  QMenu* show1_ = nullptr;
  QAction* menuD1_ = nullptr;
  QAction* menuD2_ = nullptr;
  QMenu* controller1_ = nullptr;
  QToolButton* back_ = nullptr;
  QWidget* fullScreenFrame_ = nullptr;  // the black frame around the cab in full screen
  QPoint windowedPosition_;
  int wheelRemainder_ = 0;  // wheel angle not yet turned into notches (1/8 degree)
  // Presentation statistics.
  Stats stats_;
  int previousIndex_ = 0;
  std::uint32_t indexReachedMs_ = 0;
  std::optional<std::uint32_t> lastPresentMs_;
};

}  // namespace dravolin::shell
