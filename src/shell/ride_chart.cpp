#include "shell/ride_chart.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace dravolin::shell {

namespace {

constexpr int kLeft = 56;  // room for the scale
constexpr int kRight = 12;
constexpr int kTop = 18;     // room for the panel's title
constexpr int kBottom = 22;  // room for the time scale
constexpr int kGap = 28;

const QColor kStand(200, 220, 255);
const QColor kSpeed(20, 90, 190);
const QColor kMotion(200, 90, 20);

QString clock(double s) {
  const int whole = static_cast<int>(std::floor(std::max(0.0, s)));
  return QString("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QChar('0'));
}

// A step for the scale giving about `count` ticks over `range`.
double niceStep(double range, int count) {
  const double raw = range / std::max(1, count);
  const double power = std::pow(10.0, std::floor(std::log10(std::max(raw, 1e-9))));
  for (const double m : {1.0, 2.0, 5.0, 10.0}) {
    if (raw <= m * power) return m * power;
  }
  return 10 * power;
}

}  // namespace

RideChart::RideChart(QWidget* parent) : QWidget(parent) {
  setMinimumSize(480, 220);
  setMouseTracking(false);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void RideChart::show(const author::RideMeasurements* ride, const author::LineDraft* draft) {
  ride_ = ride;
  draft_ = draft;
  duration_ = ride != nullptr ? std::max(1.0, ride->picture.durationS()) : 1.0;
  update();
}

void RideChart::setCursorTime(double t) {
  cursor_ = std::clamp(t, 0.0, duration_);
  update();
}

QRectF RideChart::plotArea(int panel) const {
  const double h = (height() - kTop - kBottom - kGap) / 2.0;
  const double top = kTop + panel * (h + kGap);
  return {static_cast<double>(kLeft), top, static_cast<double>(width() - kLeft - kRight), h};
}

double RideChart::xAtTime(double t) const {
  const QRectF a = plotArea(0);
  return a.left() + a.width() * t / duration_;
}

double RideChart::timeAtX(double x) const {
  const QRectF a = plotArea(0);
  return std::clamp((x - a.left()) / a.width(), 0.0, 1.0) * duration_;
}

void RideChart::moveCursorTo(double x) {
  setCursorTime(timeAtX(x));
  Q_EMIT cursorMoved(cursor_);
}

void RideChart::mousePressEvent(QMouseEvent* event) { moveCursorTo(event->position().x()); }

void RideChart::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) moveCursorTo(event->position().x());
}

void RideChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().base());
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF speedArea = plotArea(0), motionArea = plotArea(1);
  QFont small = font();
  small.setPixelSize(11);
  p.setFont(small);
  p.setPen(palette().text().color());
  for (const QRectF& a : {speedArea, motionArea}) p.drawRect(a);
  const auto title = [&p](const QRectF& a, const QString& text) {
    p.setPen(QColor(90, 90, 90));
    p.drawText(QRectF(a.left(), a.top() - 16, a.width(), 15), Qt::AlignLeft | Qt::AlignBottom,
               text);
  };
  if (ride_ == nullptr) {
    title(speedArea, "GPS 記録の速度 (km/h)");
    title(motionArea, "画面の動き");
    return;
  }
  const author::PictureMotion& pic = ride_->picture;
  const double offset = draft_ != nullptr ? draft_->sync.offsetS : 0;

  // The stands of the picture and the dropouts of the track, under everything.
  for (const author::PictureStand& s : ride_->pictureAnalysis.stands) {
    const double a = xAtTime(s.from), b = xAtTime(s.to);
    for (const QRectF& r : {speedArea, motionArea}) {
      p.fillRect(QRectF(a, r.top(), std::max(1.0, b - a), r.height()), kStand);
    }
  }
  for (const author::Span& g : ride_->profile.gaps) {
    const double a = xAtTime(g.from - offset), b = xAtTime(g.to - offset);
    p.fillRect(QRectF(a, speedArea.top(), std::max(1.0, b - a), speedArea.height()),
               QBrush(QColor(150, 150, 150), Qt::BDiagPattern));
  }

  // The track's speed at the offset.
  const author::TrackProfile& track = ride_->profile;
  double top = 10;
  for (const double v : track.speedMps) top = std::max(top, v * 3.6 * 1.1);
  const double step = niceStep(top, 4);
  for (double v = 0; v <= top; v += step) {
    const double y = speedArea.bottom() - speedArea.height() * v / top;
    p.setPen(QColor(225, 225, 225));
    p.drawLine(QPointF(speedArea.left(), y), QPointF(speedArea.right(), y));
    p.setPen(palette().text().color());
    p.drawText(QRectF(0, y - 7, kLeft - 6, 14), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(v));
  }
  p.save();
  p.setClipRect(speedArea);
  QPainterPath speed;
  bool started = false;
  for (std::size_t i = 0; i < track.timeS.size(); ++i) {
    const QPointF q(xAtTime(track.timeS[i] - offset),
                    speedArea.bottom() - speedArea.height() * track.speedMps[i] * 3.6 / top);
    const bool gap = i > 0 && track.timeS[i] - track.timeS[i - 1] >= author::kGapS;
    if (!started || gap) {
      speed.moveTo(q);
    } else {
      speed.lineTo(q);
    }
    started = true;
  }
  p.setPen(QPen(kSpeed, 1.5));
  p.drawPath(speed);
  p.restore();

  // The picture's motion, its scale up to where nearly every frame stays below.
  std::vector<float> sorted(pic.motion);
  double high = 1;
  if (!sorted.empty()) {
    const auto k = static_cast<std::ptrdiff_t>(sorted.size() * 98 / 100);
    std::nth_element(sorted.begin(), sorted.begin() + k, sorted.end());
    high = std::max(1.0, 1.2 * sorted[static_cast<std::size_t>(k)]);
  }
  p.save();
  p.setClipRect(motionArea);
  const double threshold = ride_->pictureAnalysis.threshold;
  const double ty = motionArea.bottom() - motionArea.height() * threshold / high;
  p.setPen(QPen(QColor(160, 160, 160), 1, Qt::DashLine));
  p.drawLine(QPointF(motionArea.left(), ty), QPointF(motionArea.right(), ty));
  // One vertical stroke per pixel column: the highest motion of its frames.
  p.setPen(QPen(kMotion, 1));
  const int columns = static_cast<int>(motionArea.width());
  std::vector<float> column(static_cast<std::size_t>(std::max(1, columns)), -1.0f);
  for (std::size_t i = 0; i < pic.motion.size(); ++i) {
    const int c = static_cast<int>(xAtTime(pic.timeS[i]) - motionArea.left());
    if (c < 0 || c >= columns) continue;
    column[static_cast<std::size_t>(c)] =
        std::max(column[static_cast<std::size_t>(c)], pic.motion[i]);
  }
  for (int c = 0; c < columns; ++c) {
    const float m = column[static_cast<std::size_t>(c)];
    if (m < 0) continue;
    const double x = motionArea.left() + c + 0.5;
    p.drawLine(
        QPointF(x, motionArea.bottom()),
        QPointF(x, motionArea.bottom() - motionArea.height() * std::min<double>(m, high) / high));
  }
  p.restore();

  // Station names over their stands.
  if (draft_ != nullptr) {
    p.setPen(palette().text().color());
    for (const author::DraftStation& s : draft_->stations) {
      const double t = draft_->frameTimeS[static_cast<std::size_t>(s.arriveFrame)];
      const QString name = QString::fromStdString(s.name) + (s.type == 1 ? " (通過)" : "");
      p.drawText(QPointF(xAtTime(t) + 3, speedArea.top() + 13), name);
    }
  }

  title(speedArea, "GPS 記録の速度 (km/h)");
  title(motionArea, "画面の動き（破線より下は停車）");

  // The time scale and the cursor.
  p.setPen(palette().text().color());
  const double tick = niceStep(duration_, 8);
  for (double t = 0; t <= duration_; t += tick) {
    const double x = xAtTime(t);
    p.drawLine(QPointF(x, motionArea.bottom()), QPointF(x, motionArea.bottom() + 4));
    p.drawText(QRectF(x - 30, motionArea.bottom() + 5, 60, 14), Qt::AlignHCenter, clock(t));
  }
  const double cx = xAtTime(cursor_);
  p.setPen(QPen(QColor(220, 30, 30), 1.5));
  p.drawLine(QPointF(cx, speedArea.top()), QPointF(cx, motionArea.bottom()));
}

}  // namespace dravolin::shell
