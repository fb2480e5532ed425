#include "platform/cab_view_surface.h"

#include <QPainter>
#include <cstring>
#include <utility>

namespace dravolin::platform {

namespace {

constexpr QRgb kBlack = 0xFF000000;

// An off-screen image of the Qt surface: a QImage in the layout of Bitmap (0xAARRGGBB rows,
// top-down), drawn as opaque RGB.
class QtOffscreenImage final : public OffscreenImage {
 public:
  void load(const Bitmap& bitmap) override {
    if (shared_ != nullptr) {
      image_ = QImage();  // lets go of the shared pixels before they are
      shared_.reset();
    }
    if (!complete(bitmap)) {
      image_ = QImage();
      return;
    }
    if (image_.width() != bitmap.width || image_.height() != bitmap.height) {
      image_ = QImage(bitmap.width, bitmap.height, QImage::Format_RGB32);
    }
    const std::size_t rowBytes = static_cast<std::size_t>(bitmap.width) * sizeof(std::uint32_t);
    for (int y = 0; y < bitmap.height; ++y) {
      std::memcpy(image_.scanLine(y), &bitmap.pixels[static_cast<std::size_t>(y) * bitmap.width],
                  rowBytes);
    }
  }
  // The bitmap's own pixels, read only, held until the next load: no copy.
  void loadShared(std::shared_ptr<const Bitmap> bitmap) override {
    if (bitmap == nullptr || !complete(*bitmap)) {
      shared_.reset();
      image_ = QImage();
      return;
    }
    image_ =
        QImage(reinterpret_cast<const uchar*>(bitmap->pixels.data()), bitmap->width, bitmap->height,
               bitmap->width * static_cast<int>(sizeof(std::uint32_t)), QImage::Format_RGB32);
    shared_ = std::move(bitmap);
  }
  int width() const override { return image_.width(); }
  int height() const override { return image_.height(); }

  const QImage& image() const { return image_; }

 private:
  static bool complete(const Bitmap& bitmap) {
    const std::size_t count = bitmap.empty() ? 0
                                             : static_cast<std::size_t>(bitmap.width) *
                                                   static_cast<std::size_t>(bitmap.height);
    return count > 0 && bitmap.pixels.size() >= count;
  }

  QImage image_;
  std::shared_ptr<const Bitmap> shared_;  // what image_ shows, when it was loaded shared
};

}  // namespace

CabViewSurface::CabViewSurface(QWidget* parent)
    : QWidget(parent),
      back_(kWidth, kHeight, QImage::Format_RGB32),
      front_(kWidth, kHeight, QImage::Format_RGB32),
      pixelSize_(kWidth, kHeight) {
  back_.fill(kBlack);
  front_.fill(kBlack);
  setFixedSize(kWidth, kHeight);  // hidden: the cab widget paints the front buffer
  // The widget paints every pixel itself; no background erase between frames.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
}

CabViewSurface::~CabViewSurface() { finalise(); }

void CabViewSurface::setInitialiseHandler(std::function<void()> handler) {
  onInitialise_ = std::move(handler);
  if (initialised_ && onInitialise_) {
    onInitialise_();
  }
}

void CabViewSurface::setFinaliseHandler(std::function<void()> handler) {
  onFinalise_ = std::move(handler);
}

std::unique_ptr<OffscreenImage> CabViewSurface::createImage() {
  return std::make_unique<QtOffscreenImage>();
}

bool CabViewSurface::canDraw() const { return initialised_ && !back_.isNull(); }

void CabViewSurface::setPixelSize(int width, int height) {
  if (width > 0 && height > 0) pixelSize_ = QSize(width, height);
}

void CabViewSurface::fillBackBuffer() {
  if (back_.size() != pixelSize_) back_ = QImage(pixelSize_, QImage::Format_RGB32);
  // The black is laid down by the next drawing unless that covers the whole buffer opaquely
  // (a line video picture of the view's size), or by present() when nothing is drawn.
  fillPending_ = true;
}

void CabViewSurface::fillIfPending(const QRect& opaque) {
  if (!fillPending_) return;
  fillPending_ = false;
  if (!opaque.contains(back_.rect())) back_.fill(kBlack);
}

void CabViewSurface::drawImage(const OffscreenImage& image, int x, int y, double opacity) {
  const auto* own = dynamic_cast<const QtOffscreenImage*>(&image);
  if (own == nullptr || own->image().isNull() || opacity <= 0) {
    return;
  }
  fillIfPending(opacity >= 1 ? QRect(QPoint(x, y), own->image().size()) : QRect());
  QPainter painter(&back_);
  if (opacity >= 1) {
    painter.setCompositionMode(QPainter::CompositionMode_Source);
  } else {
    painter.setOpacity(opacity);
  }
  painter.drawImage(QPoint(x, y), own->image());  // QPainter clips to the buffer
}

void CabViewSurface::drawImageScaled(const OffscreenImage& image, const VideoPlacement& at) {
  const auto* own = dynamic_cast<const QtOffscreenImage*>(&image);
  if (own == nullptr || own->image().isNull() || at.width <= 0 || at.height <= 0) {
    return;
  }
  fillIfPending(QRect());
  QPainter painter(&back_);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, !at.byWholePixels);
  painter.drawImage(QRect(at.x, at.y, at.width, at.height), own->image(),
                    QRect(0, at.cropTop, own->image().width(), at.cropHeight));
}

void CabViewSurface::present() {
  fillIfPending(QRect());
  std::swap(back_, front_);
  update();
}

void CabViewSurface::initialise() {
  if (initialised_) {
    return;
  }
  initialised_ = true;
  if (onInitialise_) {
    onInitialise_();
  }
}

void CabViewSurface::finalise() {
  if (!initialised_) {
    return;
  }
  if (onFinalise_) {
    onFinalise_();
  }
  initialised_ = false;
}

void CabViewSurface::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.drawImage(QPoint(0, 0), front_);
}

void CabViewSurface::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  initialise();
}

}  // namespace dravolin::platform
