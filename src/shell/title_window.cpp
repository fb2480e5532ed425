#include "shell/title_window.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "data/data_path.h"
#include "data/load_error.h"
#include "data/text_encoding.h"
#include "platform/ffmpeg_audio_reader.h"
#include "platform/file_picture_loader.h"
#include "shell/messages.h"
#include "shell/sound_watch.h"

namespace dravolin::shell {

// The movie panel: shows the opening movie's current picture; a click ends the opening.
class MoviePanel final : public QWidget {
 public:
  explicit MoviePanel(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }
  QImage picture;
  std::function<void()> onClick;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (!picture.isNull()) p.drawImage(rect(), picture);
  }
  void mousePressEvent(QMouseEvent* e) override {
    e->accept();
    if (onClick) onClick();
  }
};

namespace {

struct Place {
  int x, y, w, h;
  const char* picture;  // under image\title\ of the data folder
  const char* text;     // what a plain button shows
};

// Train1 .. Train10, HELP, Quit, then the loading picture.
constexpr Place kPlaces[] = {
    {13, 14, 159, 44, "train1.bmp", "Train1"},        {13, 68, 159, 44, "train2.bmp", "Train2"},
    {13, 123, 159, 44, "train3.bmp", "Train3"},       {13, 179, 159, 44, "train4.bmp", "Train4"},
    {13, 236, 159, 44, "train5.bmp", "Train5"},       {13, 292, 159, 44, "train6.bmp", "Train6"},
    {13, 350, 159, 44, "train7.bmp", "Train7"},       {469, 236, 166, 43, "train8.bmp", "Train8"},
    {469, 292, 166, 43, "train9.bmp", "Train9"},      {469, 350, 166, 43, "train10.bmp", "Train10"},
    {475, 418, 78, 28, "help.bmp", "HELP"},           {559, 418, 49, 29, "quit.bmp", "Quit"},
    {237, 203, 154, 34, "loading.bmp", "Loading..."},
};
constexpr int kLoadingPlace = 12;
constexpr int kHelpButton = 10;
constexpr int kQuitButton = 11;

QImage toImage(const platform::Bitmap& b) {
  QImage image(b.width, b.height, QImage::Format_RGB32);
  for (int y = 0; y < b.height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < b.width; ++x) row[x] = b.pixel(x, y) | 0xFF000000u;
  }
  return image;
}

std::optional<QImage> loadPicture(const std::filesystem::path& dataDir, const std::string& name) {
  const std::filesystem::path path = data::resolveDataPath(dataDir, name);
  if (!std::filesystem::is_regular_file(path)) return std::nullopt;
  platform::FilePictureLoader loader;
  std::optional<platform::Bitmap> b = loader.load(path.string());
  if (!b || b->empty()) return std::nullopt;
  return toImage(*b);
}

// A button that shows its picture, or a plain framed box with its name when it has none.
class PictureButton final : public QAbstractButton {
 public:
  PictureButton(const QString& text, std::optional<QImage> picture, QWidget* parent)
      : QAbstractButton(parent), picture_(std::move(picture)) {
    setText(text);
    setFocusPolicy(Qt::NoFocus);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QRect r = rect();
    if (picture_) {
      p.drawImage(r, *picture_);  // integer factors only: no smoothing
    } else {
      p.fillRect(r, isDown() ? QColor(40, 60, 110) : QColor(24, 36, 72));
      p.setPen(QPen(QColor(200, 210, 235), 1));
      p.drawRect(r.adjusted(0, 0, -1, -1));
      p.setPen(Qt::white);
      p.drawText(r, Qt::AlignCenter, text());
    }
    if (isDown()) p.fillRect(r, QColor(255, 255, 255, 60));
  }

 private:
  std::optional<QImage> picture_;
};

}  // namespace

TrainTable defaultTrainTable() {
  TrainTable t;
  t[1] = TrainChoice{"E231_train.dat", "E231_line2.dat"};
  t[4] = TrainChoice{"205_train.dat", "205_line.dat"};
  return t;
}

TitleWindow::TitleWindow(Context context, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      context_(std::move(context)),
      scale_(std::max(1, context_.driving.scale)) {
  setWindowTitle("i");
  setAttribute(Qt::WA_OpaquePaintEvent);
  // A line package dropped on the title screen is installed into the library.
  setAcceptDrops(true);
  const std::filesystem::path& dir = context_.driving.dataDir;

  for (int i = 0; i < kButtonCount; ++i) {
    const Place& pl = kPlaces[i];
    auto* b = new PictureButton(pl.text,
                                loadPicture(dir, std::string("image\\title\\") + pl.picture), this);
    b->setGeometry(scaled(pl.x, pl.y, pl.w, pl.h));
    b->hide();
    buttons_.at(static_cast<std::size_t>(i)) = b;
    if (i < 10) {
      connect(b, &QAbstractButton::clicked, this, [this, i] { TrainClick(i + 1); });
    }
  }
  connect(button(kHelpButton), &QAbstractButton::clicked, this, &TitleWindow::helpclick);
  connect(button(kQuitButton), &QAbstractButton::clicked, this, &TitleWindow::QuitClick);

  const Place& lp = kPlaces[kLoadingPlace];
  loading_ = new PictureButton(lp.text,
                               loadPicture(dir, std::string("image\\title\\") + lp.picture), this);
  loading_->setAttribute(Qt::WA_TransparentForMouseEvents);
  loading_->setGeometry(scaled(lp.x, lp.y, lp.w, lp.h));
  loading_->hide();

  status_ = new QLabel(this);
  status_->setGeometry(scaled(0, 480, 640, 18));
  status_->setStyleSheet("color: white; background: black;");
  QFont f("Noto Sans CJK JP");
  f.setPixelSize(12 * scale_);
  status_->setFont(f);

  history_ = new QLabel(this);
  history_->setGeometry(scaled(180, 398, 285, 78));
  history_->setWordWrap(true);
  history_->setStyleSheet("color: white; background: rgba(0, 0, 0, 160); padding: 2px 3px;");
  history_->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
  // A little smaller than the status line: a train's best and last drive with how the last one
  // ended fit on one line between the button columns.
  QFont small = f;
  small.setPixelSize(11 * scale_);
  history_->setFont(small);
  history_->setAttribute(Qt::WA_TransparentForMouseEvents);
  history_->hide();
  refreshHistory();

  panel_ = new MoviePanel(this);
  panel_->setGeometry(scaled(0, 0, 320, 240));
  panel_->onClick = [this] { Panel1Click(); };

  // FormCreate: the opening movie, when there is one, then the window at the movie's size.
  const std::filesystem::path moviePath = data::resolveDataPath(dir, kOpeningMovie);
  if (!context_.skipOpening && std::filesystem::is_regular_file(moviePath) &&
      movie_.open(moviePath.string())) {
    movieOpen_ = true;
    movieFps_ = movie_.frameRate() > 0 ? movie_.frameRate() : 15.0;
    // The picture follows the clock at the movie's frame rate, so it keeps step with the sound.
    movieTimer_.setTimerType(Qt::PreciseTimer);
    movieTimer_.setInterval(std::clamp(static_cast<int>(500.0 / movieFps_), 1, 50));
    connect(&movieTimer_, &QTimer::timeout, this, &TitleWindow::nextMovieFrame);
    if (context_.playMovieSound) {
      if (const std::optional<platform::Wave> sound =
              platform::readAudioTrack(moviePath.string())) {
        context_.playMovieSound(*sound);
        movieSound_ = true;
      }
    }
    movieClock_.start();
    nextMovieFrame();
    movieTimer_.start();
  }
  setClientSize(320, 240);
  reveal_ = 0;
  timer_.setInterval(100);
  connect(&timer_, &QTimer::timeout, this, &TitleWindow::Timer1Timer);
  timer_.start();
  loadTitlePicture();
  centre();
}

TitleWindow::~TitleWindow() {
  if (movieOpen_) stopMovie();
  if (driving_ != nullptr) {
    driving_->disconnect(this);
    delete driving_;
  }
}

QRect TitleWindow::scaled(int x, int y, int w, int h) const {
  return QRect(x * scale_, y * scale_, w * scale_, h * scale_);
}

void TitleWindow::setClientSize(int width, int height) {
  setFixedSize(width * scale_, height * scale_);
}

void TitleWindow::centre() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  move(area.center() - QPoint(width() / 2, height() / 2));
}

void TitleWindow::loadTitlePicture() {
  std::optional<QImage> picture = loadPicture(context_.driving.dataDir, kTitlePicture);
  if (!picture) {
    // Not fatal: the window goes on without its picture.
    showMessage(QString("%1が見つかりません").arg(kTitlePicture).replace('\\', '/'));
    title_ = QImage();
  } else {
    title_ = *picture;
  }
  update();
}

bool TitleWindow::openingShown() const { return panel_->isVisible(); }

void TitleWindow::nextMovieFrame() {
  const auto due =
      static_cast<int>(static_cast<double>(movieClock_.elapsed()) * movieFps_ / 1000.0);
  if (due == movieFrame_) return;
  platform::Bitmap frame;
  if (due >= movie_.frameCount() || !movie_.getFrame(due, frame)) {
    // The movie has played to its end: the opening ends with it.
    movieTimer_.stop();
    QTimer::singleShot(0, this, [this] {
      if (openingShown()) Panel1Click();
    });
    return;
  }
  movieFrame_ = due;
  panel_->picture = toImage(frame);
  panel_->update();
}

void TitleWindow::stopMovie() {
  movieTimer_.stop();
  movie_.close();
  movieOpen_ = false;
  if (movieSound_ && context_.stopMovieSound) context_.stopMovieSound();
  movieSound_ = false;
}

void TitleWindow::Panel1Click() {
  for (QAbstractButton* b : buttons_) b->hide();
  if (history_ != nullptr && !history_->text().isEmpty()) history_->show();
  reveal_ = 0;
  panel_->hide();
  if (movieOpen_) stopMovie();
  setClientSize(640, notice_.isEmpty() ? 480 : 498);
  loadTitlePicture();
  centre();
}

void TitleWindow::Timer1Timer() {
  if (!movieOpen_ && openingShown()) Panel1Click();
  ++reveal_;
  for (int n = 1; n <= 10; ++n) {
    if (reveal_ > n) button(n - 1)->show();
  }
  if (reveal_ > 13) button(kHelpButton)->show();
  if (reveal_ > 14) button(kQuitButton)->show();
  if (reveal_ == kOpeningLimitTicks && openingShown()) Panel1Click();
}

void TitleWindow::TrainClick(int number) {
  timer_.stop();
  for (int i : {0, 1, kHelpButton, kQuitButton}) button(i)->show();
  if (number < 1 || number > 10 || driving_ != nullptr) return;
  const std::optional<TrainChoice>& choice =
      context_.trains.at(static_cast<std::size_t>(number - 1));
  if (!choice) return;
  notice_.clear();
  loading_->show();
  loading_->repaint();
  setClientSize(640, 498);
  status_->setText(kCreatingForm);
  status_->repaint();

  drive::LoadRequest request;
  request.dataDir = context_.driving.dataDir;
  request.trainFile = choice->trainFile;
  request.lineFile = choice->lineFile;
  try {
    driving_ = new DrivingWindow(context_.driving, request, [this](const std::string& text) {
      status_->setText(QString::fromStdString(text));
      status_->repaint();
    });
  } catch (const std::exception& e) {
    // Any fault of the loading ends the program after its message (a data::LoadError carries
    // the text for the user); there is no partial start.
    showMessage(QString::fromUtf8(e.what()));
    if (context_.driving.endProgram) context_.driving.endProgram(1);
    return;
  }
  connect(driving_, &DrivingWindow::closed, this, &TitleWindow::onDrivingClosed);
  hide();
  driving_->adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    driving_->move(area.center() - QPoint(driving_->width() / 2, driving_->height() / 2));
  }
  driving_->show();
  driving_->activateWindow();
  Q_EMIT drivingWindowShown(driving_);
}

void TitleWindow::onDrivingClosed() {
  DrivingWindow* done = driving_;
  driving_ = nullptr;
  if (done != nullptr) {
    done->hide();
    done->disconnect(this);
    done->deleteLater();  // freed once its close has been handled
  }
  loading_->hide();
  setClientSize(640, 480);
  refreshHistory();
  // A sound service that could not open its output again goes on silent and says so here.
  if (const QString silent = titleNotice({}, context_.driving.sound); !silent.isEmpty()) {
    setNotice(silent);
  }
  show();
  Q_EMIT drivingWindowClosed();
}

void TitleWindow::setNotice(const QString& text) {
  notice_ = text;
  status_->setText(text);
  if (!openingShown() && driving_ == nullptr) {
    setClientSize(640, text.isEmpty() ? 480 : 498);
    centre();
  }
}

void TitleWindow::refreshHistory() {
  if (!context_.historyOf) return;
  QStringList lines;
  for (std::size_t i = 0; i < context_.trains.size(); ++i) {
    const std::optional<TrainChoice>& choice = context_.trains[i];
    if (!choice) continue;
    const QString line = context_.historyOf(*choice);
    buttons_.at(i)->setToolTip(line);
    if (line.isEmpty()) continue;
    QString name = QString::fromStdString(data::cp932ToUtf8(choice->trainFile));
    if (name.endsWith(".dat", Qt::CaseInsensitive)) name.chop(4);
    lines << name + "　" + line;
  }
  history_->setText(lines.join("\n"));
  history_->setVisible(!lines.isEmpty() && panel_ != nullptr && !panel_->isVisible());
}

void TitleWindow::helpclick() {
  // The data folder's readme by its absolute path: a desktop launcher takes no relative address.
  std::error_code error;
  const std::filesystem::path path =
      std::filesystem::absolute(data::resolveDataPath(context_.driving.dataDir, kReadme), error)
          .lexically_normal();
  const QString file = QString::fromStdString(path.string());
  if (error || !std::filesystem::is_regular_file(path, error)) {
    showMessage(file + "が見つかりません");
    return;
  }
  const QUrl url = QUrl::fromLocalFile(file);
  const bool started = context_.openUrl ? context_.openUrl(url) : QDesktopServices::openUrl(url);
  if (!started) showMessage(QString(kNoViewer).arg(file));
}

void TitleWindow::QuitClick() { close(); }

void TitleWindow::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (event->isAccepted()) Q_EMIT closed();
}

namespace {

// The package files among the dropped addresses.
QStringList droppedPackages(const QMimeData* data) {
  QStringList files;
  if (data == nullptr) return files;
  for (const QUrl& url : data->urls()) {
    const QString file = url.toLocalFile();
    if (!file.isEmpty() && file.endsWith(".dravolin", Qt::CaseInsensitive)) files << file;
  }
  return files;
}

}  // namespace

void TitleWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (driving_ == nullptr && !droppedPackages(event->mimeData()).isEmpty()) {
    event->acceptProposedAction();
  }
}

void TitleWindow::dropEvent(QDropEvent* event) {
  const QStringList files = droppedPackages(event->mimeData());
  if (driving_ != nullptr || files.isEmpty()) return;
  event->acceptProposedAction();
  for (const QString& file : files) Q_EMIT packageDropped(file);
}

void TitleWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (!title_.isNull()) p.drawImage(scaled(0, 0, title_.width(), title_.height()), title_);
}

}  // namespace dravolin::shell
