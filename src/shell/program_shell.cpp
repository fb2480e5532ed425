#include "shell/program_shell.h"

#include <QAction>
#include <QActionGroup>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QWidgetAction>
#include <system_error>
#include <tuple>

#include "input/input_state.h"
#include "platform/ffmpeg_footage.h"
#include "platform/sound_slots.h"
#include "shell/author_window.h"
#include "shell/data_folder.h"
#include "shell/help_window.h"
#include "shell/language.h"
#include "shell/library_window.h"
#include "shell/messages.h"
#include "shell/screen_fit.h"
#include "shell/sound_watch.h"
#include "shell/value_display_window.h"

namespace dravolin::shell {

namespace {

constexpr const char* kDrivingName = "driving";
constexpr const char* kValuesName = "values";
constexpr const char* kHelpName = "help";

QString absolutePath(const std::filesystem::path& p) {
  std::error_code ec;
  const std::filesystem::path a = std::filesystem::absolute(p, ec);
  return QString::fromStdString((ec ? p : a).lexically_normal().string());
}

}  // namespace

ProgramShell::ProgramShell(Context context, AppSettings settings,
                           const std::filesystem::path& folder)
    : context_(std::move(context)),
      settings_(std::move(settings)),
      language_(msg::currentLanguage()) {
  if (!context_.chooseFolder) {
    context_.chooseFolder = [](QWidget* parent, const QString& current) {
      return QFileDialog::getExistingDirectory(parent, tr("データフォルダを開く"), current);
    };
  }
  std::error_code ec;
  folder_ = std::filesystem::absolute(folder, ec).lexically_normal();
  if (ec) folder_ = folder;
  std::filesystem::current_path(folder_, ec);  // where main() has put it already
  if (missingDataFiles(folder_, context_.title.trains).empty())
    settings_.dataFolder = absolutePath(folder_);
  if (context_.title.driving.sound != nullptr) {
    context_.title.driving.sound->setMasterGain(masterGainOfVolume(settings_.volumePercent));
  }
  if (context_.program != nullptr) context_.program->KeypadSwap = settings_.keypadSwap;

  openFolder_ = new QAction(this);
  openFolder_->setShortcut(QKeySequence::Open);
  // Queued: the title window whose menu ran the command is replaced by a new one.
  connect(openFolder_, &QAction::triggered, this, &ProgramShell::chooseDataFolder,
          Qt::QueuedConnection);
  makeLine_ = new QAction(this);
  connect(makeLine_, &QAction::triggered, this, [this] {
    AuthorWindow* w = authorWindow();
    w->show();
    w->raise();
    w->activateWindow();
  });
  library_ = new QAction(this);
  library_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  connect(library_, &QAction::triggered, this, [this] {
    LibraryWindow* w = libraryWindow();
    w->refresh();
    w->show();
    w->raise();
    w->activateWindow();
  });
  addLine_ = new QAction(this);
  connect(addLine_, &QAction::triggered, this, [this] {
    LibraryWindow* w = libraryWindow();
    w->show();
    w->raise();
    w->addLine();
  });
  buildWindows();
  saveSettings();
}

ProgramShell::~ProgramShell() {
  libraryWindow_.reset();
  author_.reset();
  if (title_ != nullptr) title_->disconnect(this);
  saveSettings();
  title_.reset();
  delete titleVolume_;
  delete titleLanguage_;
}

void ProgramShell::buildWindows() {
  // The windows read their files from the working folder, which is the data folder.
  TitleWindow::Context titleContext = context_.title;
  titleContext.driving.dataDir = ".";
  titleContext.driving.help = nullptr;
  titleContext.driving.valueDisplay = nullptr;
  if (title_ != nullptr) {
    // It may be in the middle of one of its own handlers: it goes once that has returned.
    title_->disconnect(this);
    title_->hide();
    title_.release()->deleteLater();
  }
  // The actions outlive the windows: their texts are set again in the language of the moment.
  openFolder_->setText(tr("データフォルダを開く(&O)..."));
  makeLine_->setText(tr("路線作成(&L)..."));
  library_->setText(tr("路線ライブラリ(&B)..."));
  addLine_->setText(tr("路線を追加(&A)..."));
  // The library's window is made again in the language of the moment.
  if (libraryWindow_ != nullptr && !libraryWindow_->installing()) {
    const bool shown = libraryWindow_->isVisible();
    libraryWindow_.reset();
    if (shown) libraryWindow()->show();
  } else if (libraryWindow_ != nullptr) {
    libraryWindow_->refresh();
  }
  help_ = std::make_unique<HelpWindow>(".");
  values_ = std::make_unique<ValueDisplayWindow>();
  place(help_.get(), kHelpName);
  place(values_.get(), kValuesName);
  title_ = std::make_unique<TitleWindow>(titleContext);
  title_->setCompanions(help_.get(), values_.get());
  if (const QString notice = titleNotice(context_.notice, context_.title.driving.sound);
      !notice.isEmpty()) {
    title_->setNotice(notice);
  }

  // The title window's own menu (right button) and its shortcut keys.
  delete titleVolume_;
  titleVolume_ = makeVolumeMenu(nullptr, title_.get());
  delete titleLanguage_;
  titleLanguage_ = makeLanguageMenu(nullptr);
  title_->addAction(openFolder_);
  title_->addAction(library_);
  title_->addAction(addLine_);
  title_->addAction(makeLine_);
  title_->addAction(titleVolume_->menuAction());
  title_->addAction(titleLanguage_->menuAction());
  title_->setContextMenuPolicy(Qt::ActionsContextMenu);

  connect(title_.get(), &TitleWindow::closed, this, [this] {
    saveSettings();
    // Closing the title ends the program: the line maker's window closes with it (stopping
    // its work and removing a folder half written), so nothing is left behind.
    if (author_ != nullptr) author_->close();
    Q_EMIT quitRequested();
  });
  connect(title_.get(), &TitleWindow::drivingWindowShown, this, &ProgramShell::onDrivingShown);
  connect(title_.get(), &TitleWindow::packageDropped, this,
          [this](const QString& file) { installPackage(file.toStdString()); });
  title_->show();
}

void ProgramShell::place(QWidget* window, const QString& name) {
  window->installEventFilter(this);
  window->setProperty("dravolinName", name);
  const auto it = settings_.windowPositions.find(name);
  const QPoint wanted = it != settings_.windowPositions.end() ? it->second : window->pos();
  const QScreen* screen = QGuiApplication::primaryScreen();
  window->move(screen != nullptr
                   ? keptInside(wanted, window->frameGeometry().size(), screen->availableGeometry())
                   : wanted);
}

bool ProgramShell::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Move) {
    auto* window = qobject_cast<QWidget*>(watched);
    const QString name = watched->property("dravolinName").toString();
    if (window != nullptr && !name.isEmpty() && window->isVisible() && !window->isFullScreen()) {
      settings_.windowPositions[name] = window->pos();
    }
  }
  return QObject::eventFilter(watched, event);
}

bool ProgramShell::openDataFolder(const std::filesystem::path& folder) {
  const std::vector<std::string> missing = missingDataFiles(folder, context_.title.trains);
  if (!missing.empty()) {
    showMessage(notADataFolderMessage(absolutePath(folder), missing));
    return false;
  }
  std::error_code ec;
  const std::filesystem::path previous = std::filesystem::current_path(ec);
  std::filesystem::current_path(folder, ec);
  if (ec) {
    showMessage(tr("「%1」を開けません: %2")
                    .arg(absolutePath(folder), QString::fromStdString(ec.message())));
    return false;
  }
  folder_ = std::filesystem::current_path(ec);
  settings_.dataFolder = absolutePath(folder_);
  saveSettings();
  buildWindows();
  return true;
}

AuthorWindow* ProgramShell::authorWindow() {
  if (author_ == nullptr) {
    if (footage_ == nullptr) footage_ = std::make_unique<platform::FfmpegFootage>();
    AuthorWindow::Context c;
    c.footage = footage_.get();
    // A written line takes the trains of the data folder open now.
    c.trainsFolder = [this] { return folder_; };
    c.drive = [this](const std::filesystem::path& folder) {
      if (openDataFolder(folder) && author_ != nullptr) author_->hide();
    };
    c.settings = &settings_;
    c.saveSettings = [this] { saveSettings(); };
    author_ = std::make_unique<AuthorWindow>(std::move(c));
  }
  return author_.get();
}

LibraryWindow* ProgramShell::libraryWindow() {
  if (libraryWindow_ == nullptr) {
    LibraryWindow::Context c;
    c.root = context_.libraryRoot.empty() ? library::defaultLibraryRoot() : context_.libraryRoot;
    c.dataFolder = [this] { return folder_; };
    c.bestOf = context_.bestOf;
    // Queued: opening a folder builds the title window again.
    c.open = [this](const std::filesystem::path& folder) {
      if (driving_ != nullptr) return false;
      QTimer::singleShot(0, this, [this, folder] { openDataFolder(folder); });
      return true;
    };
    libraryWindow_ = std::make_unique<LibraryWindow>(std::move(c));
    connect(libraryWindow_.get(), &LibraryWindow::installFinished, this,
            [this](bool) { libraryWindow_->show(); });
  }
  return libraryWindow_.get();
}

void ProgramShell::installPackage(const std::filesystem::path& file) {
  LibraryWindow* w = libraryWindow();
  w->show();
  w->raise();
  w->activateWindow();
  if (!w->install(file)) {
    w->status()->setText(tr("別のインストールが終わるまでお待ちください"));
  }
}

void ProgramShell::chooseDataFolder() {
  const QString chosen = context_.chooseFolder(title_.get(), absolutePath(folder_));
  if (chosen.isEmpty()) return;
  openDataFolder(chosen.toStdString());
}

void ProgramShell::setVolume(int percent) {
  settings_.volumePercent = std::clamp(percent, 0, 100);
  if (context_.title.driving.sound != nullptr) {
    context_.title.driving.sound->setMasterGain(masterGainOfVolume(settings_.volumePercent));
  }
}

QMenu* ProgramShell::makeVolumeMenu(QWidget* parent, QWidget* window) {
  auto* menu = new QMenu(tr("音量(&V)"), parent);
  auto* action = new QWidgetAction(menu);
  auto* box = new QWidget;
  auto* layout = new QHBoxLayout(box);
  auto* slider = new QSlider(Qt::Horizontal);
  auto* label = new QLabel;
  slider->setRange(0, 100);
  slider->setPageStep(10);
  slider->setValue(settings_.volumePercent);
  slider->setMinimumWidth(160);
  label->setMinimumWidth(40);
  label->setText(QString("%1%").arg(settings_.volumePercent));
  layout->addWidget(slider);
  layout->addWidget(label);
  action->setDefaultWidget(box);
  menu->addAction(action);
  connect(slider, &QSlider::valueChanged, this, [this, label](int v) {
    setVolume(v);
    label->setText(QString("%1%").arg(v));
  });
  connect(slider, &QSlider::sliderReleased, this, &ProgramShell::saveSettings);
  // A menu opened again shows the volume set elsewhere (the keys), on the slider and its label.
  connect(menu, &QMenu::aboutToShow, slider, [this, slider, label] {
    const QSignalBlocker block(slider);
    slider->setValue(settings_.volumePercent);
    label->setText(QString("%1%").arg(settings_.volumePercent));
  });
  connect(menu, &QMenu::aboutToHide, this, &ProgramShell::saveSettings);
  menu->addSeparator();
  for (const auto& [text, key, step] :
       {std::tuple{tr("音量を上げる"), Qt::CTRL | Qt::Key_Up, kVolumeStep},
        std::tuple{tr("音量を下げる"), Qt::CTRL | Qt::Key_Down, -kVolumeStep}}) {
    QAction* a = menu->addAction(text);
    a->setShortcut(QKeySequence(key));
    const int delta = step;
    connect(a, &QAction::triggered, this, [this, delta, slider, label, window] {
      setVolume(settings_.volumePercent + delta);
      saveSettings();
      const QString text = QString("%1%").arg(settings_.volumePercent);
      {
        const QSignalBlocker block(slider);
        slider->setValue(settings_.volumePercent);
      }
      label->setText(text);
      // The keys work without the menu: the driving window says what they set.
      if (auto* driving = qobject_cast<DrivingWindow*>(window)) {
        driving->showStatus(tr("音量 %1%").arg(settings_.volumePercent));
      }
    });
    if (window != nullptr) window->addAction(a);
  }
  return menu;
}

void ProgramShell::onDrivingShown(DrivingWindow* window) {
  driving_ = window;
  QMenu* menu = window->menuBar()->addMenu(tr("ウィンドウ(&W)"));
  QAction* full = menu->addAction(tr("全画面表示(&F)"));
  full->setCheckable(true);
  full->setShortcut(QKeySequence(Qt::Key_F11));
  // Also on the window itself, so that F11 works while full screen hides the menu bar.
  window->addAction(full);
  menu->addMenu(makeVolumeMenu(menu, window));
  connect(full, &QAction::toggled, window, [this, window](bool on) {
    window->setCabFullScreen(on);
    settings_.fullScreen = on;
    saveSettings();
  });
  if (!settings_.controllerPort.isEmpty()) {
    window->controllerPort().setPortName(settings_.controllerPort.toStdString());
  }
  window->setVideoFit(settings_.videoWhole ? platform::VideoFit::Whole
                                           : platform::VideoFit::FillWidth);
  window->setBlendFrames(settings_.blendFrames);
  connect(window, &DrivingWindow::videoSettingsChanged, this, [this, window] {
    settings_.videoWhole = window->videoFit() == platform::VideoFit::Whole;
    settings_.blendFrames = window->blendFrames();
    saveSettings();
  });
  window->displayMenu()->addSeparator();
  window->displayMenu()->addMenu(makeLanguageMenu(window->displayMenu()));
  place(window, kDrivingName);
  if (settings_.fullScreen) full->setChecked(true);
  connect(window, &DrivingWindow::closed, this, [this, window] { onDrivingClosed(window); });
}

void ProgramShell::onDrivingClosed(DrivingWindow* window) {
  settings_.controllerPort = QString::fromStdString(window->controllerPort().portName());
  if (context_.program != nullptr) settings_.keypadSwap = context_.program->KeypadSwap;
  saveSettings();
  driving_ = nullptr;
  // A language chosen during the drive: once the title window has come back (its own handler
  // of the close runs first), it is built again in that language.
  if (pendingLanguage_) {
    QTimer::singleShot(0, this, [this] {
      if (pendingLanguage_ && driving_ == nullptr) applyLanguage(*pendingLanguage_);
    });
  }
}

QMenu* ProgramShell::makeLanguageMenu(QWidget* parent) {
  // Its title in both languages, so that a driver who reads only one of them finds it.
  auto* menu = new QMenu(tr("言語 / Language"), parent);
  menu->setObjectName("Language");
  auto* group = new QActionGroup(menu);
  for (const msg::Language l : msg::kLanguages) {
    QAction* a = menu->addAction(languageName(l));
    a->setCheckable(true);
    a->setData(static_cast<int>(l));
    group->addAction(a);
    connect(a, &QAction::triggered, this, [this, l] { chooseLanguage(l); });
  }
  // A menu opened again shows the choice made elsewhere (the other window's menu).
  const auto check = [this, group] {
    const msg::Language shown = pendingLanguage_.value_or(language_);
    for (QAction* a : group->actions()) {
      a->setChecked(a->data().toInt() == static_cast<int>(shown));
    }
  };
  check();
  connect(menu, &QMenu::aboutToShow, this, check);
  return menu;
}

void ProgramShell::chooseLanguage(msg::Language language) {
  settings_.language = language;
  saveSettings();
  if (language == language_) {
    pendingLanguage_.reset();
    return;
  }
  if (driving_ != nullptr && driving_->isVisible()) {
    pendingLanguage_ = language;
    // Said in both languages: the driver may read only the one chosen.
    driving_->showStatus(
        tr("言語は運転を終えると切り替わります / The language changes when "
           "this drive ends"));
    return;
  }
  applyLanguage(language);
}

void ProgramShell::applyLanguage(msg::Language language) {
  pendingLanguage_.reset();
  language_ = language;
  if (context_.applyLanguage) {
    context_.applyLanguage(language);
  } else {
    msg::setLanguage(language);
  }
  // The windows are made again in it; the title window opens on its buttons, without the movie.
  context_.title.skipOpening = true;
  buildWindows();
}

void ProgramShell::showSoundStatus(const QString& text) {
  if (driving_ != nullptr && driving_->isVisible()) {
    driving_->showStatus(text);
  } else if (title_ != nullptr) {
    title_->setNotice(text);
  }
}

void ProgramShell::saveSettings() {
  if (context_.program != nullptr) settings_.keypadSwap = context_.program->KeypadSwap;
  if (context_.store != nullptr) writeAppSettings(*context_.store, settings_);
}

}  // namespace dravolin::shell
