// The cab-view surface as a Qt widget: a widget with a back and a front buffer of the screen's
// pixels (480 x 240 to start with). present() swaps them and schedules a repaint; the widget
// always paints its front buffer.
//
// Lifecycle: the initialise event fires the first time the widget is shown (or when initialise()
// is called). The finalise event fires from finalise() and, at the latest, from the destructor;
// an owner whose finalise handler touches its own members calls finalise() before it destroys
// them. After finalise() the surface cannot draw until it is initialised again (initialise(), or
// the next time it is shown).
#pragma once

#include <QImage>
#include <QWidget>

#include "platform/cab_view.h"

namespace dravolin::platform {

class CabViewSurface final : public QWidget, public CabView {
  Q_OBJECT

 public:
  explicit CabViewSurface(QWidget* parent = nullptr);
  ~CabViewSurface() override;

  void setInitialiseHandler(std::function<void()> handler) override;
  void setFinaliseHandler(std::function<void()> handler) override;
  std::unique_ptr<OffscreenImage> createImage() override;
  bool canDraw() const override;
  void setPixelSize(int width, int height) override;
  void fillBackBuffer() override;
  void drawImage(const OffscreenImage& image, int x, int y, double opacity = 1.0) override;
  void drawImageScaled(const OffscreenImage& image, const VideoPlacement& at) override;
  void present() override;

  // Makes the surface usable and fires the initialise event; nothing when already initialised.
  void initialise();
  // Fires the finalise event and makes the surface unusable; nothing when not initialised.
  void finalise();

  // What the screen shows now (the front buffer), at the pixel size it was drawn at.
  const QImage& frontBuffer() const { return front_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Lays down the black of a fillBackBuffer() not yet done, unless `opaque` (the rectangle the
  // drawing about to be made covers opaquely) covers the whole back buffer.
  void fillIfPending(const QRect& opaque);

  QImage back_;
  QImage front_;
  QSize pixelSize_;
  bool initialised_ = false;
  bool fillPending_ = false;
  std::function<void()> onInitialise_;
  std::function<void()> onFinalise_;
};

}  // namespace dravolin::platform
