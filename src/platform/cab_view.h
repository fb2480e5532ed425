// The cab-view surface (`unten`): the 480 x 240 picture of the line in the driving window, drawn
// through an off-screen image into a back buffer and shown in one step.
//
// The owner's initialise handler (`DDRinit`) creates the off-screen image with createImage(); its
// finalise handler (`DDRfin`) frees it. Every drawing goes: load the bitmap into the off-screen
// image, and only if the surface can draw, fill the back buffer black, draw the image at (0, 0)
// and present. Used only from the user-interface thread.
#pragma once

#include <functional>
#include <memory>

#include "platform/bitmap.h"

namespace dravolin::platform {

// An image held by the surface's drawing device; it takes the size of the bitmap loaded into it.
class OffscreenImage {
 public:
  virtual ~OffscreenImage() = default;
  // Resizes the image to the bitmap and copies its pixels. An empty bitmap, or one whose pixel
  // vector is shorter than width x height, leaves an empty image (which draws nothing).
  virtual void load(const Bitmap& bitmap) = 0;
  // Size in pixels of what was loaded last; 0 x 0 while empty.
  virtual int width() const = 0;
  virtual int height() const = 0;
};

class CabView {
 public:
  static constexpr int kWidth = 480;   // pixels
  static constexpr int kHeight = 240;  // pixels

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
  // Fills the whole back buffer with colour 0 (black).
  virtual void fillBackBuffer() = 0;
  // Copies the image into the back buffer at (0, 0), opaque, clipped to 480 x 240.
  virtual void drawImage(const OffscreenImage& image) = 0;
  // Shows the back buffer in one step (page flip); the old front buffer becomes the back buffer.
  virtual void present() = 0;
};

// The shared step "present bitmap": loads the bitmap into the off-screen image, then, only if the
// surface can draw, fills the back buffer black, draws the image and presents. A bitmap smaller
// than the surface shows in the top-left corner on black; a larger one is clipped. Returns
// whether the picture was presented.
inline bool presentBitmap(CabView& surface, OffscreenImage& image, const Bitmap& bitmap) {
  image.load(bitmap);
  if (!surface.canDraw()) {
    return false;
  }
  surface.fillBackBuffer();
  surface.drawImage(image);
  surface.present();
  return true;
}

}  // namespace dravolin::platform
