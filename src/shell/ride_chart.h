// The line maker's chart of a ride against the video's time: above, the track's speed at the
// chosen offset; below, how much the picture moves from frame to frame. The stands the picture
// shows are shaded in both, the stations named, the dropouts hatched, and a vertical line marks
// the time under the cursor (a click or a drag moves it).
#pragma once

#include <QWidget>

#include "author/line_draft.h"

namespace dravolin::shell {

class RideChart final : public QWidget {
  Q_OBJECT

 public:
  explicit RideChart(QWidget* parent = nullptr);

  // What to draw; both may be null (an empty chart). They must outlive their use here.
  void show(const author::RideMeasurements* ride, const author::LineDraft* draft);
  void setCursorTime(double videoTimeS);
  double cursorTime() const { return cursor_; }

  QSize sizeHint() const override { return {720, 300}; }

 Q_SIGNALS:
  void cursorMoved(double videoTimeS);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QRectF plotArea(int panel) const;  // 0 speed, 1 motion
  double timeAtX(double x) const;
  double xAtTime(double t) const;
  void moveCursorTo(double x);

  const author::RideMeasurements* ride_ = nullptr;
  const author::LineDraft* draft_ = nullptr;
  double cursor_ = 0;
  double duration_ = 1;
};

}  // namespace dravolin::shell
