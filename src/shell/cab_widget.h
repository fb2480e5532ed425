// The driving window's cab: one widget that paints the line video, the panel, the lamps, the
// turned needles, the notch and gear pictures, the trackside indications, the labels, the analog
// clock and the timetable card, all from the cab model. It repaints only the parts that changed
// since the last look at the model.
//
// Every coordinate is in the model's 640 x 440 pixels; the widget shows them `scale` times as
// large (1 to 4), pictures enlarged without blur. The line video's picture comes at the size it
// is shown (480 x 240 times the scale) and is drawn as it is.
#pragma once

#include <QImage>
#include <QWidget>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/bitmap.h"
#include "sim/cab_model.h"

namespace dravolin::shell {

class CabWidget final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 640;   // px of the model
  static constexpr int kHeight = 440;  // px of the model

  explicit CabWidget(int scale = 1, QWidget* parent = nullptr);

  // The model drawn; null draws black. Not owned.
  void setModel(const sim::CabModel* model);
  // The picture of the cab-view surface (its front buffer, 480 x 240 times the scale in the
  // screen's pixels); null draws black. Not owned.
  void setVideo(const QImage* front);

  // Repaints what changed in the model since the last call.
  void modelChanged();
  // Repaints the video area after the surface presented a frame.
  void videoPresented();

  int scale() const { return scale_; }
  // Shows the cab `scale` times as large from now on (full screen changes it).
  void setScale(int scale);
  // Where a label of the model is placed, in model pixels.
  static QRect labelRect(const sim::CabModel& m, const sim::CabLabel& label);
  // Number of repaint requests made by modelChanged() and videoPresented() so far.
  long repaintRequests() const { return repaintRequests_; }
  // What the last paint drew, in the order drawn (later ones on top): the model's names of the
  // pictures, needles and labels, "clock", and "Others[i]" for the i-th "[Others]" picture.
  std::vector<std::string> paintOrder() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // What one element looked like when it was drawn last.
  struct Drawn {
    QRect rect;
    bool visible = false;
    int image = 0;
    const void* bits = nullptr;
    std::string text;
    bool operator==(const Drawn&) const = default;
  };
  std::vector<Drawn> snapshot() const;
  const QImage& imageOf(const platform::Bitmap& bitmap, bool transparent);
  // Each draws its item and says whether anything was drawn.
  bool drawPicture(QPainter& p, const sim::CabPicture& pic, const sim::CabImageList* list);
  bool drawNeedle(QPainter& p, const sim::CabNeedle& needle);
  bool drawClock(QPainter& p, const sim::CabClock& clock);
  bool drawLabel(QPainter& p, const sim::CabLabel& label, const QRect& rect, Qt::Alignment align);
  void requestRepaint(const QRect& modelRect);

  int scale_;
  const sim::CabModel* model_ = nullptr;
  const QImage* video_ = nullptr;
  std::vector<Drawn> drawn_;
  // Pictures as Qt images, by the address of their pixels (the model's bitmaps do not change
  // while a drive runs) and whether the transparent colour is left out.
  std::unordered_map<const void*, QImage> opaque_;
  std::unordered_map<const void*, QImage> keyed_;
  long repaintRequests_ = 0;
  // One item drawn by the last paint: its name and, for an "[Others]" picture, its index.
  struct Painted {
    const char* name;
    int index;
  };
  std::vector<Painted> painted_;
};

}  // namespace dravolin::shell
