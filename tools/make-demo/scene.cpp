#include "tools/make-demo/scene.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "tools/make-demo/demo.h"

namespace dravolin::demo {

namespace {

constexpr double kFocal = 300;    // pixels
constexpr double kCentreX = 240;  // screen centre
constexpr double kHorizon = 92;   // horizon row on the level
constexpr double kEye = 2.7;      // metres above the rail
constexpr double kNear = 3.5, kFar = 900;
constexpr double kOther = 3.8;  // the other track, to the right
const QColor kHaze(196, 214, 228);

// A small fixed-seed generator: the scenery is the same on every run and every machine.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed) {}
  double next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return (state_ & 0xFFFFFF) / double(0x1000000);
  }
  double range(double a, double b) { return a + (b - a) * next(); }

 private:
  std::uint32_t state_;
};

QColor mix(const QColor& a, const QColor& b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t,
                          a.greenF() + (b.greenF() - a.greenF()) * t,
                          a.blueF() + (b.blueF() - a.blueF()) * t);
}

QColor hazed(const QColor& c, double z) { return mix(c, kHaze, (z - 60) / 900); }

QFont boardFont(int px) {
  QFont f("Noto Sans CJK JP");
  f.setPixelSize(px);
  f.setBold(true);
  return f;
}

QImage board(int w, int h, const QString& text, const QColor& bg, const QColor& fg, int px) {
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(QPen(QColor(40, 40, 40), 3));
  p.setBrush(bg);
  p.drawRect(QRectF(1.5, 1.5, w - 3, h - 3));
  p.setPen(fg);
  p.setFont(boardFont(px));
  p.drawText(QRect(0, 0, w, h), Qt::AlignCenter, text);
  return img;
}

// A hill line for the panorama: sums of sines, the same every run.
QImage hills(int width, int height, const QColor& colour, double amplitude, double base, int seed) {
  QImage img(width, height, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QPolygonF poly;
  poly << QPointF(0, height);
  for (int x = 0; x <= width; x += 4) {
    const double t = 2 * M_PI * x / width;
    const double y =
        base - amplitude * (0.55 * std::sin(3 * t + seed) + 0.3 * std::sin(7 * t + 2 * seed) +
                            0.15 * std::sin(17 * t + 3 * seed));
    poly << QPointF(x, y);
  }
  poly << QPointF(width, height);
  QLinearGradient g(0, base - amplitude, 0, height);
  g.setColorAt(0, colour.lighter(115));
  g.setColorAt(1, colour);
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawPolygon(poly);
  return img;
}

}  // namespace

int Scene::addBoard(const QImage& b) {
  boards_.push_back(b);
  return static_cast<int>(boards_.size()) - 1;
}

Scene::Scene(const Plan& plan) : plan_(plan) {
  const int n = static_cast<int>(plan.lengthM()) + static_cast<int>(kFar) + 4;
  heading_.assign(n, 0);
  lateral_.assign(n, 0);
  height_.assign(n, 0);
  for (int i = 1; i < n; ++i) {
    heading_[i] = heading_[i - 1] + plan.curvatureAt(i - 0.5);
    lateral_[i] = lateral_[i - 1] + (heading_[i] + heading_[i - 1]) / 2;
    height_[i] = height_[i - 1] + plan.gradientAt(i - 0.5) / 1000;
  }

  // The sky, the hills and the ground, drawn once.
  sky_ = QImage(480, 200, QImage::Format_RGB32);
  {
    QPainter p(&sky_);
    QLinearGradient g(0, 0, 0, 200);
    g.setColorAt(0, QColor(92, 150, 214));
    g.setColorAt(0.55, QColor(170, 204, 236));
    g.setColorAt(1, kHaze);
    p.fillRect(sky_.rect(), g);
    Random r(7);
    p.setPen(Qt::NoPen);
    for (int c = 0; c < 9; ++c) {
      const double x = r.range(0, 480), y = r.range(10, 70), w = r.range(40, 110);
      p.setBrush(QColor(255, 255, 255, 150));
      for (int k = 0; k < 5; ++k) {
        p.drawEllipse(QPointF(x + r.range(-w / 2, w / 2), y + r.range(-5, 5)), w / 3, w / 8);
      }
    }
  }
  farHills_ = hills(2400, 80, QColor(128, 152, 176), 26, 46, 1);
  nearHills_ = hills(1800, 80, QColor(88, 132, 96), 18, 58, 4);
  ground_ = QImage(1, 300, QImage::Format_RGB32);
  for (int y = 0; y < 300; ++y) {
    ground_.setPixelColor(0, y,
                          mix(QColor(150, 170, 130), QColor(84, 128, 62), std::sqrt(y / 150.0)));
  }

  // Catenary poles every 50 m outside the tunnel.
  for (double d = 20; d < n - kFar; d += 50) {
    if (plan.inTunnel(d)) continue;
    items_.push_back({d, -2.7, Kind::Pole, 7.6, QColor(150, 150, 140)});
  }
  // Trees and houses, kept away from the stations, the tunnel and the bridge.
  Random r(12345);
  auto clear = [&](double d) {
    for (const Station& s : plan.stations) {
      if (d > s.stopM - 200 && d < s.stopM + 60) return false;
    }
    return !(d > plan.tunnel.fromM - 40 && d < plan.tunnel.toM + 10) &&
           !(d > plan.bridge.fromM - 30 && d < plan.bridge.toM + 30) &&
           std::abs(d - plan.crossingM) > 25;
  };
  for (double d = 10; d < n - kFar; d += r.range(6, 16)) {
    if (!clear(d)) continue;
    const bool left = r.next() < 0.5;
    const bool house = r.next() < 0.28;
    const double u =
        (left ? -1 : 1) * r.range(house ? 14 : 7, house ? 60 : 45) + (left ? 0 : kOther);
    if (house) {
      const QColor roofs[] = {QColor(150, 60, 50), QColor(60, 80, 120), QColor(90, 90, 95),
                              QColor(120, 90, 60)};
      items_.push_back(
          {d, u, Kind::House, r.range(4.5, 7), roofs[static_cast<int>(r.next() * 4) % 4]});
    } else {
      items_.push_back({d, u, Kind::Tree, r.range(5, 12),
                        QColor::fromHsv(static_cast<int>(r.range(85, 130)), 150,
                                        static_cast<int>(r.range(90, 140)))});
    }
  }
  // Signals, showing the proceed aspect the recording saw.
  for (const SignalPlan& s : plan.blockSignals) {
    Item it{s.posM, -2.5, Kind::Signal, 5.0, QColor()};
    it.lamps = s.kind == 2 ? 3 : 4;
    items_.push_back(it);
  }
  // Speed limit boards at the curves, with the warning board 400 m before; gradient posts.
  for (const CurvePlan& c : plan.curves) {
    const int b = addBoard(board(64, 64, QString::number(c.limit), Qt::white, Qt::black, 34));
    items_.push_back({c.fromM, -2.3, Kind::Board, 0.8, QColor(), b});
    items_.push_back(
        {c.fromM - 400, -2.3, Kind::Board, 0.8, QColor(),
         addBoard(board(64, 64, QString::number(c.limit), QColor(255, 214, 0), Qt::black, 34))});
    items_.push_back({c.toM, -2.3, Kind::Board, 0.8, QColor(),
                      addBoard(board(64, 64, "解除", Qt::white, QColor(0, 110, 50), 22))});
  }
  for (std::size_t i = 1; i < plan.slopes.size(); ++i) {
    const double g = plan.slopes[i].permil;
    const QString text = g == 0 ? "L" : QString::number(std::abs(g), 'f', 1);
    items_.push_back({plan.slopes[i].fromM, -2.1, Kind::Board, 0.45, QColor(),
                      addBoard(board(64, 40, text, Qt::white, Qt::black, 24))});
  }
  // Stations: name boards on the platform and the stop marker.
  for (std::size_t i = 0; i < plan.stations.size(); ++i) {
    const Station& s = plan.stations[i];
    QImage nb(160, 56, QImage::Format_ARGB32_Premultiplied);
    nb.fill(QColor(250, 250, 250));
    {
      QPainter p(&nb);
      p.setRenderHint(QPainter::TextAntialiasing);
      p.setPen(QPen(QColor(30, 30, 30), 3));
      p.drawRect(1, 1, 157, 53);
      p.fillRect(3, 38, 154, 4, QColor(40, 150, 70));
      p.setPen(Qt::black);
      p.setFont(boardFont(26));
      p.drawText(QRect(0, 0, 160, 38), Qt::AlignCenter, QString::fromStdString(s.name));
      p.setFont(boardFont(10));
      p.drawText(QRect(0, 40, 160, 16), Qt::AlignCenter, QString::fromStdString(s.kana));
    }
    const int b = addBoard(nb);
    for (double off : {-140.0, -70.0, 5.0}) {
      if (s.stopM + off > 0)
        items_.push_back({s.stopM + off, -5.0, Kind::NameBoard, 1.0, QColor(), b});
    }
    if (s.stopM > 130) items_.push_back({s.stopM - 25, -5.4, Kind::Roof, 95, QColor(92, 104, 118)});
    items_.push_back({s.stopM + 1, -2.0, Kind::Board, 0.6, QColor(),
                      addBoard(board(48, 56, "停\n6・10", Qt::white, Qt::black, 14))});
  }
  // Bridge girders every 7 m, the level crossing, the tunnel portal.
  for (double d = plan.bridge.fromM; d <= plan.bridge.toM; d += 7) {
    items_.push_back({d, -2.3, Kind::Girder, 4.2, QColor(70, 90, 140)});
    items_.push_back({d, kOther + 2.3, Kind::Girder, 4.2, QColor(70, 90, 140)});
  }
  items_.push_back({plan.crossingM - 4, -3.4, Kind::Crossing, 3.2, QColor()});
  items_.push_back({plan.crossingM - 4, kOther + 3.4, Kind::Crossing, 3.2, QColor()});
  items_.push_back({plan.tunnel.fromM, 0, Kind::Portal, 8, QColor()});
  std::stable_sort(items_.begin(), items_.end(),
                   [](const Item& a, const Item& b) { return a.d < b.d; });
}

double Scene::heading(double d) const {
  const double c = std::clamp(d, 0.0, double(heading_.size() - 2));
  const int i = static_cast<int>(c);
  return heading_[i] + (heading_[i + 1] - heading_[i]) * (c - i);
}
double Scene::lateral(double d) const {
  const double c = std::clamp(d, 0.0, double(lateral_.size() - 2));
  const int i = static_cast<int>(c);
  return lateral_[i] + (lateral_[i + 1] - lateral_[i]) * (c - i);
}
double Scene::height(double d) const {
  const double c = std::clamp(d, 0.0, double(height_.size() - 2));
  const int i = static_cast<int>(c);
  return height_[i] + (height_[i + 1] - height_[i]) * (c - i);
}

Scene::Point Scene::project(double s, double d, double u, double h) const {
  const double z = d - s;
  if (z < 0.5) return {};
  const double th = heading(s);
  const double dx = lateral(d) - lateral(s) - th * z + u * std::cos(heading(d) - th);
  const double dy = height(d) - height(s) - plan_.gradientAt(s) / 1000 * z + h - kEye;
  const double k = kFocal / z;
  return {kCentreX + dx * k, kHorizon - dy * k, k, true};
}

void Scene::drawBackground(QPainter& p, double s, double pitch) const {
  const double horizon = kHorizon + pitch;
  p.drawImage(0, static_cast<int>(horizon) - 200 + 40, sky_);
  auto layer = [&](const QImage& img, double shift, int y) {
    const int w = img.width();
    int x = static_cast<int>(std::fmod(shift, w));
    if (x > 0) x -= w;
    for (; x < 480; x += w) p.drawImage(x, y, img);
  };
  const double th = heading(s);
  layer(farHills_, -th * kFocal * 1.0 - 300, static_cast<int>(horizon) - 62);
  layer(nearHills_, -th * kFocal * 1.0 - s * 0.04, static_cast<int>(horizon) - 70);
  p.drawImage(QRect(0, static_cast<int>(horizon), 480, 300), ground_);
}

void Scene::drawGround(QPainter& p, double s) const {
  p.setPen(Qt::NoPen);
  // Fields beside the line: alternating strips of colour give the ground its motion.
  const double z0 = kNear;
  const int first = static_cast<int>((s + z0) / 40);
  for (int k = first; k < first + 12; ++k) {
    const double a = k * 40.0, b = a + 40;
    if (a - s > 500) break;
    if (std::abs((a + b) / 2 - plan_.crossingM) < 30) continue;
    for (int side : {-1, 1}) {
      const double u0 = side < 0 ? -4.5 : kOther + 4.5, u1 = side < 0 ? -70 : kOther + 70;
      const Point p0 = project(s, std::max(a, s + z0), u0, 0),
                  p1 = project(s, std::max(a, s + z0), u1, 0);
      const Point p2 = project(s, b, u1, 0), p3 = project(s, b, u0, 0);
      if (!p0.ok || !p2.ok) continue;
      const bool dark = (k + (side > 0 ? 1 : 0)) % 2 == 0;
      p.setBrush(hazed(dark ? QColor(96, 138, 66) : QColor(120, 156, 78), b - s));
      p.drawPolygon(QPolygonF(
          {QPointF(p0.x, p0.y), QPointF(p1.x, p1.y), QPointF(p2.x, p2.y), QPointF(p3.x, p3.y)}));
    }
  }
  // Water under the bridge.
  const double wa = std::max(plan_.bridge.fromM + 8, s + z0), wb = plan_.bridge.toM - 8;
  if (wb > wa && wa - s < kFar) {
    QPolygonF poly;
    for (double u : {-400.0, 400.0}) {
      const Point q = project(s, wa, u, -3);
      poly << QPointF(q.x, q.y);
    }
    for (double u : {400.0, -400.0}) {
      const Point q = project(s, wb, u, -3);
      poly << QPointF(q.x, q.y);
    }
    p.setBrush(hazed(QColor(70, 120, 170), wa - s));
    p.drawPolygon(poly);
  }
  // The road of the level crossing.
  const double ra = plan_.crossingM - 3, rb = plan_.crossingM + 3;
  if (ra - s > z0 && ra - s < kFar) {
    const Point a = project(s, ra, -80, 0), b = project(s, ra, 80, 0), c = project(s, rb, 80, 0),
                d = project(s, rb, -80, 0);
    p.setBrush(hazed(QColor(90, 90, 92), ra - s));
    p.drawPolygon(
        QPolygonF({QPointF(a.x, a.y), QPointF(b.x, b.y), QPointF(c.x, c.y), QPointF(d.x, d.y)}));
  }
}

void Scene::drawTrack(QPainter& p, double s, bool tunnel) const {
  std::vector<double> zs;
  for (double z = kNear; z < kFar; z *= 1.045) zs.push_back(z);
  // Ballast of both tracks, then the platforms, then sleepers and rails.
  QPolygonF ballast;
  for (double z : zs) {
    const Point q = project(s, s + z, -1.9, 0);
    ballast << QPointF(q.x, q.y);
  }
  for (auto it = zs.rbegin(); it != zs.rend(); ++it) {
    const Point q = project(s, s + *it, kOther + 1.9, 0);
    ballast << QPointF(q.x, q.y);
  }
  p.setPen(Qt::NoPen);
  p.setBrush(tunnel ? QColor(52, 50, 48) : QColor(118, 108, 98));
  p.drawPolygon(ballast);

  for (const Station& st : plan_.stations) {
    const double a = std::max(st.stopM - 165, s + kNear), b = st.stopM + 25;
    if (b <= a || a - s > kFar) continue;
    QPolygonF top, face;
    std::vector<double> ds;
    for (double d = a; d < b; d += std::max(2.0, (d - s) * 0.08)) ds.push_back(d);
    ds.push_back(b);
    for (double d : ds) {
      const Point q = project(s, d, -1.7, 1.1);
      top << QPointF(q.x, q.y);
      face << QPointF(q.x, q.y);
    }
    for (auto it = ds.rbegin(); it != ds.rend(); ++it) {
      const Point q = project(s, *it, -9, 1.1);
      top << QPointF(q.x, q.y);
      const Point g = project(s, *it, -1.7, 0);
      face << QPointF(g.x, g.y);
    }
    p.setBrush(hazed(QColor(112, 108, 104), a - s));
    p.drawPolygon(face);
    p.setBrush(hazed(QColor(186, 182, 172), a - s));
    p.drawPolygon(top);
    // The yellow safety line.
    QPolygonF line;
    for (double d : ds) {
      const Point q = project(s, d, -2.5, 1.1);
      line << QPointF(q.x, q.y);
    }
    p.setPen(QPen(hazed(QColor(240, 200, 40), a - s), 1.2));
    p.drawPolyline(line);
    p.setPen(Qt::NoPen);
  }

  // Sleepers every 0.65 m near the camera.
  // Their thickness on screen is the 0.2 m of a sleeper seen along the line, from above.
  p.setPen(QPen(tunnel ? QColor(70, 64, 58) : QColor(168, 162, 152), 1));
  for (double d = std::ceil((s + kNear) / 0.65) * 0.65; d < s + 60; d += 0.65) {
    for (double c : {0.0, kOther}) {
      const Point a = project(s, d, c - 1.1, 0.05), b = project(s, d, c + 1.1, 0.05);
      QPen pen = p.pen();
      const double z = d - s;
      pen.setWidthF(std::max(0.6, kFocal * kEye * 0.2 / (z * z)));
      p.setPen(pen);
      p.drawLine(QPointF(a.x, a.y), QPointF(b.x, b.y));
    }
  }
  const QColor rail = tunnel ? QColor(150, 140, 120) : QColor(205, 200, 192);
  for (double u : {-0.53, 0.53, kOther - 0.53, kOther + 0.53}) {
    QPolygonF line;
    for (double z : zs) {
      const Point q = project(s, s + z, u, 0.15);
      line << QPointF(q.x, q.y);
    }
    p.setPen(QPen(rail, 1.3));
    p.drawPolyline(line.mid(0, 40));
    p.setPen(QPen(hazed(rail, 300), 1));
    p.drawPolyline(line.mid(39));
  }
}

void Scene::drawWires(QPainter& p, double s) const {
  for (double u : {0.0, kOther}) {
    QPolygonF wire;
    for (double z = kNear; z < 500; z *= 1.08) {
      const Point q = project(s, s + z, u, 5.2);
      wire << QPointF(q.x, q.y);
    }
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.drawPolyline(wire);
  }
}

void Scene::drawItem(QPainter& p, double s, int frame, const Item& it) const {
  const double z = it.d - s;
  const Point base = project(s, it.d, it.u, 0);
  if (!base.ok) return;
  const double k = base.scale;
  p.setPen(Qt::NoPen);
  switch (it.kind) {
    case Kind::Pole: {
      const Point top = project(s, it.d, it.u, it.size),
                  far = project(s, it.d, kOther + 2.7, it.size);
      const Point farBase = project(s, it.d, kOther + 2.7, 0);
      const QColor c = hazed(it.colour, z);
      p.setPen(QPen(c, std::max(1.0, 0.3 * k)));
      p.drawLine(QPointF(base.x, base.y), QPointF(top.x, top.y));
      p.drawLine(QPointF(farBase.x, farBase.y), QPointF(far.x, far.y));
      p.setPen(QPen(c, std::max(1.0, 0.2 * k)));
      p.drawLine(QPointF(top.x, top.y + 0.3 * k), QPointF(far.x, far.y + 0.3 * k));
      break;
    }
    case Kind::Tree: {
      const double h = it.size * k, w = it.size * 0.55 * k;
      if (h < 1) return;
      p.setBrush(hazed(QColor(92, 70, 50), z));
      p.drawRect(QRectF(base.x - 0.12 * w, base.y - h * 0.35, 0.24 * w, h * 0.35));
      p.setBrush(hazed(it.colour, z));
      p.drawEllipse(QRectF(base.x - w / 2, base.y - h, w, h * 0.8));
      p.setBrush(hazed(it.colour.lighter(118), z));
      p.drawEllipse(QRectF(base.x - w * 0.3, base.y - h * 0.98, w * 0.45, h * 0.4));
      break;
    }
    case Kind::House: {
      const double w = 9 * k, h = it.size * k * 0.62, roof = it.size * k * 0.38;
      if (w < 1) return;
      const double x = base.x - w / 2;
      p.setBrush(hazed(QColor(226, 220, 204), z));
      p.drawRect(QRectF(x, base.y - h, w, h));
      p.setBrush(hazed(it.colour, z));
      p.drawPolygon(QPolygonF({QPointF(x - 0.08 * w, base.y - h), QPointF(x + w * 1.08, base.y - h),
                               QPointF(x + w * 0.8, base.y - h - roof),
                               QPointF(x + w * 0.2, base.y - h - roof)}));
      p.setBrush(hazed(QColor(70, 90, 110), z));
      p.drawRect(QRectF(x + 0.15 * w, base.y - h * 0.7, 0.22 * w, h * 0.35));
      p.drawRect(QRectF(x + 0.6 * w, base.y - h * 0.7, 0.22 * w, h * 0.35));
      break;
    }
    case Kind::Signal: {
      const Point top = project(s, it.d, it.u, it.size);
      p.setPen(QPen(hazed(QColor(120, 120, 120), z), std::max(1.0, 0.2 * k)));
      p.drawLine(QPointF(base.x, base.y), QPointF(top.x, top.y));
      p.setPen(Qt::NoPen);
      const double w = 0.55 * k, lamp = 0.42 * k, h = (it.lamps * 0.42 + 0.25) * k;
      p.setBrush(QColor(20, 20, 20));
      p.drawRoundedRect(QRectF(top.x - w / 2, top.y - h, w, h), w / 3, w / 3);
      for (int i = 0; i < it.lamps; ++i) {
        const QPointF c(top.x, top.y - h + 0.12 * k + lamp * (i + 0.5));
        const bool lit = it.lamps == 3 ? i == 0 : i == 1;  // the proceed lamp
        p.setBrush(lit ? QColor(80, 255, 170) : QColor(50, 50, 50));
        p.drawEllipse(c, std::max(0.7, lamp * 0.36), std::max(0.7, lamp * 0.36));
        if (lit && z < 600) {
          p.setBrush(QColor(80, 255, 170, 70));
          p.drawEllipse(c, std::max(1.6, lamp * 0.8), std::max(1.6, lamp * 0.8));
        }
      }
      p.setBrush(hazed(QColor(240, 240, 240), z));
      p.drawRect(QRectF(top.x - 0.2 * k, top.y + 0.3 * k, 0.4 * k, 0.4 * k));
      break;
    }
    case Kind::Board:
    case Kind::NameBoard: {
      const QImage& b = boards_[it.board];
      const double h = it.kind == Kind::NameBoard ? 1.0 * k : it.size * k * b.height() / 64.0;
      const double w = h * b.width() / b.height();
      const double postH = it.kind == Kind::NameBoard ? 2.0 * k : 2.2 * k;
      if (w < 1.5) return;
      p.setPen(QPen(hazed(QColor(90, 90, 90), z), std::max(1.0, 0.08 * k)));
      if (it.kind == Kind::NameBoard) {
        const double lift = 1.1 * k;  // standing on the platform
        p.drawLine(QPointF(base.x - w * 0.4, base.y - lift),
                   QPointF(base.x - w * 0.4, base.y - lift - postH));
        p.drawLine(QPointF(base.x + w * 0.4, base.y - lift),
                   QPointF(base.x + w * 0.4, base.y - lift - postH));
        p.drawImage(QRectF(base.x - w / 2, base.y - lift - postH - h * 0.2, w, h), b);
      } else {
        p.drawLine(QPointF(base.x, base.y), QPointF(base.x, base.y - postH));
        p.drawImage(QRectF(base.x - w / 2, base.y - postH - h, w, h), b);
      }
      break;
    }
    case Kind::Girder: {
      const Point top = project(s, it.d, it.u, it.size), next = project(s, it.d + 7, it.u, it.size);
      const Point nextBase = project(s, it.d + 7, it.u, 0);
      if (!next.ok) return;
      const QColor c = hazed(it.colour, z);
      p.setPen(QPen(c, std::max(1.0, 0.35 * k)));
      p.drawLine(QPointF(base.x, base.y), QPointF(top.x, top.y));
      if (it.d + 7 <= plan_.bridge.toM) {
        p.drawLine(QPointF(top.x, top.y), QPointF(next.x, next.y));
        p.drawLine(QPointF(base.x, base.y), QPointF(nextBase.x, nextBase.y));
        p.setPen(QPen(c, std::max(1.0, 0.2 * k)));
        p.drawLine(QPointF(base.x, base.y), QPointF(next.x, next.y));
      }
      break;
    }
    case Kind::Crossing: {
      const Point top = project(s, it.d, it.u, it.size);
      p.setPen(QPen(hazed(QColor(230, 230, 230), z), std::max(1.0, 0.15 * k)));
      p.drawLine(QPointF(base.x, base.y), QPointF(top.x, top.y));
      // Crossbuck, then the two lights flashing in turn while the bell rings.
      p.setPen(QPen(hazed(QColor(250, 200, 0), z), std::max(1.0, 0.18 * k)));
      const double a = 0.6 * k;
      p.drawLine(QPointF(top.x - a, top.y - a * 0.6), QPointF(top.x + a, top.y + a * 0.6));
      p.drawLine(QPointF(top.x - a, top.y + a * 0.6), QPointF(top.x + a, top.y - a * 0.6));
      const bool ringing = plan_.crossingM - s < 350;
      const int phase = (frame / 15) % 2;
      for (int i = 0; i < 2; ++i) {
        const bool lit = ringing && i == phase;
        p.setPen(Qt::NoPen);
        p.setBrush(lit ? QColor(255, 40, 30) : QColor(70, 20, 20));
        p.drawEllipse(QPointF(top.x + (i ? 0.35 : -0.35) * k, top.y + 0.9 * k),
                      std::max(0.8, 0.17 * k), std::max(0.8, 0.17 * k));
      }
      if (ringing) {
        // The barrier, lowered across the road.
        const double dir = it.u < 0 ? -1 : 1;
        const Point end = project(s, it.d - 0.5, it.u + dir * 7, 1.0),
                    from = project(s, it.d - 0.5, it.u, 1.0);
        for (int seg = 0; seg < 7; ++seg) {
          p.setPen(
              QPen(seg % 2 ? QColor(20, 20, 20) : QColor(250, 210, 0), std::max(1.0, 0.14 * k)));
          p.drawLine(
              QPointF(from.x + (end.x - from.x) * seg / 7, from.y + (end.y - from.y) * seg / 7),
              QPointF(from.x + (end.x - from.x) * (seg + 1) / 7,
                      from.y + (end.y - from.y) * (seg + 1) / 7));
        }
      }
      break;
    }
    case Kind::Roof: {
      // The platform roof, seen from below, on a row of pillars.
      const double a = std::max(it.d - it.size, s + kNear), b = it.d;
      if (b <= a) return;
      QPolygonF under, fascia;
      std::vector<double> ds;
      for (double d = a; d < b; d += std::max(2.0, (d - s) * 0.08)) ds.push_back(d);
      ds.push_back(b);
      p.setPen(QPen(hazed(QColor(150, 150, 150), z), std::max(1.0, 0.25 * k)));
      for (double d = std::ceil((a - (it.d - it.size)) / 12) * 12 + (it.d - it.size); d <= b;
           d += 12) {
        const Point f = project(s, d, it.u, 1.1), t = project(s, d, it.u, 3.5);
        p.drawLine(QPointF(f.x, f.y), QPointF(t.x, t.y));
      }
      p.setPen(Qt::NoPen);
      for (double d : ds) {
        const Point q = project(s, d, -2.3, 3.6);
        under << QPointF(q.x, q.y);
        fascia << QPointF(q.x, q.y);
      }
      for (auto r = ds.rbegin(); r != ds.rend(); ++r) {
        const Point q = project(s, *r, -9.5, 3.9);
        under << QPointF(q.x, q.y);
        const Point f = project(s, *r, -2.3, 4.0);
        fascia << QPointF(f.x, f.y);
      }
      p.setBrush(hazed(it.colour, a - s));
      p.drawPolygon(under);
      p.setBrush(hazed(QColor(200, 204, 210), a - s));
      p.drawPolygon(fascia);
      break;
    }
    case Kind::Portal: {
      // The hillside over the tunnel mouth, the concrete face and the dark mouth.
      auto at = [&](double u, double h) {
        const Point q = project(s, it.d, u, h);
        return QPointF(q.x, q.y);
      };
      p.setBrush(hazed(QColor(78, 112, 70), z));
      p.drawPolygon(QPolygonF({at(-140, -1), at(-60, 16), at(-15, 26), at(10, 30), at(40, 22),
                               at(90, 14), at(160, -1)}));
      p.setBrush(hazed(QColor(170, 166, 156), z));
      p.drawRect(QRectF(at(-3.6, 9.5), at(kOther + 3.6, 0)));
      QPainterPath mouth;
      const QPointF bl = at(-2.9, 0), br = at(kOther + 2.9, 0), tl = at(-2.9, 4.5);
      const double r = (br.x() - bl.x()) / 2;
      mouth.moveTo(bl);
      mouth.lineTo(tl);
      mouth.arcTo(QRectF(tl.x(), tl.y() - r * 0.55, 2 * r, r * 1.1), 180, -180);
      mouth.lineTo(br);
      mouth.closeSubpath();
      p.setBrush(QColor(14, 14, 16));
      p.drawPath(mouth);
      // Lamps inside, a little way in.
      for (double dd = 20; dd < 300; dd += 40) {
        const Point l = project(s, it.d + dd, -2.6, 3.6);
        if (l.ok) {
          p.setBrush(QColor(255, 190, 90));
          p.drawEllipse(QPointF(l.x, l.y), std::max(0.6, 0.15 * l.scale),
                        std::max(0.6, 0.15 * l.scale));
        }
      }
      break;
    }
  }
}

void Scene::drawPassingTrain(QPainter& p, double s, int frame) const {
  const double v = plan_.passingSpeedKmh / 3.6;
  const double front = plan_.passingM + (plan_.passingFrame - frame) / double(kFps) * v;
  const double tail = front + plan_.passingLengthM;
  if (front - s > kFar || tail - s < kNear) return;
  const double a = std::max(front, s + kNear), b = std::min(tail, s + kFar);
  const double u = kOther - 1.45;  // the side that faces us
  QPolygonF side, stripe, windows;
  std::vector<double> ds;
  for (double d = a; d < b; d += std::max(1.0, (d - s) * 0.06)) ds.push_back(d);
  ds.push_back(b);
  auto band = [&](double h0, double h1) {
    QPolygonF poly;
    for (double d : ds) {
      const Point q = project(s, d, u, h1);
      poly << QPointF(q.x, q.y);
    }
    for (auto it = ds.rbegin(); it != ds.rend(); ++it) {
      const Point q = project(s, *it, u, h0);
      poly << QPointF(q.x, q.y);
    }
    return poly;
  };
  p.setPen(Qt::NoPen);
  p.setBrush(hazed(QColor(200, 204, 208), a - s));
  p.drawPolygon(band(1.1, 4.1));
  p.setBrush(hazed(QColor(40, 50, 60), a - s));
  p.drawPolygon(band(2.6, 3.5));
  p.setBrush(hazed(QColor(240, 130, 40), a - s));
  p.drawPolygon(band(2.1, 2.45));
  p.setBrush(hazed(QColor(50, 50, 50), a - s));
  p.drawPolygon(band(0.4, 1.1));
  // Car ends every 20 m.
  p.setPen(QPen(hazed(QColor(60, 60, 60), a - s), 1));
  for (double d = front + 20; d < b; d += 20) {
    if (d < a) continue;
    const Point q0 = project(s, d, u, 1.1), q1 = project(s, d, u, 4.1);
    p.drawLine(QPointF(q0.x, q0.y), QPointF(q1.x, q1.y));
  }
  if (front > s + kNear) {
    // The front: a face with two windows and head lights.
    auto at = [&](double uu, double h) {
      const Point q = project(s, front, uu, h);
      return QPointF(q.x, q.y);
    };
    p.setPen(Qt::NoPen);
    p.setBrush(hazed(QColor(215, 218, 222), front - s));
    p.drawRect(QRectF(at(kOther - 1.45, 4.1), at(kOther + 1.45, 0.4)));
    p.setBrush(QColor(30, 36, 44));
    p.drawRect(QRectF(at(kOther - 1.2, 3.6), at(kOther + 1.2, 2.5)));
    p.setBrush(QColor(255, 250, 210));
    const Point c = project(s, front, kOther, 1.5);
    p.drawEllipse(QPointF(at(kOther - 0.9, 1.5)), std::max(1.0, 0.18 * c.scale),
                  std::max(1.0, 0.18 * c.scale));
    p.drawEllipse(QPointF(at(kOther + 0.9, 1.5)), std::max(1.0, 0.18 * c.scale),
                  std::max(1.0, 0.18 * c.scale));
  }
}

void Scene::drawTunnelInside(QPainter& p, double s) const {
  p.fillRect(QRect(0, 0, 480, 240), QColor(18, 18, 20));
  const double exitZ = plan_.tunnel.toM - s;
  if (exitZ < kFar) {
    // The bright mouth at the far end.
    const Point bl = project(s, plan_.tunnel.toM, -2.9, 0),
                br = project(s, plan_.tunnel.toM, kOther + 2.9, 0);
    const Point tl = project(s, plan_.tunnel.toM, -2.9, 6.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(235, 240, 230));
    const double r = (br.x - bl.x) / 2;
    p.drawRoundedRect(QRectF(bl.x, tl.y - r * 0.4, br.x - bl.x, bl.y - tl.y + r * 0.4), r * 0.6,
                      r * 0.6);
  }
  drawTrack(p, s, true);
  // Wall rings every 12 m and a lamp every 24 m.
  const double first = std::ceil((s + kNear) / 12) * 12;
  for (double d = std::min(plan_.tunnel.toM, s + 400); d >= first; d -= 12) {
    const double z = d - s;
    const Point l0 = project(s, d, -3.0, 0), l1 = project(s, d, -3.0, 4.8);
    const Point r0 = project(s, d, kOther + 3.0, 0), r1 = project(s, d, kOther + 3.0, 4.8);
    const QColor wall = mix(QColor(96, 92, 86), QColor(18, 18, 20), z / 250);
    p.setPen(QPen(wall, std::max(1.0, 0.12 * l0.scale)));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(l0.x, l0.y), QPointF(l1.x, l1.y));
    p.drawLine(QPointF(r0.x, r0.y), QPointF(r1.x, r1.y));
    const double r = (r1.x - l1.x) / 2;
    p.drawArc(QRectF(l1.x, l1.y - r * 0.55, 2 * r, r * 1.1), 0, 180 * 16);
    if (static_cast<int>(std::lround(d / 12)) % 2 == 0) {
      const Point lamp = project(s, d, -2.8, 3.8);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(255, 196, 110));
      const double rr = std::max(0.8, 0.2 * lamp.scale);
      p.drawEllipse(QPointF(lamp.x, lamp.y), rr * 1.4, rr);
      p.setBrush(QColor(255, 180, 90, 60));
      p.drawEllipse(QPointF(lamp.x, lamp.y), rr * 3, rr * 2.4);
    }
  }
}

void Scene::render(int frame, QImage& image) const {
  const double s = plan_.frameM[std::clamp(frame, 0, plan_.frameCount() - 1)];
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  // The view is drawn for 480 x 240; a picture of another size gets it scaled.
  if (image.width() != 480 || image.height() != 240) {
    p.scale(image.width() / 480.0, image.height() / 240.0);
  }
  if (plan_.inTunnel(s + kNear)) {
    drawTunnelInside(p, s);
    drawWires(p, s);
    return;
  }
  const double pitch = plan_.gradientAt(s) * kFocal / 1000;
  drawBackground(p, s, pitch);
  drawGround(p, s);
  drawTrack(p, s, false);
  // Items from far to near; the passing train is drawn at its front's place.
  const auto firstNear = std::lower_bound(items_.begin(), items_.end(), s + kNear,
                                          [](const Item& it, double d) { return it.d < d; });
  const auto lastFar = std::lower_bound(items_.begin(), items_.end(), s + kFar,
                                        [](const Item& it, double d) { return it.d < d; });
  bool trainDrawn = false;
  const double trainFront =
      plan_.passingM + (plan_.passingFrame - frame) / double(kFps) * plan_.passingSpeedKmh / 3.6;
  for (auto it = lastFar; it != firstNear;) {
    --it;
    if (it->d > plan_.tunnel.fromM && it->d < plan_.tunnel.toM) continue;
    if (!trainDrawn && it->d < trainFront) {
      drawPassingTrain(p, s, frame);
      trainDrawn = true;
    }
    drawItem(p, s, frame, *it);
  }
  if (!trainDrawn) drawPassingTrain(p, s, frame);
  drawWires(p, s);
}

QImage renderFrame(const Plan& plan, int frame) {
  const Scene scene(plan);
  QImage img(480, 240, QImage::Format_RGB32);
  scene.render(frame, img);
  return img;
}

}  // namespace dravolin::demo
