#include "shell/frame_preview.h"

#include <QImage>
#include <QPixmap>

namespace dravolin::shell {

FramePreview::FramePreview(platform::FootageService& footage, QSize size, QWidget* parent)
    : QLabel(parent), footage_(footage), size_(size) {
  setFixedSize(size);
  setAlignment(Qt::AlignCenter);
  setStyleSheet("background: black; color: #aaa;");
  thread_ = std::thread([this] { run(); });
}

FramePreview::~FramePreview() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void FramePreview::request(const std::string& path, double timeS) {
  if (path.empty()) {
    clear();
    shownTime_ = -1;
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    wanted_ = std::make_pair(path, timeS);
  }
  wake_.notify_one();
}

void FramePreview::run() {
  for (;;) {
    std::pair<std::string, double> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || wanted_.has_value(); });
      if (stopping_) return;
      job = *wanted_;
      wanted_.reset();
    }
    QImage image;
    try {
      const platform::Bitmap b =
          footage_.frameAt(job.first, job.second, size_.width(), size_.height());
      image = QImage(reinterpret_cast<const uchar*>(b.pixels.data()), b.width, b.height,
                     b.width * 4, QImage::Format_RGB32)
                  .copy();
    } catch (const platform::FootageError&) {
      // A frame that cannot be had leaves the preview empty.
    }
    const double t = job.second;
    QMetaObject::invokeMethod(
        this,
        [this, image, t] {
          setPixmap(QPixmap::fromImage(image));
          shownTime_ = t;
          Q_EMIT frameShown(t);
        },
        Qt::QueuedConnection);
  }
}

}  // namespace dravolin::shell
