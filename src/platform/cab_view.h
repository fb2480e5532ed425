// The cab-view surface (`unten`): the picture of the line in the driving window, drawn through
// off-screen images into a back buffer and shown in one step. Its buffers have the pixels the
// screen shows: 480 x 240 times the factor the cab is shown at, so that a picture drawn into
// them is never enlarged again.
//
// The owner's initialise handler (`DDRinit`) creates the off-screen images with createImage();
// its finalise handler (`DDRfin`) frees them. Every drawing goes: load the bitmaps into the
// off-screen images, and only if the surface can draw, fill the back buffer black, draw the
// images and present. Used only from the user-interface thread.
#pragma once

#include <functional>
#include <memory>

#include "platform/bitmap.h"
#include "platform/video_view.h"

namespace dravolin::platform {

// An image held by the surface's drawing device; it takes the size of the bitmap loaded into it.
class OffscreenImage {
 public:
  virtual ~OffscreenImage() = default;
  // Resizes the image to the bitmap and copies its pixels. An empty bitmap, or one whose pixel
  // vector is shorter than width x height, leaves an empty image (which draws nothing).
  virtual void load(const Bitmap& bitmap) = 0;
  // As load(), but the image may show the bitmap's own pixels instead of a copy of them: it then
  // holds `bitmap` until the next load, and the bitmap must not change meanwhile. By default a
  // copy, as load() makes.
  virtual void loadShared(std::shared_ptr<const Bitmap> bitmap) {
    if (bitmap != nullptr) load(*bitmap);
  }
  // Size in pixels of what was loaded last; 0 x 0 while empty.
  virtual int width() const = 0;
  virtual int height() const = 0;
};

class CabView {
 public:
  static constexpr int kWidth = 480;   // pixels of the cab's model
  static constexpr int kHeight = 240;  // pixels of the cab's model

  virtual ~CabView() = default;

  // Initialise event: fires once when the surface becomes usable. A handler set while the surface
  // is already usable is called at once, so the owner never misses it.
  virtual void setInitialiseHandler(std::function<void()> handler) = 0;
  // Finalise event: fires before the surface goes away (or stops being usable).
  virtual void setFinaliseHandler(std::function<void()> handler) = 0;

  // A new, empty off-screen image on this surface's device. Only images made by this surface can
  // be drawn on it.
  virtual std::unique_ptr<OffscreenImage> createImage() = 0;
  // True only while the surface is initialised and its buffers are valid.
  virtual bool canDraw() const = 0;
  // The size of the buffers in screen pixels (480 x 240 to start with). A new size takes effect
  // with the next fill of the back buffer; the screen keeps its picture until the next present.
  virtual void setPixelSize(int width, int height) = 0;
  // Fills the whole back buffer with colour 0 (black).
  virtual void fillBackBuffer() = 0;
  // Copies the image into the back buffer with its top-left pixel at (x, y), clipped to the
  // buffer: opaque at `opacity` 1, laid over what is there by that share below 1.
  virtual void drawImage(const OffscreenImage& image, int x, int y, double opacity = 1.0) = 0;
  // Draws the rows the placement shows of the image, scaled to its rectangle: by whole pixels
  // or smoothed, as it says.
  virtual void drawImageScaled(const OffscreenImage& image, const VideoPlacement& at) = 0;
  // Shows the back buffer in one step (page flip); the old front buffer becomes the back buffer.
  virtual void present() = 0;
};

// The shared step "present bitmap": loads the bitmap into the off-screen image, then, only if the
// surface can draw, fills the back buffer black, draws the image at (0, 0) and presents. Returns
// whether the picture was presented.
inline bool presentBitmap(CabView& surface, OffscreenImage& image, const Bitmap& bitmap) {
  image.load(bitmap);
  if (!surface.canDraw()) {
    return false;
  }
  surface.fillBackBuffer();
  surface.drawImage(image, 0, 0);
  surface.present();
  return true;
}

}  // namespace dravolin::platform
