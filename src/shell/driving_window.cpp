#include "shell/driving_window.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPainter>
#include <QToolButton>
#include <QWheelEvent>

#include "data/data_path.h"
#include "data/load_error.h"
#include "data/text_encoding.h"
#include "input/controller_connection.h"
#include "input/controller_devices.h"
#include "platform/message_ids.h"
#include "shell/cab_widget.h"
#include "shell/calibration_dialog.h"
#include "shell/drive_clock.h"
#include "shell/help_window.h"
#include "shell/key_mapping.h"
#include "shell/messages.h"
#include "shell/recording_drive.h"
#include "shell/serial_setup_dialog.h"
#include "shell/value_display_window.h"

namespace dravolin::shell {

namespace {

constexpr std::uint32_t kLateAfterMs = 50;
constexpr int kWheelNotch = 120;  // one notch of a mouse wheel, in 1/8 degree
constexpr int kStatusShownMs = 6000;
constexpr const char* kUsbControllerSetupCaption = "USBコントローラーの設定...";
// The Display menu's video settings.
constexpr const char* kVideoFitMenu = "大きな映像(&V)";
constexpr const char* kFillWidthCaption = "幅に合わせる（上下を切る）";
constexpr const char* kWholeCaption = "全体を表示（黒帯）";
constexpr const char* kBlendMenu = "補間(&I)";
constexpr const char* kBlendOffCaption = "なし";
constexpr const char* kBlendOnCaption = "重ね合わせ";

QString qs(const std::string& utf8) { return QString::fromStdString(utf8); }

// The `back` button's picture: a white arrow pointing left on dark grey.
QIcon backIcon(int scale) {
  QPixmap pixmap(20 * scale, 20 * scale);
  pixmap.fill(QColor(48, 48, 48));
  QPainter p(&pixmap);
  p.scale(scale, scale);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  const QPointF arrow[] = {{4, 10}, {11, 4}, {11, 8}, {16, 8}, {16, 12}, {11, 12}, {11, 16}};
  p.drawPolygon(arrow, 7);
  return QIcon(pixmap);
}

}  // namespace

DrivingWindow::DrivingWindow(const Context& context, const drive::LoadRequest& request,
                             const drive::StartupProgress& progress, QWidget* parent)
    : QMainWindow(parent),
      context_(context),
      valueDisplay_(context.valueDisplay),
      help_(context.help),
      timedSound_(*context.sound),
      request_(request) {
  setWindowTitle("Dravolin");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  // Modal in effect: the title window is hidden while this window is open. It is not modal to
  // Qt, so that the help and value display windows, opened from here, still take their keys.
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_KeyCompression, false);
  setAttribute(Qt::WA_InputMethodEnabled, true);

  // Start-up loading (throws data::LoadError). The drive's sounds play through the program's
  // service and end in the drive's virtual time.
  virtualClock_ = new DriveClock(this);
  driveMs_ = std::make_unique<DriveMilliseconds>(*virtualClock_);
  drive_ = std::make_unique<RecordingDrive>(
      context_.makeDrive(request, {pictures_, timedSound_, &video_}, progress), *virtualClock_,
      &timedSound_);
  const drive::DriveData& data = drive_->data();
  buildMenus(data);
  stillName_ = data.files.line.stillImageFile;
  if (!stillName_.empty()) {
    still_ = pictures_.load(data::resolveDataPath(request.dataDir, stillName_).string());
  }
  const int frameCount = data.videoFrameCount;

  // The cab: the surface stays hidden, the cab widget paints its picture. The line video is
  // decoded on a thread of its own, which takes the reader over from here on.
  cab_ = new CabWidget(context_.scale, this);
  setCentralWidget(cab_);
  surface_ = new platform::CabViewSurface(cab_);
  surface_->hide();
  surface_->initialise();
  if (frameCount > 0) {
    frames_ = std::make_unique<platform::VideoDecodingThread>(video_);
    // A finished picture may be the one the cab waits for: a pass on the window's thread.
    frames_->setReadyHandler([this] {
      if (!awaitingPicture_.exchange(false)) return;
      QMetaObject::invokeMethod(
          this, [this] { presentFrame(); }, Qt::QueuedConnection);
    });
  }
  presenter_ =
      std::make_unique<VideoPresenter>(*surface_, frames_.get(), *driveMs_, drive_->shownFrame());
  updateVideoView();
  presenter_->prepare(framePosition());  // decoded while the still picture shows
  cab_->setVideo(&surface_->frontBuffer());
  cab_->setModel(&drive_->cab());
  setWindowTitle(qs(drive_->cab().Title));

  back_ = new QToolButton(cab_);
  placeBackButton(context_.scale);
  back_->setFocusPolicy(Qt::NoFocus);
  back_->setAutoRaise(true);
  connect(back_, &QToolButton::clicked, this, &QWidget::close);  // BackClick

  // The two ticks, in virtual time, started and stopped together by the Start command.
  DriveClock::Handlers ticks;
  ticks.eachMs = [this](int t) {
    timedSound_.setTimeMs(t);
    recorder_.flushDue(t);
    if (context_.replay) replayMs(t);
  };
  ticks.simulationTick = [this] { guarded([this] { simulationTick(); }); };
  ticks.displayTick = [this] { guarded([this] { displayTick(); }); };
  ticks.afterMs = context_.afterVirtualMs;
  if (context_.replay) ticks.nextEventMs = [this] { return nextReplayMs(); };
  // At rest nothing on the screen moves between display ticks; a replay keeps every tick on time.
  ticks.atRest = [this] {
    const sim::TrainState& s = drive_->state();
    return !context_.replay && s.Speed == sim::Fixed() && !s.AutoSpeed &&
           !presenter_->redrawWaiting() && !retry_.isActive();
  };
  virtualClock_->setHandlers(std::move(ticks));
  retry_.setSingleShot(true);
  retry_.setTimerType(Qt::PreciseTimer);
  connect(&retry_, &QTimer::timeout, this, [this] { presentFrame(); });

  // The controller box.
  port_.setSetupDialog(
      [this](const platform::SerialSettings& current, const std::vector<std::string>& choices) {
        return runSerialSetupDialog(current, choices, this);
      });
  controller_ = std::make_unique<input::ControllerConnection>(
      port_, [](const std::string& text, input::ControllerConnection::MessageKind kind) {
        showMessage(qs(text), kind == input::ControllerConnection::MessageKind::Error
                                  ? MessageKind::Error
                                  : MessageKind::Information);
      });
  port_.setReceiveHandler([this](int count) {
    guarded([&] { drive_->RxChar(port_.readString(count)); });
    afterInput();
  });

  // The status line, and the USB controllers: their commands go the controller box's way.
  status_ = new QLabel(cab_);
  status_->setObjectName("statusLine");
  status_->setStyleSheet("QLabel { background: rgba(0, 0, 0, 170); color: white; padding: 2px; }");
  status_->setWordWrap(true);
  status_->setGeometry(0, 420 * context_.scale, 616 * context_.scale, 20 * context_.scale);
  status_->hide();
  statusTimer_.setSingleShot(true);
  connect(&statusTimer_, &QTimer::timeout, status_, &QWidget::hide);
  if (context_.devices != nullptr && context_.profiles != nullptr) {
    devices_ = std::make_unique<input::ControllerDevices>(
        *context_.devices, *context_.profiles, context_.calibrationFolder,
        [this](int line) {
          if (closing_ || calibrating_) return;
          guarded([&] { drive_->ControllerCommand(line); });
          afterInput();
        },
        [this](const std::string& text) { showStatus(qs(text)); });
  }
  for (const std::string& e : context_.profileErrors) showStatus(qs(e));

  if (valueDisplay_ != nullptr) {
    // The value display window belongs to the program: a new drive takes it as it is, shown or
    // hidden, with the caption the controller box last gave it. Only F5 (and the window's own
    // close box) shows or hides it.
    cab::ValueDisplay& values = drive_->valueDisplay();
    values.visible = valueDisplay_->isVisible();
    values.caption = valueDisplay_->windowTitle().toStdString();
    valueDisplay_->onKey = [this](QKeyEvent* e) { forwardKey(e); };
    valueDisplay_->onClosed = [this] { drive_->valuesClosed(); };
    syncValueDisplay();
  }
  if (help_ != nullptr) {
    help_->onKey = [this](QKeyEvent* e) { forwardKey(e); };
  }
  previousIndex_ = drive_->state().FrameIndex;
  doorsOpen_ = drive_->state().DoorsOpen;
  if (context_.replay) {
    setUpReplay();
  } else if (!context_.recordingsFolder.empty()) {
    startRecording(request);
  }
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

DrivingWindow::~DrivingWindow() {
  // The decoding thread first: no finished picture calls back into a window going away.
  frames_.reset();
  if (!closing_) {
    closing_ = true;
    presenter_->stop();
    virtualClock_->stop();
    if (context_.displayTicksRunning) context_.displayTicksRunning(false);
  }
  releaseCompanions();
  devices_.reset();
  controller_.reset();
  // The presenter's surface handlers refer to it: finalise while it is still there.
  surface_->finalise();
  presenter_.reset();
}

void DrivingWindow::placeBackButton(int scale) {
  back_->setGeometry(618 * scale, 417 * scale, 20 * scale, 20 * scale);
  back_->setIcon(backIcon(scale));
  back_->setIconSize(back_->size());
}

void DrivingWindow::buildMenus(const drive::DriveData& data) {
  const data::Settings& s = data.files.settings;
  QMenuBar* bar = menuBar();
  start1_ = bar->addAction(qs(s.Start.value_or("Start")));
  start1_->setObjectName("start1");
  connect(start1_, &QAction::triggered, this, &DrivingWindow::start1Click);

  goTo1_ = bar->addMenu(qs(s.Move.value_or("Move")));
  goTo1_->setObjectName("GoTo1");
  for (const drive::StationMenuEntry& entry : data.stationMenu) {
    QAction* a = goTo1_->addAction(qs(entry.captionUtf8));
    a->setObjectName(qs(entry.name));
    const std::string name = entry.name;
    connect(a, &QAction::triggered, this, [this, name] {
      guarded([&] { drive_->StationClick(name); });
      afterInput();
    });
  }

  const std::array<std::string, 3> display =
      s.Display.value_or(std::array<std::string, 3>{"Display", "操作説明(&H)", "再描画(&R)"});
  show1_ = bar->addMenu(qs(display[0]));
  show1_->setObjectName("Show1");
  menuD1_ = show1_->addAction(qs(display[1]));
  menuD1_->setObjectName("menu_d1");
  connect(menuD1_, &QAction::triggered, this, &DrivingWindow::menu_d1Click);
  menuD2_ = show1_->addAction(qs(display[2]));
  menuD2_->setObjectName("menu_d2");
  connect(menuD2_, &QAction::triggered, this, &DrivingWindow::menu_d2Click);
  buildVideoMenus();

  controller1_ = bar->addMenu(qs(s.Control.value_or("Controller(&C)")));
  controller1_->setObjectName("Controller1");
  connect(controller1_->addAction("COM1"), &QAction::triggered, this,
          [this] { controller_->COM11Click(); });
  connect(controller1_->addAction("COM2"), &QAction::triggered, this,
          [this] { controller_->COM21Click(); });
  connect(controller1_->addAction("Setup"), &QAction::triggered, this,
          [this] { controller_->Setup1Click(); });
  connect(controller1_->addAction("Connect"), &QAction::triggered, this,
          [this] { controller_->Connect1Click(); });
  controller1_->addSeparator();
  QAction* usb = controller1_->addAction(kUsbControllerSetupCaption);
  usb->setObjectName("UsbControllerSetup");
  connect(usb, &QAction::triggered, this, &DrivingWindow::usbControllerSetupClick);
}

void DrivingWindow::showStatus(const QString& text) {
  status_->setText(text);
  // As many lines as the text needs, standing on the foot of the cab left of the back button.
  const int width = 616 * context_.scale;
  const int height = std::max(20 * context_.scale, status_->heightForWidth(width));
  status_->setGeometry(0, 440 * context_.scale - height, width, height);
  status_->show();
  status_->raise();
  statusTimer_.start(kStatusShownMs);
}

void DrivingWindow::usbControllerSetupClick() {
  if (context_.devices == nullptr || context_.profiles == nullptr) return;
  // Calibrating moves the handle through every position: the drive stands paused meanwhile, and
  // resumes as Start resumes it, if it ran before.
  const bool wasRunning = running();
  if (wasRunning) start1Click();
  calibrating_ = true;
  CalibrationDialog dialog(*context_.devices, *context_.profiles, context_.calibrationFolder, this);
  connect(&dialog, &CalibrationDialog::saved, this, [this](int id) {
    if (devices_) devices_->reload(id);
  });
  dialog.exec();
  calibrating_ = false;
  if (wasRunning && !running()) start1Click();
}

bool DrivingWindow::running() const { return virtualClock_->running(); }

DriveHandlers& DrivingWindow::drive() { return *drive_; }

void DrivingWindow::advanceClock() { virtualClock_->advanceToNow(); }

void DrivingWindow::start1Click() {
  if (closing_) return;
  if (drive_->replaying() && !drive_->live()) return;
  const bool run = !running();
  // The drive's part first, at the millisecond the clock gives it; then the ticks follow.
  drive_->start1Click();
  virtualClock_->setRunning(run);
  if (context_.displayTicksRunning) context_.displayTicksRunning(virtualClock_->running());
  timedSound_.setPaused(!run);  // the output only: virtual time stands still by itself
  start1_->setText(qs((run ? msg::pauseCaption() : msg::resumeCaption()).text()));
  if (!run) {
    retry_.stop();
    recorder_.flush();  // virtual time stands still until the drive resumes
  }
  // The current frame is drawn once more, whichever frame was shown before.
  drive_->shownFrame().requestRedraw();
  // The frame drawn again for the Start counts from the Start.
  indexReachedMs_ = clock_.milliseconds();
  indexShown_ = false;
  lastPresentMs_.reset();
  if (run) presentFrame();
}

void DrivingWindow::menu_d1Click() {
  if (help_ == nullptr) return;
  help_->show();
  help_->raise();
}

void DrivingWindow::menu_d2Click() {
  awaitingPicture_ = true;
  const bool now = presenter_->redraw(framePosition(), running());
  if (!presenter_->awaitsPicture()) awaitingPicture_ = false;
  if (now) cab_->videoPresented();
}

void DrivingWindow::buildVideoMenus() {
  show1_->addSeparator();
  QMenu* fit = show1_->addMenu(kVideoFitMenu);
  fit->setObjectName("VideoFit");
  auto* fits = new QActionGroup(fit);
  fillWidth_ = fit->addAction(kFillWidthCaption);
  whole_ = fit->addAction(kWholeCaption);
  QMenu* blend = show1_->addMenu(kBlendMenu);
  blend->setObjectName("Blend");
  auto* blends = new QActionGroup(blend);
  blendOff_ = blend->addAction(kBlendOffCaption);
  blendOn_ = blend->addAction(kBlendOnCaption);
  for (QAction* a : {fillWidth_, whole_}) {
    a->setCheckable(true);
    fits->addAction(a);
  }
  for (QAction* a : {blendOff_, blendOn_}) {
    a->setCheckable(true);
    blends->addAction(a);
  }
  fitAction(context_.videoFit)->setChecked(true);
  blendAction(context_.blendFrames)->setChecked(true);
  connect(fillWidth_, &QAction::triggered, this, [this] {
    setVideoFit(platform::VideoFit::FillWidth);
    Q_EMIT videoSettingsChanged();
  });
  connect(whole_, &QAction::triggered, this, [this] {
    setVideoFit(platform::VideoFit::Whole);
    Q_EMIT videoSettingsChanged();
  });
  connect(blendOff_, &QAction::triggered, this, [this] {
    setBlendFrames(false);
    Q_EMIT videoSettingsChanged();
  });
  connect(blendOn_, &QAction::triggered, this, [this] {
    setBlendFrames(true);
    Q_EMIT videoSettingsChanged();
  });
}

QAction* DrivingWindow::fitAction(platform::VideoFit fit) const {
  return fit == platform::VideoFit::Whole ? whole_ : fillWidth_;
}

QAction* DrivingWindow::blendAction(bool on) const { return on ? blendOn_ : blendOff_; }

void DrivingWindow::setVideoFit(platform::VideoFit fit) {
  context_.videoFit = fit;
  fitAction(fit)->setChecked(true);
  updateVideoView();
}

void DrivingWindow::setBlendFrames(bool on) {
  context_.blendFrames = on;
  blendAction(on)->setChecked(true);
  presentFrame();
}

void DrivingWindow::updateVideoView() {
  const double factor = cab_->scale() * cab_->devicePixelRatioF();
  presenter_->setView(platform::videoViewAt(factor, context_.videoFit));
  presentFrame();
}

drive::FramePosition DrivingWindow::framePosition() {
  return drive_->shownFrame().position(drive_->state(), context_.blendFrames);
}

void DrivingWindow::simulationTick() {
  drive_->MMTimer1Timer();
  const int index = drive_->state().FrameIndex;
  if (index != previousIndex_) {
    const std::uint32_t now = clock_.milliseconds();
    // An index that stood long enough to be late without its picture ever shown is late too.
    if (frames_ != nullptr && !indexShown_ && now - indexReachedMs_ > kLateAfterMs) {
      ++stats_.lateFrames;
    }
    previousIndex_ = index;
    indexReachedMs_ = now;
    indexShown_ = false;
    ++stats_.framesChanged;
  }
  presentFrame();
}

void DrivingWindow::presentFrame() {
  if (closing_) return;
  const drive::FramePosition position = framePosition();  // one copy for the whole pass
  // Set before the pass: a picture finished during it calls for another one.
  awaitingPicture_ = true;
  const VideoPresenter::Pass pass = presenter_->pass(position, running());
  if (!presenter_->awaitsPicture()) awaitingPicture_ = false;
  if (pass.presented) {
    cab_->videoPresented();
    if (!running()) return;
    const std::uint32_t now = clock_.milliseconds();
    ++stats_.framesDrawn;
    if (lastPresentMs_) stats_.maxGapMs = std::max(stats_.maxGapMs, now - *lastPresentMs_);
    lastPresentMs_ = now;
    // The first time the picture of the index reached is on the screen (not a nearby one).
    const int shown = drive_->shownFrame().lastShown();
    if (!indexShown_ && shown == position.frame) {
      indexShown_ = true;
      if (now - indexReachedMs_ > kLateAfterMs) ++stats_.lateFrames;
    }
    Q_EMIT framePresented(shown, position.frame);
  } else if (pass.retryInMs > 0 && !retry_.isActive()) {
    retry_.start(static_cast<int>(pass.retryInMs));
  }
}

void DrivingWindow::displayTick() {
  stats_.maxTickLateMs = std::max(stats_.maxTickLateMs, virtualClock_->lateMs());
  drive_->Timer1Timer();
  if (context_.eachDisplayTick) context_.eachDisplayTick();
  // The doors open or close at a station: the recording so far is written out.
  if (drive_->state().DoorsOpen != doorsOpen_) {
    doorsOpen_ = drive_->state().DoorsOpen;
    recorder_.flush();
  }
  if (const drive::Evaluation* e = drive_->evaluation(); e != nullptr && e->finished()) {
    reportDriveEnd();
  }
  cab_->modelChanged();
  const QString title = qs(drive_->cab().Title);
  if (windowTitle() != title) setWindowTitle(title);
  syncValueDisplay();
}

void DrivingWindow::syncValueDisplay() {
  if (valueDisplay_ != nullptr) valueDisplay_->showValues(drive_->valueDisplay());
}

void DrivingWindow::afterInput() {
  if (closing_) return;
  cab_->modelChanged();
  syncValueDisplay();
}

void DrivingWindow::forwardKey(QKeyEvent* event) {
  if (closing_) return;
  guarded([&] {
    if (const std::optional<KeyDown> k = keyDownOf(*event, QGuiApplication::mouseButtons())) {
      drive_->keydowns(k->virtualKey, k->modifiers);
    }
    // Every character typed reaches the character handler, once each.
    for (const char c : charactersOf(*event)) drive_->AsciiDown(c);
  });
  afterInput();
}

void DrivingWindow::keyPressEvent(QKeyEvent* event) { forwardKey(event); }

void DrivingWindow::wheelEvent(QWheelEvent* event) {
  if (closing_) return;
  wheelRemainder_ += event->angleDelta().y();
  guarded([&] {
    while (wheelRemainder_ <= -kWheelNotch) {
      wheelRemainder_ += kWheelNotch;
      drive_->WheelD();
    }
    while (wheelRemainder_ >= kWheelNotch) {
      wheelRemainder_ -= kWheelNotch;
      drive_->WheelU();
    }
  });
  afterInput();
  event->accept();
}

void DrivingWindow::inputMethodEvent(QInputMethodEvent* event) {
  // Text committed by an input method is typed text like any other.
  if (!event->commitString().isEmpty()) {
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, event->commitString());
    forwardKey(&typed);
  }
  event->accept();
}

bool DrivingWindow::event(QEvent* event) {
  // Tab types a character here; it does not move the focus.
  if (isTabKey(*event)) {
    forwardKey(static_cast<QKeyEvent*>(event));
    return true;
  }
  const bool handled = QMainWindow::event(event);
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return handled;
}

void DrivingWindow::FormActivate() {
  if (closing_ || running()) return;
  if (!still_) {
    // A still picture that cannot be loaded is reported once; the window goes on without it.
    if (!stillReported_ && !stillName_.empty()) {
      stillReported_ = true;
      showMessage(qs(data::cp932ToUtf8(stillName_)) + "が見つかりません");
    }
    return;
  }
  if (presenter_->showStill(*still_, running())) cab_->videoPresented();
}

void DrivingWindow::reportUnhandled(const char* what) {
  // The ticks stop first, so that the same fault does not come back every 33 ms behind the
  // message; Start resumes.
  if (running()) start1Click();
  showMessage(QString::fromUtf8(what));
}

void DrivingWindow::releaseCompanions() {
  // Only once: by the time this window is deleted, a newer one may have taken them over.
  if (valueDisplay_ != nullptr) {
    valueDisplay_->onKey = nullptr;
    valueDisplay_->onClosed = nullptr;
  }
  if (help_ != nullptr) help_->onKey = nullptr;
  valueDisplay_ = nullptr;
  help_ = nullptr;
}

void DrivingWindow::runClosingSteps() {
  closing_ = true;
  devices_.reset();  // no more controller commands
  releaseCompanions();
  presenter_->stop();  // no more video
  retry_.stop();
  virtualClock_->stop();  // both ticks stop before anything is freed
  if (context_.displayTicksRunning) context_.displayTicksRunning(false);
  if (port_.connected()) port_.close();  // shows the disconnect message
  drive_->FormCloseQuery();
  // A service that cannot open its output again goes on silent and keeps trying; the title
  // window says so. Nothing is unsafe about a silent title screen: the program goes on.
  context_.sound->initialise();
}

void DrivingWindow::closeEvent(QCloseEvent* event) {
  if (!closing_) runClosingSteps();
  event->accept();
  reportDriveEnd();
  Q_EMIT closed();
}

bool DrivingWindow::positionPictureReady() { return presenter_->ready(framePosition()); }

}  // namespace dravolin::shell
