#include "shell/library_window.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <cmath>
#include <mutex>

#include "library/package_reader.h"
#include "library/thumbnail.h"
#include "platform/file_picture_loader.h"
#include "platform/message_ids.h"

namespace dravolin::shell {

namespace {

constexpr int kIdRole = Qt::UserRole + 1;

QString qs(const std::string& s) { return QString::fromStdString(s); }

QPixmap thumbnailOf(const library::InstalledLine& line) {
  QImage image(library::kThumbnailWidth, library::kThumbnailHeight, QImage::Format_RGB32);
  image.fill(QColor(24, 36, 72));
  if (!line.manifest.thumbnail.empty()) {
    platform::FilePictureLoader loader;
    const std::optional<platform::Bitmap> b =
        loader.load((line.folder / line.manifest.thumbnail).string());
    if (b && b->width == library::kThumbnailWidth && b->height == library::kThumbnailHeight) {
      for (int y = 0; y < b->height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < b->width; ++x) row[x] = b->pixel(x, y) | 0xFF000000u;
      }
    }
  }
  return QPixmap::fromImage(image);
}

}  // namespace

struct LibraryWindow::Result {
  std::mutex mutex;
  double share = 0;
  QString stage;
  std::optional<library::InstallOutcome> outcome;
  QString error;
  bool olderAsked = false;
};

LibraryWindow::LibraryWindow(Context context, QWidget* parent)
    : QWidget(parent, Qt::Window), context_(std::move(context)), library_(context_.root) {
  setWindowTitle(tr("路線ライブラリ"));
  if (!context_.choosePackage) {
    context_.choosePackage = [](QWidget* p) {
      return QFileDialog::getOpenFileName(p, tr("路線を追加"), QString(),
                                          tr("路線パッケージ (*.dravolin)"));
    };
  }
  if (!context_.ask) {
    context_.ask = [](QWidget* p, const QString& text) {
      return QMessageBox::question(p, tr("路線ライブラリ"), text) == QMessageBox::Yes;
    };
  }
  auto* layout = new QVBoxLayout(this);
  folder_ = new QLabel;
  folder_->setWordWrap(true);
  layout->addWidget(folder_);
  list_ = new QListWidget;
  list_->setIconSize(QSize(library::kThumbnailWidth, library::kThumbnailHeight));
  list_->setSpacing(2);
  list_->setMinimumSize(520, 300);
  layout->addWidget(list_, 1);
  progress_ = new QProgressBar;
  progress_->setRange(0, 1000);
  progress_->setVisible(false);
  cancel_ = new QPushButton(tr("中止"));
  cancel_->setVisible(false);
  auto* progressRow = new QHBoxLayout;
  progressRow->addWidget(progress_, 1);
  progressRow->addWidget(cancel_);
  layout->addLayout(progressRow);
  status_ = new QLabel;
  status_->setWordWrap(true);
  layout->addWidget(status_);
  auto* buttons = new QHBoxLayout;
  open_ = new QPushButton(tr("開く"));
  remove_ = new QPushButton(tr("削除..."));
  add_ = new QPushButton(tr("路線を追加..."));
  auto* close = new QPushButton(tr("閉じる"));
  buttons->addWidget(open_);
  buttons->addWidget(remove_);
  buttons->addStretch(1);
  buttons->addWidget(add_);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  connect(open_, &QPushButton::clicked, this, &LibraryWindow::openChosen);
  connect(remove_, &QPushButton::clicked, this, &LibraryWindow::removeChosen);
  connect(add_, &QPushButton::clicked, this, &LibraryWindow::addLine);
  connect(cancel_, &QPushButton::clicked, this, &LibraryWindow::cancelInstall);
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  connect(list_, &QListWidget::itemDoubleClicked, this, &LibraryWindow::openChosen);
  connect(list_, &QListWidget::currentRowChanged, this, &LibraryWindow::updateButtons);
  refresh();
}

LibraryWindow::~LibraryWindow() {
  if (worker_ != nullptr) {
    cancelFlag_ = true;
    worker_->wait();
    delete worker_;
  }
}

void LibraryWindow::refresh() {
  const std::string chosen = chosenId();
  if (context_.dataFolder) {
    folder_->setText(tr("開いているデータフォルダ: %1").arg(qs(context_.dataFolder().string())));
  }
  list_->clear();
  for (const library::InstalledLine& line : library_.lines()) {
    const library::Manifest& m = line.manifest;
    double length = 0;
    std::size_t stations = 0;
    QStringList trains;
    for (const library::ManifestLine& l : m.lines) {
      length = std::max(length, l.lengthM);
      stations = std::max(stations, l.stations.size());
      for (const library::ManifestTrain& t : l.trains) {
        if (!trains.contains(qs(t.name))) trains << qs(t.name);
      }
    }
    const QString best = context_.bestOf ? context_.bestOf(line) : QString();
    QString text = tr("%1　（版 %2）").arg(qs(m.name), qs(m.version));
    text += "\n" + tr("%1 km・%2 駅・%3")
                       .arg(QString::number(length / 1000.0, 'f', 1))
                       .arg(stations)
                       .arg(trains.join(tr("、")));
    text += "\n" + (best.isEmpty() ? tr("記録なし") : best);
    if (!m.author.empty()) text += "　" + tr("作者: %1").arg(qs(m.author));
    auto* item = new QListWidgetItem(QIcon(thumbnailOf(line)), text);
    item->setData(kIdRole, qs(m.id));
    item->setToolTip(qs(line.folder.string()));
    list_->addItem(item);
  }
  if (list_->count() == 0) {
    auto* item =
        new QListWidgetItem(tr("インストールされた路線はありません。路線を追加... で"
                               "パッケージ（.dravolin）を追加できます。"));
    item->setFlags(Qt::NoItemFlags);
    list_->addItem(item);
  }
  choose(chosen);
  updateButtons();
}

std::string LibraryWindow::chosenId() const {
  const QListWidgetItem* item = list_->currentItem();
  return item != nullptr ? item->data(kIdRole).toString().toStdString() : std::string();
}

void LibraryWindow::choose(const std::string& id) {
  for (int i = 0; i < list_->count(); ++i) {
    if (!id.empty() && list_->item(i)->data(kIdRole).toString().toStdString() == id) {
      list_->setCurrentRow(i);
      return;
    }
  }
  if (list_->count() > 0 && (list_->item(0)->flags() & Qt::ItemIsEnabled)) list_->setCurrentRow(0);
}

void LibraryWindow::updateButtons() {
  const bool chosen = !chosenId().empty();
  open_->setEnabled(chosen && worker_ == nullptr);
  remove_->setEnabled(chosen && worker_ == nullptr);
  add_->setEnabled(worker_ == nullptr);
}

void LibraryWindow::openChosen() {
  const std::optional<library::InstalledLine> line = library_.find(chosenId());
  if (!line || !context_.open) return;
  if (context_.open(line->folder)) hide();
}

void LibraryWindow::removeChosen() {
  const std::optional<library::InstalledLine> line = library_.find(chosenId());
  if (!line) return;
  if (!context_.ask(this,
                    tr("「%1」（版 %2）を削除しますか？\n%3 を削除します。運転の記録は残ります。")
                        .arg(qs(line->manifest.name), qs(line->manifest.version),
                             qs(line->folder.string())))) {
    return;
  }
  try {
    library_.remove(line->manifest.id);
    status_->setText(qs(msg::lineRemoved(line->manifest.name, line->manifest.id).text()));
  } catch (const library::PackageError& e) {
    status_->setText(qs(e.text()));
  }
  refresh();
}

void LibraryWindow::addLine() {
  const QString file = context_.choosePackage(this);
  if (!file.isEmpty()) install(file.toStdString());
}

bool LibraryWindow::install(const std::filesystem::path& package) {
  if (worker_ != nullptr) return false;
  // The manifest first, here: a package older than the line installed asks before anything is
  // unpacked. The worker checks the whole package again before it places anything.
  bool replaceOlder = false;
  try {
    const library::PackageReader reader(package);
    const library::Manifest& offered = reader.manifest();
    if (const auto installed = library_.find(offered.id);
        installed && library::compareVersions(offered.version, installed->manifest.version) < 0) {
      replaceOlder = context_.ask(
          this, qs(msg::packageOlderAsk(offered.name, installed->manifest.version, offered.version)
                       .text()));
      if (!replaceOlder) {
        status_->setText(
            qs(msg::packageOlderRefused(offered.name, installed->manifest.version, offered.version)
                   .text()));
        Q_EMIT installFinished(false);
        return true;
      }
    }
  } catch (const library::PackageError& e) {
    status_->setText(qs(e.text()));
    Q_EMIT installFinished(false);
    return true;
  }
  show();
  raise();
  cancelFlag_ = false;
  result_ = std::make_shared<Result>();
  progress_->setValue(0);
  progress_->setVisible(true);
  cancel_->setVisible(true);
  status_->setText(tr("インストールしています: %1").arg(qs(package.filename().string())));
  library::Progress progress;
  progress.cancel = &cancelFlag_;
  std::weak_ptr<Result> weak = result_;
  QPointer<LibraryWindow> self(this);
  progress.report = [weak, self](const msg::Message& stage, std::uint64_t done,
                                 std::uint64_t total) {
    const std::shared_ptr<Result> r = weak.lock();
    if (!r) return;
    {
      const std::lock_guard<std::mutex> lock(r->mutex);
      r->share = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
      r->stage = qs(stage.text());
    }
    QMetaObject::invokeMethod(
        self.data(),
        [self, r] {
          if (self == nullptr) return;
          const std::lock_guard<std::mutex> lock(r->mutex);
          self->progress_->setValue(static_cast<int>(std::lround(r->share * 1000)));
        },
        Qt::QueuedConnection);
  };
  worker_ = QThread::create([this, package, replaceOlder, progress, r = result_] {
    try {
      library::InstallOutcome outcome = library_.install(
          package, [replaceOlder](const auto&, const auto&) { return replaceOlder; }, progress);
      const std::lock_guard<std::mutex> lock(r->mutex);
      r->outcome = std::move(outcome);
    } catch (const library::PackageError& e) {
      const std::lock_guard<std::mutex> lock(r->mutex);
      r->error = qs(e.text());
    } catch (const std::exception& e) {
      const std::lock_guard<std::mutex> lock(r->mutex);
      r->error = QString::fromUtf8(e.what());
    }
  });
  connect(worker_, &QThread::finished, this, &LibraryWindow::finishInstall);
  worker_->start();
  updateButtons();
  return true;
}

void LibraryWindow::cancelInstall() { cancelFlag_ = true; }

void LibraryWindow::finishInstall() {
  if (worker_ == nullptr) return;
  worker_->wait();
  worker_->deleteLater();
  worker_ = nullptr;
  progress_->setVisible(false);
  cancel_->setVisible(false);
  bool installed = false;
  std::string id;
  {
    const std::lock_guard<std::mutex> lock(result_->mutex);
    if (result_->outcome) {
      status_->setText(qs(result_->outcome->message().text()));
      installed = result_->outcome->result == library::InstallResult::Installed ||
                  result_->outcome->result == library::InstallResult::Updated;
      id = result_->outcome->manifest.id;
    } else {
      status_->setText(result_->error);
    }
  }
  refresh();
  if (!id.empty()) choose(id);
  updateButtons();
  Q_EMIT installFinished(installed);
}

}  // namespace dravolin::shell
