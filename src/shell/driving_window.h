// The driving window: the cab, the menus (Start/pause/resume, Move, Display, Controller), the
// `back` button, the two ticks and the line video's presentation, around one drive. It only
// draws the drive's models and forwards its events to the drive's handlers.
//
// Creation runs the start-up loading (which throws data::LoadError with the text to show).
// Closing runs the closing steps in their order: no more video, both ticks stopped, the
// controller port closed, the drive's resets and sounds stopped, the sound service initialised
// afresh (a service that cannot open its output goes on silent); then closed() is emitted and
// the window may be deleted. Pausing the drive pauses the sound.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "drive/recording.h"
#include "drive/script.h"
#include "drive/script_controller.h"
#include "drive/startup.h"
#include "platform/bitmap.h"
#include "platform/cab_view_surface.h"
#include "platform/ffmpeg_video_reader.h"
#include "platform/file_picture_loader.h"
#include "platform/qt_serial_port.h"
#include "platform/qt_timers.h"
#include "platform/video_decoding_thread.h"
#include "platform/virtual_time_sound_slots.h"
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
class DriveClock;
class DriveMilliseconds;
class RecordingDrive;
class HelpWindow;
class ValueDisplayWindow;

class DrivingWindow final : public QMainWindow {
  Q_OBJECT

 public:
  struct Context {
    std::filesystem::path dataDir = ".";
    platform::SoundSlots* sound = nullptr;  // the program's sound service (required)
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
    // Where the drive's recording goes (kept to the newest keepRecordings); empty: not recorded.
    std::filesystem::path recordingsFolder;
    int keepRecordings = 50;
    // File names of recordings kept besides the newest (the trains' best drives); none: only
    // the newest are kept.
    std::function<std::set<std::string>()> keptRecordings;
    // The program's input state kept across drives (the keypad swap): recorded with the drive,
    // and set from a recording for its replay. None: not recorded, not set.
    input::ProgramInputState* program = nullptr;
    // A replay: the recording's events, played at real speed in place of the driver's inputs,
    // from the settings the recording started with.
    std::shared_ptr<const std::vector<drive::ScriptEvent>> replay;
    drive::RecordedSettings replaySettings;
    // The profiles of the replay's "device add" events (drive::loadScriptProfiles).
    std::shared_ptr<const drive::ScriptProfiles> replayProfiles;
    // Called after every virtual millisecond has run (tests trace the drive with it).
    std::function<void(int t)> afterVirtualMs;
    // Called once when the drive ends: the train has stopped at the last station, or the
    // window is closing (after its closing steps, the recording complete).
    std::function<void(DrivingWindow& window)> onDriveEnded;
    // How a line video larger than the cab view fits it, and whether the two frames around the
    // train's position are blended (the Display menu's settings, kept by the program).
    platform::VideoFit videoFit = platform::VideoFit::FillWidth;
    bool blendFrames = true;
    // Called at every display tick (the sound watch looks at the output then), and with whether
    // the display ticks run, so that a watch with a timer of its own rests meanwhile and the
    // window wakes once where it would wake twice. Either may be empty.
    std::function<void()> eachDisplayTick;
    std::function<void(bool running)> displayTicksRunning;
  };

  // How the video presentation went, for the measuring run.
  struct Stats {
    long framesChanged = 0;  // simulation ticks after which FrameIndex differed
    long framesDrawn = 0;    // frames presented while running
    // Frames whose picture was on the screen more than 50 ms after their index was reached, or
    // never while the index stood longer.
    long lateFrames = 0;
    std::uint32_t maxGapMs = 0;  // longest time between two presented frames while running
    int maxTickLateMs = 0;       // the latest a display tick ran after its due time
  };

  // Loads the drive `request` names; throws data::LoadError.
  DrivingWindow(const Context& context, const drive::LoadRequest& request,
                const drive::StartupProgress& progress, QWidget* parent = nullptr);
  ~DrivingWindow() override;

  // Menu commands.
  void start1Click();
  void menu_d1Click();
  void menu_d2Click();

  // Whether the simulation runs (the ticks are due).
  bool running() const;
  DriveHandlers& drive();
  DriveClock& clock() const { return *virtualClock_; }
  // The recording being written: its file, and whether writing it failed.
  const drive::DriveRecorder& recorder() const { return recorder_; }
  // The drive this window loaded, and whether it plays a recording.
  const drive::LoadRequest& request() const { return request_; }
  bool replaying() const { return context_.replay != nullptr; }
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
  // The Controller menu's USB controller settings (calibration dialog). While it is open the
  // drive is paused and the devices give it no command; closing it resumes a drive that ran.
  void usbControllerSetupClick();
  // Whether the calibration dialog is open.
  bool calibrating() const { return calibrating_; }
  const VideoPresenter& presenter() const { return *presenter_; }
  const platform::CabViewSurface& surface() const { return *surface_; }
  const Stats& stats() const { return stats_; }
  // Whether the line video's picture of the train's position is ready to be shown.
  bool positionPictureReady();
  // The line video's decoding thread; null without a line video.
  const platform::VideoDecodingThread* videoFrames() const { return frames_.get(); }

  // The Display menu's video settings.
  void setVideoFit(platform::VideoFit fit);
  platform::VideoFit videoFit() const { return context_.videoFit; }
  void setBlendFrames(bool on);
  bool blendFrames() const { return context_.blendFrames; }
  QAction* fitAction(platform::VideoFit fit) const;
  QAction* blendAction(bool on) const;

  // Full screen: the cab as large as the largest whole factor lets it be, centred on black,
  // without the menu bar; off again, the window as it was. The windowed scale stays the one
  // the window was created with.
  void setCabFullScreen(bool on);
  bool cabFullScreen() const { return fullScreenFrame_ != nullptr; }
  // The controller box's port (its name is kept between runs).
  platform::SerialPort& controllerPort() { return port_; }

  // A key event typed here or in the value display or help window.
  void forwardKey(QKeyEvent* event);
  // One tick of each kind, as the clock runs them.
  void simulationTick();
  void displayTick();
  // Runs the virtual time up to "now" (the clock's timer does this by itself).
  void advanceClock();

 Q_SIGNALS:
  void closed();
  // The user changed a video setting of the Display menu.
  void videoSettingsChanged();
  // A picture of the line video was presented while running: the frame it shows and the
  // frame of the train's position then.
  void framePresented(int shownFrame, int frameIndex);

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus(const drive::DriveData& data);
  void buildVideoMenus();
  void presentFrame();
  drive::FramePosition framePosition();
  // The view of the cab's picture at the scale it is shown at now.
  void updateVideoView();
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
  // Recording and replay (driving_window_replay.cpp).
  void startRecording(const drive::LoadRequest& request);
  void setUpReplay();
  void replayMs(int t);
  int nextReplayMs() const;
  void reportDriveEnd();

  Context context_;
  // The companion windows may go before this window (it is deleted after its close).
  QPointer<ValueDisplayWindow> valueDisplay_;
  QPointer<HelpWindow> help_;
  platform::FilePictureLoader pictures_;
  platform::FfmpegVideoReader video_;
  platform::MonotonicMillisecondClock clock_;
  platform::VirtualTimeSoundSlots timedSound_;
  DriveClock* virtualClock_ = nullptr;
  std::unique_ptr<DriveMilliseconds> driveMs_;  // the video presenter's clock
  std::unique_ptr<RecordingDrive> drive_;
  drive::DriveRecorder recorder_;
  std::size_t replayNext_ = 0;
  // The replay's USB controller (a script's "device", "axis" and "button" events).
  std::unique_ptr<drive::ScriptController> replayController_;
  drive::LoadRequest request_;
  bool endReported_ = false;
  platform::CabViewSurface* surface_ = nullptr;  // hidden; the cab widget paints its picture
  // The line video's decoding thread (after the reader it takes over, before the presenter).
  std::unique_ptr<platform::VideoDecodingThread> frames_;
  std::unique_ptr<VideoPresenter> presenter_;
  CabWidget* cab_ = nullptr;
  QTimer retry_;  // one more presentation pass when a change came within 33 ms of a frame
  // Whether a picture finished by the decoding thread calls for a pass (set from the window's
  // thread, taken by the decoding thread): only while a pass may wait for one, so that pictures
  // decoded ahead do not wake the window.
  std::atomic<bool> awaitingPicture_{true};
  platform::QtSerialPort port_;
  std::unique_ptr<input::ControllerConnection> controller_;
  std::unique_ptr<input::ControllerDevices> devices_;
  QLabel* status_ = nullptr;
  QTimer statusTimer_;
  std::optional<platform::Bitmap> still_;  // the "[Staf]" still picture
  std::string stillName_;
  bool stillReported_ = false;
  bool closing_ = false;
  bool calibrating_ = false;  // the devices' commands do not reach the drive
  bool doorsOpen_ = true;     // as the last display tick left them: a change writes the recording
  QAction* start1_ = nullptr;
  QMenu* goTo1_ = nullptr;
  QMenu* show1_ = nullptr;
  QAction* menuD1_ = nullptr;
  QAction* menuD2_ = nullptr;
  QAction* fillWidth_ = nullptr;
  QAction* whole_ = nullptr;
  QAction* blendOff_ = nullptr;
  QAction* blendOn_ = nullptr;
  QMenu* controller1_ = nullptr;
  QToolButton* back_ = nullptr;
  QWidget* fullScreenFrame_ = nullptr;  // the black frame around the cab in full screen
  QPoint windowedPosition_;
  int wheelRemainder_ = 0;  // wheel angle not yet turned into notches (1/8 degree)
  // Presentation statistics.
  Stats stats_;
  int previousIndex_ = 0;
  std::uint32_t indexReachedMs_ = 0;
  bool indexShown_ = true;  // the picture of the index reached has been on the screen
  std::optional<std::uint32_t> lastPresentMs_;
};

}  // namespace dravolin::shell
