#include "shell/author_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "author/line_folder.h"
#include "author/line_text.h"
#include "author/local_time.h"
#include "author/measure.h"
#include "library/package_writer.h"
#include "platform/message.h"
#include "platform/title_picture.h"
#include "shell/frame_preview.h"
#include "shell/ride_chart.h"

namespace dravolin::shell {

namespace {

constexpr double kSliderSpanS = 120;  // the slider reaches this far either side of its middle
constexpr int kSliderSteps = 30;      // per second: a frame of a 30 fps video
// The offset's reach: a camera whose clock was never set may be decades off.
constexpr double kOffsetReachS = 4e9;
const QSize kPreviewSize(320, 180);

enum Column { kName, kKind, kArrive, kDepart, kDistance };

QString clockText(double s) {
  const int tenths = static_cast<int>(std::lround(std::max(0.0, s) * 10));
  return QString("%1:%2.%3")
      .arg(tenths / 600)
      .arg(tenths / 10 % 60, 2, 10, QChar('0'))
      .arg(tenths % 10);
}

// An offset as the user reads it: "+44.381 秒", or with days and hours when it is large
// ("-3652日 08:59:30.000").
QString offsetText(double s) {
  const QString sign = s < 0 ? "-" : "+";
  const double a = std::abs(s);
  if (a < 60) return AuthorWindow::tr("%1%2 秒").arg(sign).arg(a, 0, 'f', 3);
  const auto whole = static_cast<long long>(std::floor(a));
  const double fraction = a - static_cast<double>(whole);
  return AuthorWindow::tr("%1%2日 %3:%4:%5")
      .arg(sign)
      .arg(whole / 86400)
      .arg(whole / 3600 % 24, 2, 10, QChar('0'))
      .arg(whole / 60 % 60, 2, 10, QChar('0'))
      .arg(static_cast<double>(whole % 60) + fraction, 6, 'f', 3, QChar('0'));
}

// The export's folder dialog: Qt's own, listing folders only, with its button for a new folder
// and a name box that takes a folder that does not exist yet (made when the dialog is accepted)
// or one that does (chosen, not entered).
class ExportFolderDialog final : public QFileDialog {
 public:
  ExportFolderDialog(QWidget* parent, const QString& title, const QString& dir, const QString& name)
      : QFileDialog(parent, title, dir) {
    setFileMode(QFileDialog::AnyFile);
    setAcceptMode(QFileDialog::AcceptSave);
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::DontConfirmOverwrite);
    setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    setNameFilter(AuthorWindow::tr("フォルダ (*)"));
    setLabelText(QFileDialog::LookIn, AuthorWindow::tr("場所"));
    setLabelText(QFileDialog::FileName, AuthorWindow::tr("フォルダ名"));
    setLabelText(QFileDialog::FileType, AuthorWindow::tr("種類"));
    setLabelText(QFileDialog::Accept, AuthorWindow::tr("書き出す"));
    setLabelText(QFileDialog::Reject, AuthorWindow::tr("キャンセル"));
    if (!name.isEmpty()) selectFile(name);
  }

 protected:
  void accept() override {
    const QStringList chosen = selectedFiles();
    if (!chosen.isEmpty()) {
      const QFileInfo folder(chosen.front());
      if (folder.isDir() ||
          (!folder.exists() && folder.dir().exists() && QDir().mkdir(folder.absoluteFilePath()))) {
        QDialog::accept();
        return;
      }
    }
    QFileDialog::accept();
  }
};

}  // namespace

AuthorWindow::AuthorWindow(Context context, QWidget* parent)
    : QWidget(parent, Qt::Window), context_(std::move(context)) {
  if (!context_.chooseFile) {
    context_.chooseFile = [](QWidget* w, const QString& title, const QString& dir,
                             const QString& filter) {
      return QFileDialog::getOpenFileName(w, title, dir, filter);
    };
  }
  if (!context_.chooseFolder) {
    context_.chooseFolder = [](QWidget* w, const QString& title, const QString& dir,
                               const QString& name) {
      ExportFolderDialog dialog(w, title, dir, name);
      if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
      return dialog.selectedFiles().front();
    };
  }
  if (!context_.ask) {
    context_.ask = [](QWidget* w, const QString& text) {
      return QMessageBox::question(w, kAuthorWindowTitle, text) == QMessageBox::Yes;
    };
  }
  if (!context_.tell) {
    context_.tell = [](QWidget* w, const QString& text) {
      QMessageBox::warning(w, kAuthorWindowTitle, text);
    };
  }
  setWindowTitle(kAuthorWindowTitle);

  auto* top = new QGridLayout;
  videoLabel_ = new QLabel("（動画を開いてください）");
  trackLabel_ = new QLabel("（GPS 記録を開いてください）");
  auto* openVideo = new QPushButton("動画を開く...");
  auto* openTrack = new QPushButton("GPS 記録を開く...");
  videoTrack_ = new QPushButton("動画内の GPS を使う");
  videoTrack_->setEnabled(false);
  top->addWidget(new QLabel("動画:"), 0, 0);
  top->addWidget(videoLabel_, 0, 1);
  top->addWidget(openVideo, 0, 2);
  top->addWidget(new QLabel("GPS 記録:"), 1, 0);
  top->addWidget(trackLabel_, 1, 1);
  top->addWidget(openTrack, 1, 2);
  top->addWidget(videoTrack_, 1, 3);
  top->setColumnStretch(1, 1);

  chart_ = new RideChart;
  preview_ = new FramePreview(*context_.footage, kPreviewSize);
  frameLabel_ = new QLabel;
  auto* side = new QVBoxLayout;
  side->addWidget(preview_);
  side->addWidget(frameLabel_);
  side->addStretch();
  auto* middle = new QHBoxLayout;
  middle->addWidget(chart_, 1);
  middle->addLayout(side);

  offset_ = new QDoubleSpinBox;
  offset_->setRange(-kOffsetReachS, kOffsetReachS);
  offset_->setDecimals(3);
  offset_->setSingleStep(1.0 / kSliderSteps);
  offset_->setSuffix(" 秒");
  offsetSlider_ = new QSlider(Qt::Horizontal);
  offsetSlider_->setRange(static_cast<int>(-kSliderSpanS * kSliderSteps),
                          static_cast<int>(kSliderSpanS * kSliderSteps));
  sureness_ = new QLabel;
  auto* offsetRow = new QHBoxLayout;
  offsetRow->addWidget(new QLabel("時刻のずれ:"));
  offsetRow->addWidget(offset_);
  offsetRow->addWidget(offsetSlider_, 1);
  offsetRow->addWidget(sureness_);
  dates_ = new QLabel;
  dates_->setObjectName("dates");
  dates_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  stations_ = new QTableWidget(0, 5);
  stations_->setHorizontalHeaderLabels({"駅名", "種別", "到着", "発車", "距離 (m)"});
  stations_->horizontalHeader()->setSectionResizeMode(kName, QHeaderView::Stretch);
  stations_->verticalHeader()->setVisible(false);
  stations_->setSelectionBehavior(QAbstractItemView::SelectRows);
  lineName_ = new QLineEdit;
  signals_ = new QSpinBox;
  signals_->setRange(0, 5000);
  signals_->setSingleStep(100);
  signals_->setSuffix(" m");
  signals_->setSpecialValueText("なし");
  zone_ = new QLineEdit;
  zone_->setPlaceholderText("システムの設定");
  auto* form = new QGridLayout;
  form->addWidget(new QLabel("路線名:"), 0, 0);
  form->addWidget(lineName_, 0, 1);
  form->addWidget(new QLabel("閉塞信号の間隔:"), 1, 0);
  form->addWidget(signals_, 1, 1);
  form->addWidget(new QLabel("タイムゾーン:"), 2, 0);
  form->addWidget(zone_, 2, 1);
  form->setRowStretch(3, 1);
  auto* lower = new QHBoxLayout;
  lower->addWidget(stations_, 3);
  lower->addLayout(form, 2);

  progress_ = new QProgressBar;
  progress_->setRange(0, 1000);
  progress_->setVisible(false);
  stop_ = new QPushButton(tr("中止"));
  stop_->setVisible(false);
  status_ = new QLabel;
  export_ = new QPushButton("書き出し...");
  export_->setEnabled(false);
  // After an export: the folder as one file to share (a line package).
  share_ = new QPushButton(tr("共有用ファイルを作る..."));
  share_->setEnabled(false);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(progress_, 1);
  bottom->addWidget(stop_);
  bottom->addWidget(status_, 2);
  bottom->addWidget(export_);
  bottom->addWidget(share_);

  auto* all = new QVBoxLayout(this);
  all->addLayout(top);
  all->addLayout(middle, 3);
  all->addLayout(offsetRow);
  all->addWidget(dates_);
  all->addLayout(lower, 2);
  all->addLayout(bottom);
  resize(1100, 720);

  rebuildTimer_ = new QTimer(this);
  rebuildTimer_->setSingleShot(true);
  rebuildTimer_->setInterval(250);
  connect(rebuildTimer_, &QTimer::timeout, this, &AuthorWindow::rebuild);
  connect(openVideo, &QPushButton::clicked, this, &AuthorWindow::chooseVideo);
  connect(openTrack, &QPushButton::clicked, this, &AuthorWindow::chooseTrack);
  connect(videoTrack_, &QPushButton::clicked, this, &AuthorWindow::useVideoTrack);
  connect(export_, &QPushButton::clicked, this, &AuthorWindow::chooseExport);
  connect(share_, &QPushButton::clicked, this, &AuthorWindow::choosePackage);
  connect(stop_, &QPushButton::clicked, this, &AuthorWindow::cancelWork);
  connect(chart_, &RideChart::cursorMoved, this, &AuthorWindow::showCursor);
  connect(offset_, &QDoubleSpinBox::valueChanged, this, [this](double v) {
    // Also without a line: a ride whose clocks could not be matched is given its offset here.
    if (!ride_) return;
    const QSignalBlocker block(offsetSlider_);
    // An offset beyond the slider's reach (typed) becomes its middle.
    if (std::abs(v - sliderCentre_) > kSliderSpanS) sliderCentre_ = v;
    offsetSlider_->setValue(static_cast<int>(std::lround((v - sliderCentre_) * kSliderSteps)));
    options_.userOffsetS = v;
    rebuildTimer_->start();
  });
  connect(offsetSlider_, &QSlider::valueChanged, this, [this](int v) {
    offset_->setValue(sliderCentre_ + static_cast<double>(v) / kSliderSteps);
  });
  connect(stations_, &QTableWidget::cellChanged, this, &AuthorWindow::stationEdited);
  connect(lineName_, &QLineEdit::editingFinished, this, [this] {
    // Shown as the line file will hold it.
    options_.lineName = author::lineName(lineName_->text().toStdString());
    if (lineName_->text().toStdString() != options_.lineName) {
      lineName_->setText(QString::fromStdString(options_.lineName));
    }
  });
  connect(signals_, &QSpinBox::valueChanged, this, [this](int m) {
    options_.signalSpacingM = m;
    rebuildTimer_->start();
  });
  connect(zone_, &QLineEdit::editingFinished, this, [this] {
    options_.clock.zone = zone_->text().trimmed().toStdString();
    rebuildTimer_->start();
  });
}

AuthorWindow::~AuthorWindow() {
  if (cancel_) *cancel_ = true;
  if (worker_ != nullptr) {
    worker_->wait();
    delete worker_;
  }
}

QString AuthorWindow::status() const { return status_->text(); }

void AuthorWindow::cancelWork() {
  if (!busy() || !cancel_) return;
  *cancel_ = true;
  stop_->setEnabled(false);
  status_->setText(tr("中止しています"));
}

void AuthorWindow::closeEvent(QCloseEvent* event) {
  // Nothing goes on behind a closed window: a folder half written is removed.
  cancelWork();
  QWidget::closeEvent(event);
}

void AuthorWindow::rememberInput(const QString& file) {
  if (context_.settings == nullptr) return;
  context_.settings->authorInputFolder = QFileInfo(file).absolutePath();
  if (context_.saveSettings) context_.saveSettings();
}

void AuthorWindow::chooseVideo() {
  const QString dir = context_.settings ? context_.settings->authorInputFolder : QString();
  const QString file = context_.chooseFile(
      this, "動画を開く", dir, "動画 (*.mp4 *.MP4 *.mov *.MOV *.avi *.mkv);;すべて (*)");
  if (file.isEmpty()) return;
  rememberInput(file);
  video_ = file;
  videoLabel_->setText(file);
  platform::FootageInfo info;
  try {
    info = context_.footage->probe(file.toStdString());
  } catch (const platform::FootageError& e) {
    context_.tell(this, e.what());
    return;
  }
  videoTrack_->setEnabled(info.hasTelemetry);
  if (info.hasTelemetry && track_.isEmpty()) track_ = file;
  if (!track_.isEmpty()) openRide(video_, track_);
}

void AuthorWindow::chooseTrack() {
  const QString dir = context_.settings ? context_.settings->authorInputFolder : QString();
  const QString file =
      context_.chooseFile(this, "GPS 記録を開く", dir,
                          "GPS 記録 (*.gpx *.nmea *.txt *.log *.mp4 *.MP4 *.mov);;すべて (*)");
  if (file.isEmpty()) return;
  rememberInput(file);
  track_ = file;
  if (!video_.isEmpty()) openRide(video_, track_);
}

void AuthorWindow::useVideoTrack() {
  if (!video_.isEmpty()) openRide(video_, video_);
}

void AuthorWindow::openRide(const QString& video, const QString& track) {
  if (busy()) return;
  video_ = video;
  track_ = track;
  videoLabel_->setText(video);
  trackLabel_->setText(track == video ? "（動画内の GPS 記録）" : track);
  export_->setEnabled(false);
  progress_->setVisible(true);
  progress_->setValue(0);
  status_->setText("測っています");
  cancel_ = std::make_shared<std::atomic<bool>>(false);
  const std::string v = video.toStdString(), t = track.toStdString();
  platform::FootageService* footage = context_.footage;
  worker_ = QThread::create([this, v, t, footage, report = progressReporter()] {
    try {
      auto ride =
          std::make_shared<author::RideMeasurements>(author::measureRide(v, t, *footage, report));
      QMetaObject::invokeMethod(
          this, [this, ride] { onMeasured(ride); }, Qt::QueuedConnection);
    } catch (const author::AuthorError& e) {
      QMetaObject::invokeMethod(
          this, [this, m = QString::fromStdString(e.what())] { onFailed(m); },
          Qt::QueuedConnection);
    } catch (const platform::FootageCancelled&) {
      QMetaObject::invokeMethod(
          this,
          [this] {
            status_->setText(tr("中止しました"));
            Q_EMIT cancelled();
          },
          Qt::QueuedConnection);
    } catch (const std::exception& e) {
      QMetaObject::invokeMethod(
          this, [this, m = QString::fromStdString(e.what())] { onFailed(m); },
          Qt::QueuedConnection);
    }
  });
  connect(worker_, &QThread::finished, this, &AuthorWindow::finishWorker);
  stop_->setEnabled(true);
  stop_->setVisible(true);
  worker_->start();
}

void AuthorWindow::finishWorker() {
  if (worker_ == nullptr) return;
  worker_->wait();
  worker_->deleteLater();
  worker_ = nullptr;
  progress_->setVisible(false);
  stop_->setVisible(false);
}

std::function<bool(double, const std::string&)> AuthorWindow::progressReporter() {
  return [this, cancel = cancel_](double share, const std::string& step) {
    QMetaObject::invokeMethod(
        this, [this, share, text = QString::fromStdString(step)] { onProgress(share, text); },
        Qt::QueuedConnection);
    return !*cancel;
  };
}

void AuthorWindow::onProgress(double share, const QString& step) {
  progress_->setValue(static_cast<int>(std::lround(share * 1000)));
  status_->setText(step);
}

void AuthorWindow::onFailed(const QString& message) {
  status_->setText(message);
  context_.tell(this, message);
  Q_EMIT failed(message);
}

void AuthorWindow::onMeasured(std::shared_ptr<author::RideMeasurements> ride) {
  ride_ = std::move(ride);
  options_ = author::LineOptions{};
  options_.lineName = QFileInfo(video_).completeBaseName().toStdString();
  options_.dataName = author::dataNameOf(video_.toStdString());
  options_.signalSpacingM = signals_->value();
  options_.clock.zone = zone_->text().trimmed().toStdString();
  {
    const QSignalBlocker block(lineName_);
    lineName_->setText(QString::fromStdString(author::lineName(options_.lineName)));
  }
  draft_.reset();
  rebuild();
  if (draft_) {
    // The slider's middle: the offset found.
    sliderCentre_ = draft_->userOffset();
    const QSignalBlocker a(offset_), b(offsetSlider_);
    offset_->setValue(sliderCentre_);
    offsetSlider_->setValue(0);
    chart_->setCursorTime(draft_->frameTimeS[static_cast<std::size_t>(draft_->startPos)]);
    showCursor(chart_->cursorTime());
  }
  Q_EMIT measured();
}

void AuthorWindow::rebuild() {
  if (!ride_) return;
  try {
    draft_ = std::make_unique<author::LineDraft>(author::buildLine(*ride_, options_));
    status_->setText(QString("%1 m、速度表 %2 行、駅 %3")
                         .arg(draft_->lengthM, 0, 'f', 1)
                         .arg(draft_->speed.rows.size())
                         .arg(draft_->stations.size()));
    export_->setEnabled(true);
  } catch (const author::AuthorError& e) {
    draft_.reset();
    export_->setEnabled(false);
    status_->setText(QString::fromStdString(e.what()));
  }
  showDraft();
}

void AuthorWindow::setUserOffset(double seconds) {
  offset_->setValue(seconds);
  rebuildTimer_->stop();
  rebuild();
}

void AuthorWindow::showDraft() {
  chart_->show(ride_.get(), draft_.get());
  filling_ = true;
  stations_->setRowCount(draft_ ? static_cast<int>(draft_->stations.size()) : 0);
  if (draft_) {
    const author::SyncResult& s = draft_->sync;
    sureness_->setText(QString("確度 %1・%2・停車 %3 か所・ばらつき %4 秒")
                           .arg(QString::fromStdString(s.sureness), QString::fromStdString(s.basis))
                           .arg(s.pairs.size())
                           .arg(s.spreadS, 0, 'f', 3));
    for (int i = 0; i < stations_->rowCount(); ++i) {
      const author::DraftStation& st = draft_->stations[static_cast<std::size_t>(i)];
      // As the line file will hold it (the tool's rule: no leading "#", no comma, ...).
      stations_->setItem(
          i, kName, new QTableWidgetItem(QString::fromStdString(author::stationName(st.name))));
      auto* kind = qobject_cast<QComboBox*>(stations_->cellWidget(i, kKind));
      if (kind == nullptr) {
        kind = new QComboBox;
        kind->addItems({"停車", "通過"});
        stations_->setCellWidget(i, kKind, kind);
        connect(kind, &QComboBox::currentIndexChanged, this, [this, kind](int index) {
          for (int r = 0; r < stations_->rowCount(); ++r) {
            if (stations_->cellWidget(r, kKind) != kind || filling_) continue;
            options_.stationEdits.resize(
                std::max<std::size_t>(options_.stationEdits.size(), r + 1));
            options_.stationEdits[static_cast<std::size_t>(r)].type = index;
            rebuildTimer_->start();
          }
        });
      }
      kind->setCurrentIndex(st.type == 1 ? 1 : 0);
      const auto readOnly = [](const QString& text) {
        auto* item = new QTableWidgetItem(text);
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        return item;
      };
      stations_->setItem(
          i, kArrive,
          readOnly(st.cutAtStart
                       ? "—"
                       : clockText(draft_->frameTimeS[static_cast<std::size_t>(st.arriveFrame)])));
      stations_->setItem(
          i, kDepart,
          readOnly(st.cutAtEnd
                       ? "—"
                       : clockText(draft_->frameTimeS[static_cast<std::size_t>(st.departFrame)])));
      stations_->setItem(i, kDistance, readOnly(QString::number(st.distanceM, 'f', 1)));
    }
  } else {
    sureness_->clear();
  }
  filling_ = false;
  showDates();
}

void AuthorWindow::showDates() {
  if (!ride_ || !draft_) {
    dates_->setText(
        ride_ && ride_->creationTimeS
            ? tr("カメラの時計で動画の始まり %1")
                  .arg(QString::fromStdString(author::formatTime(*ride_->creationTimeS, 0)))
            : QString());
    return;
  }
  // The track's clock at the video's first frame, and what the camera's clock said.
  const double start = draft_->sync.offsetS;
  QString text = tr("動画の始まり: GPS の時刻で %1 UTC")
                     .arg(QString::fromStdString(author::formatTime(start)));
  try {
    text += tr("（%1 %2）")
                .arg(QString::fromStdString(
                    author::formatTime(author::localSeconds(start, options_.clock), 0)))
                .arg(QString::fromStdString(author::zoneLabel(start, options_.clock)));
  } catch (const author::AuthorError&) {
    // An unknown zone: rebuild() has said so.
  }
  if (ride_->creationTimeS) {
    text += tr("、カメラの時計で %1（時刻のずれ %2）")
                .arg(QString::fromStdString(author::formatTime(*ride_->creationTimeS, 0)))
                .arg(offsetText(draft_->userOffset()));
  }
  dates_->setText(text);
}

void AuthorWindow::stationEdited(int row, int column) {
  if (filling_ || column != kName || row < 0) return;
  options_.stationEdits.resize(std::max<std::size_t>(options_.stationEdits.size(), row + 1));
  options_.stationEdits[static_cast<std::size_t>(row)].name =
      stations_->item(row, kName)->text().trimmed().toStdString();
  rebuildTimer_->start();
}

void AuthorWindow::showCursor(double t) {
  if (!ride_) return;
  const auto& times = ride_->picture.timeS;
  const auto frame = std::lower_bound(times.begin(), times.end(), t - 1e-9) - times.begin();
  frameLabel_->setText(QString("%1（フレーム %2）").arg(clockText(t)).arg(frame));
  preview_->request(video_.toStdString(), t);
}

void AuthorWindow::chooseExport() {
  const QString dir = context_.settings ? context_.settings->authorOutputFolder : QString();
  const QString folder =
      context_.chooseFolder(this, tr("書き出すフォルダ（新しいフォルダか空のフォルダ）"), dir,
                            QString::fromStdString(author::lineName(options_.lineName)));
  if (!folder.isEmpty()) exportTo(folder);
}

void AuthorWindow::exportTo(const QString& folder) {
  if (busy() || !draft_ || !ride_) return;
  rebuildTimer_->stop();
  options_.lineName = lineName_->text().toStdString();
  rebuild();
  if (!draft_) return;
  if (context_.settings != nullptr) {
    context_.settings->authorOutputFolder = QFileInfo(folder).absolutePath();
    if (context_.saveSettings) context_.saveSettings();
  }
  author::FolderOptions where;
  where.outDir = folder.toStdString();
  where.trainsDir = context_.trainsFolder ? context_.trainsFolder() : std::filesystem::path(".");
  where.titlePicture = [](const platform::Bitmap& frame, const std::string& name) {
    return platform::drawTitlePicture(frame, name);
  };
  export_->setEnabled(false);
  progress_->setVisible(true);
  progress_->setValue(0);
  cancel_ = std::make_shared<std::atomic<bool>>(false);
  auto ride = ride_;
  auto draft = std::make_shared<author::LineDraft>(*draft_);
  platform::FootageService* footage = context_.footage;
  worker_ =
      QThread::create([this, ride, draft, where, footage, folder, report = progressReporter()] {
        try {
          author::writeLineFolder(*ride, *draft, where, *footage, report);
          QMetaObject::invokeMethod(
              this,
              [this, folder] {
                export_->setEnabled(true);
                writtenFolder_ = folder;
                share_->setEnabled(true);
                status_->setText("書き出しました: " + folder);
                Q_EMIT written(folder);
                if (context_.ask(this, "路線を書き出しました。このフォルダで運転しますか？") &&
                    context_.drive) {
                  context_.drive(folder.toStdString());
                }
              },
              Qt::QueuedConnection);
        } catch (const platform::FootageCancelled&) {
          // The folder half written is gone (writeLineFolder removes it).
          QMetaObject::invokeMethod(
              this,
              [this] {
                export_->setEnabled(true);
                status_->setText(tr("中止しました（書きかけのフォルダは消しました）"));
                Q_EMIT cancelled();
              },
              Qt::QueuedConnection);
        } catch (const std::exception& e) {
          QMetaObject::invokeMethod(
              this,
              [this, m = QString::fromStdString(e.what())] {
                export_->setEnabled(true);
                onFailed(m);
              },
              Qt::QueuedConnection);
        }
      });
  connect(worker_, &QThread::finished, this, &AuthorWindow::finishWorker);
  stop_->setEnabled(true);
  stop_->setVisible(true);
  worker_->start();
}

void AuthorWindow::choosePackage() {
  if (writtenFolder_.isEmpty()) return;
  const QString suggested = QFileInfo(writtenFolder_).absolutePath() + "/" +
                            QFileInfo(writtenFolder_).fileName() + ".dravolin";
  const QString file = context_.choosePackageFile ? context_.choosePackageFile(this, suggested)
                                                  : QFileDialog::getSaveFileName(
                                                        this, tr("共有用ファイルを作る"), suggested,
                                                        tr("路線パッケージ (*.dravolin)"));
  if (!file.isEmpty()) packageTo(file);
}

void AuthorWindow::packageTo(const QString& file) {
  if (busy() || writtenFolder_.isEmpty()) return;
  export_->setEnabled(false);
  share_->setEnabled(false);
  progress_->setVisible(true);
  progress_->setValue(0);
  cancel_ = std::make_shared<std::atomic<bool>>(false);
  library::Progress progress;
  progress.cancel = cancel_.get();
  const auto report = progressReporter();
  progress.report = [report](const msg::Message& stage, std::uint64_t done, std::uint64_t total) {
    report(total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total), stage.text());
  };
  library::PackageOptions options;
  options.name = lineName_->text().toStdString();
  const std::string folder = writtenFolder_.toStdString();
  worker_ = QThread::create([this, folder, file, options, progress, keep = cancel_] {
    QString failure;
    try {
      library::createPackage(folder, file.toStdString(), options, progress);
    } catch (const library::PackageError& e) {
      failure = QString::fromStdString(e.text());
    }
    QMetaObject::invokeMethod(
        this,
        [this, file, failure] {
          export_->setEnabled(draft_ != nullptr);
          share_->setEnabled(true);
          if (!failure.isEmpty()) {
            onFailed(failure);
            return;
          }
          status_->setText(tr("共有用ファイルを作りました: %1").arg(file));
          Q_EMIT packaged(file);
        },
        Qt::QueuedConnection);
  });
  connect(worker_, &QThread::finished, this, &AuthorWindow::finishWorker);
  stop_->setEnabled(true);
  stop_->setVisible(true);
  worker_->start();
}

}  // namespace dravolin::shell
