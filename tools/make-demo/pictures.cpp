#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "tools/make-demo/demo.h"

namespace dravolin::demo {

namespace {

const QColor kKey(255, 0, 255);         // transparent colour of needles (bottom-left pixel)
const QColor kPanel(54, 60, 66);        // panel face; also the key of lamps and notch pictures
const QColor kPanelTunnel(34, 38, 44);  // the panel under the tunnel lighting

QFont font(int pixels, bool bold = false) {
  QFont f("Noto Sans CJK JP");
  f.setPixelSize(pixels);
  f.setBold(bold);
  f.setHintingPreference(QFont::PreferFullHinting);
  return f;
}

QImage blank(int w, int h, const QColor& c) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(c);
  return img;
}

QPointF polar(QPointF c, double radius, double degrees) {
  const double a = degrees * M_PI / 180.0;
  return {c.x() + std::sin(a) * radius, c.y() - std::cos(a) * radius};
}

// A round dial: scale from `zero` degrees, `perUnit` degrees a unit, ticks every `step`, labels
// every `labelStep` (values divided by `labelDiv`).
void dial(QPainter& p, QPointF c, double r, double from, double to, double zero, double perUnit,
          double step, double labelStep, double labelDiv, const QString& caption,
          const QColor& face = QColor(245, 243, 235)) {
  p.setPen(QPen(QColor(20, 20, 20), 3));
  p.setBrush(QColor(25, 25, 25));
  p.drawEllipse(c, r + 4, r + 4);
  p.setBrush(face);
  p.setPen(Qt::NoPen);
  p.drawEllipse(c, r, r);
  p.setPen(QPen(Qt::black, 1));
  p.setFont(font(std::max(8, static_cast<int>(r / 5))));
  for (double v = from; v <= to + 1e-9; v += step) {
    const double a = zero + v * perUnit;
    const bool major = std::fmod(std::abs(v - from), labelStep) < 1e-6;
    p.setPen(QPen(Qt::black, major ? 2 : 1));
    p.drawLine(polar(c, r - (major ? 9 : 5), a), polar(c, r - 1, a));
    if (major) {
      const double px = std::max(8.0, r / 5);
      const QPointF t = polar(c, r - 9 - px * 0.75, a);
      p.drawText(QRectF(t.x() - 15, t.y() - 8, 30, 16), Qt::AlignCenter,
                 QString::number(v / labelDiv));
    }
  }
  if (r >= 40) {
    p.setFont(font(std::max(8, static_cast<int>(r / 6))));
    p.drawText(QRectF(c.x() - r, c.y() + r * 0.38, 2 * r, r * 0.3), Qt::AlignCenter, caption);
  } else {
    // Small dials carry their caption under the bezel.
    p.setPen(QColor(225, 225, 225));
    p.setFont(font(10));
    p.drawText(QRectF(c.x() - 50, c.y() + r + 4, 100, 13), Qt::AlignCenter, caption);
  }
}

// A needle from the centre, pointing `degrees` clockwise from straight up, on the transparent
// key colour.
QImage needleImage(int size, const QColor& colour, int degrees = kScaleStartDegrees) {
  QImage img = blank(size, size, kKey);
  QPainter p(&img);
  const double c = size / 2.0;
  p.translate(c, c);
  p.rotate(degrees);
  p.translate(-c, -c);
  // A dark outline keeps a light needle readable on a light dial face.
  p.setPen(QPen(QColor(30, 30, 30), 1));
  p.setBrush(colour);
  QPolygonF poly;
  poly << QPointF(c - 2.5, c + size * 0.08) << QPointF(c - 1.2, size * 0.1)
       << QPointF(c, size * 0.06) << QPointF(c + 1.2, size * 0.1)
       << QPointF(c + 2.5, c + size * 0.08);
  p.drawPolygon(poly);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 30, 30));
  p.drawEllipse(QPointF(c, c), 4, 4);
  return img;
}

QImage lampImage(const QString& text, const QColor& lit, const QColor& background) {
  QImage img = blank(40, 20, background);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(lit.darker(180), 1));
  p.setBrush(lit);
  p.drawRoundedRect(QRect(1, 1, 37, 17), 4, 4);
  p.setPen(lit.lightness() > 140 ? Qt::black : Qt::white);
  p.setFont(font(text.size() > 3 ? 9 : text.size() > 2 ? 10 : 12, true));
  p.drawText(QRect(1, 1, 38, 18), Qt::AlignCenter, text);
  return img;
}

struct Lamp {
  const char* file;
  const char* text;
  QColor lit;
  int x, y;  // window position, as in the train file
};

std::vector<Lamp> lamps() {
  return {{"door", "戸閉", QColor(255, 150, 40), 208, 252},
          {"power", "力行", QColor(120, 220, 255), 252, 252},
          {"eb", "EB", QColor(255, 60, 40), 296, 252},
          {"gen", "回生", QColor(120, 255, 140), 340, 252},
          {"air", "空制", QColor(255, 230, 90), 384, 252},
          {"ele", "電制", QColor(120, 255, 140), 428, 252},
          {"ats", "ATS", QColor(255, 60, 40), 208, 276},
          {"atsp1", "P接近", QColor(255, 200, 60), 252, 276},
          {"atsp2", "ブレーキ", QColor(255, 90, 60), 296, 276},
          {"g", "G", QColor(80, 230, 120), 340, 276},
          {"yg", "YG", QColor(200, 230, 80), 384, 276},
          {"y", "Y", QColor(255, 210, 60), 428, 276},
          {"yy", "YY", QColor(255, 190, 40), 472, 252},
          {"r", "R", QColor(255, 60, 40), 472, 276},
          {"fwd", "前", QColor(255, 255, 255), 516, 252},
          {"back", "後", QColor(255, 255, 255), 516, 276}};
}

// The panel of a train: dials, unlit lamps, notch indicator frames and the clock bezel.
QImage panelImage(bool e231, bool tunnel) {
  const QColor face = tunnel ? kPanelTunnel : kPanel;
  QImage img = blank(640, 200, face);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  // Brushed top edge and a lighter desk strip.
  QLinearGradient top(0, 0, 0, 10);
  top.setColorAt(0, face.lighter(160));
  top.setColorAt(1, face);
  p.fillRect(0, 0, 640, 10, top);
  const QColor dialFace = tunnel ? QColor(200, 205, 190) : QColor(245, 243, 235);
  // Speedometer (window centre 90, 340).
  dial(p, {90, 100}, 60, 0, 120, kScaleStartDegrees, 2.25, 5, 20, 1, "km/h", dialFace);
  // BC, MR (and BP), voltmeter, ammeter (window y 395).
  dial(p, {210, 151}, 30, 0, 600, kScaleStartDegrees, 0.45, 50, 200, 100, "BC ×100kPa", dialFace);
  dial(p, {300, 151}, 30, 0, 1000, kScaleStartDegrees, 0.27, 100, 200, 100,
       e231 ? "MR ×100kPa" : "MR/BP ×100kPa", dialFace);
  dial(p, {390, 151}, 30, 0, 30, kScaleStartDegrees, 9, 2.5, 10, 10, "kV", dialFace);
  dial(p, {480, 151}, 30, -500, 1000, kAmmeterZeroDegrees, 0.18, 250, 500, 100, "×100A", dialFace);
  // Unlit lamps under the lamp pictures.
  for (const Lamp& l : lamps()) {
    p.drawImage(l.x, l.y - 240, lampImage(l.text, face.lighter(170), face));
  }
  // Notch indicator frame (pictures at window 190,299 and 190,324, 120 x 24), between the
  // lamps above and the bezels of the small dials below.
  p.setPen(QPen(QColor(20, 20, 20), 2));
  p.setBrush(QColor(15, 15, 15));
  p.drawRoundedRect(QRectF(185, 57, 130, 54), 4, 4);
  // Clock face around the 50 x 50 hands picture at window 568..618, 265..315: a dark face with
  // hour marks, whose hands appear with the first clock update after Start.
  p.setBrush(QColor(25, 25, 25));
  p.drawEllipse(QPointF(593, 50), 32, 32);
  for (int h = 0; h < 12; ++h) {
    const bool quarter = h % 3 == 0;
    p.setPen(QPen(QColor(225, 225, 225), quarter ? 2.5 : 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(polar({593, 50}, quarter ? 22 : 24, h * 30), polar({593, 50}, 28, h * 30));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(200, 200, 200));
  p.drawEllipse(QPointF(593, 50), 2, 2);
  // Name plate.
  p.setPen(QColor(220, 220, 220));
  p.setFont(font(16, true));
  p.drawText(QRect(530, 110, 110, 24), Qt::AlignCenter, e231 ? "E231" : "205");
  p.setFont(font(11));
  p.drawText(QRect(530, 134, 110, 18), Qt::AlignCenter, e231 ? "快速 10両" : "各停 6両");
  p.drawText(QRect(530, 152, 110, 18), Qt::AlignCenter, e231 ? "ATS-P" : "ATS-S");
  return img;
}

// A notch picture: a bar of `count` segments, `lit` of them lit, and a caption.
QImage notchImage(const QString& caption, int count, int lit, const QColor& colour) {
  QImage img = blank(120, 24, QColor(15, 15, 15));
  QPainter p(&img);
  const int w = count > 0 ? 68 / count : 0;
  for (int i = 0; i < count; ++i) {
    p.fillRect(4 + i * w, 5, w - 2, 14, i < lit ? colour : QColor(50, 50, 50));
  }
  p.setPen(lit > 0 ? colour : QColor(200, 200, 200));
  p.setFont(font(14, true));
  p.drawText(QRect(74, 0, 44, 24), Qt::AlignCenter, caption);
  return img;
}

// The timetable card (F1). It slides in right-aligned from the window's top edge, so it is
// kept narrow enough (56 pixels) to leave the whole sign column in sight beside it: the signal
// picture and its name, the stop marker, the limit, gradient and other signs (x 480 to 584), and
// short enough to end above the clock and speed digits (y 202) and the analog clock. What it
// covers while it is in are the handle texts, which the notch display of the panel also shows.
// A narrow card like a real driver's: each station's name, then its times on lines of their own.
QImage timetableCard(const Plan& plan, bool rapid) {
  constexpr int kWidth = 56, kHeight = 200;
  const Timetable t = timetable(plan, rapid);
  QImage img = blank(kWidth, kHeight, QColor(250, 248, 236));
  QPainter p(&img);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(Qt::black);
  p.setFont(font(11, true));
  p.drawText(QRect(0, 3, kWidth, 14), Qt::AlignCenter, rapid ? "快速E231" : "各停 205");
  p.drawLine(3, 19, kWidth - 4, 19);
  auto hms = [](int ticks) {
    return QString::asprintf("%d.%02d%02d", ticks / kTicksPerHour, ticks / 1800 % 60,
                             ticks / 30 % 60);
  };
  // One block a station: its name, then its times (着 arrival, 発 departure, レ passing).
  constexpr int kLine = 13;
  int y = 22;
  for (std::size_t i = 0; i < plan.stations.size(); ++i) {
    const bool passed = rapid && static_cast<int>(i) == plan.passedStation;
    std::vector<std::pair<QString, QString>> times;
    if (passed) {
      times.push_back({"レ", hms(t.depart[i])});
    } else {
      if (i > 0) times.push_back({"着", hms(t.arrive[i])});
      if (i + 1 < plan.stations.size()) times.push_back({"発", hms(t.depart[i])});
    }
    p.setPen(Qt::black);
    p.setFont(font(11, true));
    p.drawText(QRect(3, y, kWidth - 6, kLine), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromStdString(plan.stations[i].name));
    y += kLine;
    for (const auto& [mark, time] : times) {
      p.setFont(font(9));
      p.drawText(QRect(3, y, 10, kLine), Qt::AlignCenter, mark);
      p.setFont(font(10));
      p.drawText(QRect(13, y, kWidth - 17, kLine), Qt::AlignRight | Qt::AlignVCenter, time);
      y += kLine;
    }
    y += 3;
    p.setPen(QColor(160, 160, 160));
    p.drawLine(3, y - 2, kWidth - 4, y - 2);
  }
  p.setPen(Qt::black);
  p.setFont(font(9));
  p.drawText(QRect(3, y, kWidth - 6, 12), Qt::AlignLeft | Qt::AlignVCenter, "制限 65・75");
  p.drawText(QRect(3, y + 12, kWidth - 6, 12), Qt::AlignLeft | Qt::AlignVCenter, "Y45 YG65");
  p.setPen(QPen(QColor(120, 100, 80), 2));
  p.setBrush(Qt::NoBrush);
  p.drawRect(1, 1, kWidth - 3, kHeight - 3);
  return img;
}

// A signal head with `lamps` lamps from the top, `on` the lit colours (null = dark).
void signalHead(QPainter& p, QRectF cell, const std::vector<QColor>& on) {
  const int n = static_cast<int>(on.size());
  const double h = 12.0 * n + 10, top = cell.center().y() - h / 2;
  p.setPen(QPen(QColor(80, 80, 80), 2));
  p.setBrush(QColor(15, 15, 15));
  p.drawRoundedRect(QRectF(cell.center().x() - 11, top, 22, h), 6, 6);
  for (int i = 0; i < n; ++i) {
    const QPointF c(cell.center().x(), top + 11 + 12.0 * i);
    p.setPen(Qt::NoPen);
    p.setBrush(on[i].isValid() ? on[i] : QColor(45, 45, 45));
    p.drawEllipse(c, 5, 5);
  }
}

QImage signalList() {
  QImage img = blank(50 * 22, 100, QColor(40, 44, 48));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor R(255, 40, 30), Y(255, 190, 30), G(40, 230, 140), x;
  // Lamps from the top: 3 aspects G Y R; 4 and 5 aspects Y G R Y.
  const std::vector<std::vector<QColor>> heads = {{},
                                                  {},
                                                  {},  // repeaters, drawn below
                                                  {x, x, R},
                                                  {x, Y, x},
                                                  {G, x, x},  // kind 1
                                                  {x, x, R},
                                                  {x, Y, x},
                                                  {G, x, x},  // kind 2
                                                  {x, x, R, x},
                                                  {x, x, x, Y},
                                                  {Y, G, x, x},
                                                  {x, G, x, x},  // kind 3: R Y YG G
                                                  {x, x, R, x},
                                                  {Y, x, x, Y},
                                                  {x, x, x, Y},
                                                  {x, G, x, x},  // kind 4: R YY Y G
                                                  {x, x, R, x, x},
                                                  {Y, x, x, Y, x},
                                                  {x, x, x, Y, x},
                                                  {Y, G, x, x, x},
                                                  {x, G, x, x, x}};
  for (int code = 0; code < 22; ++code) {
    const QRectF cell(code * 50, 0, 50, 100);
    p.fillRect(cell.adjusted(2, 2, -2, -2), QColor(60, 66, 72));
    if (code < 3) {
      // Repeater: a white bar on a black disc, horizontal, oblique or vertical.
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(15, 15, 15));
      p.drawEllipse(cell.center(), 20, 20);
      p.setPen(QPen(QColor(250, 250, 240), 7, Qt::SolidLine, Qt::RoundCap));
      const double a = code == 0 ? 90 : code == 1 ? 45 : 0;
      p.drawLine(polar(cell.center(), 14, a), polar(cell.center(), 14, a + 180));
    } else {
      signalHead(p, cell, heads[code]);
    }
  }
  return img;
}

void signBoard(QPainter& p, QRectF r, const QString& text, const QColor& bg, const QColor& fg,
               int pixels) {
  p.setPen(QPen(Qt::black, 2));
  p.setBrush(bg);
  p.drawRect(r);
  p.setPen(fg);
  p.setFont(font(pixels, true));
  p.drawText(r, Qt::AlignCenter, text);
}

QImage signList() {
  QImage img = blank(50 * 25, 50, QColor(40, 44, 48));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  // 0: stop position marker.
  signBoard(p, QRectF(5, 3, 40, 44), "停", QColor(250, 250, 250), Qt::black, 22);
  p.setPen(QPen(QColor(230, 40, 30), 3));
  p.drawLine(8, 40, 42, 40);
  // 1 and 2: gradient up and down.
  for (int i = 1; i <= 2; ++i) {
    const QRectF cell(i * 50, 0, 50, 50);
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(QColor(250, 250, 250));
    p.drawRect(cell.adjusted(4, 12, -4, -12));
    p.setPen(QPen(Qt::black, 4));
    p.drawLine(QPointF(cell.left() + 8, i == 1 ? 33 : 17),
               QPointF(cell.right() - 8, i == 1 ? 17 : 33));
  }
  // 3 to 24: the limits 15 to 120 km/h.
  for (int v = 15; v <= 120; v += 5) {
    const QRectF cell((v / 5) * 50, 0, 50, 50);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 250, 250));
    p.drawRect(cell.adjusted(3, 3, -3, -3));
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(cell.adjusted(3, 3, -3, -3));
    p.setPen(Qt::black);
    p.setFont(font(v >= 100 ? 19 : 24, true));
    p.drawText(cell, Qt::AlignCenter, QString::number(v));
  }
  return img;
}

QImage otherImage(int i) {
  QImage img = blank(100, 50, QColor(40, 44, 48));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const char* text[] = {"汽笛", "制限解除", "踏切注意"};
  const QColor bg[] = {QColor(250, 250, 250), QColor(250, 250, 250), QColor(255, 210, 0)};
  signBoard(p, QRectF(4, 6, 92, 38), text[i], bg[i], Qt::black, i == 0 ? 24 : 18);
  if (i == 1) {
    p.setPen(QPen(QColor(0, 120, 60), 3));
    p.drawLine(8, 40, 92, 10);
  }
  return img;
}

QImage titleButton(int w, int h, const QString& text, const QString& sub, bool active) {
  QImage img = blank(w, h, QColor(20, 30, 50));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient g(0, 0, 0, h);
  g.setColorAt(0, active ? QColor(70, 140, 90) : QColor(90, 95, 105));
  g.setColorAt(1, active ? QColor(30, 80, 50) : QColor(55, 58, 66));
  p.setPen(QPen(QColor(230, 230, 230), 1.5));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(1, 1, w - 2, h - 2), 7, 7);
  p.setPen(active ? Qt::white : QColor(170, 170, 170));
  p.setFont(font(sub.isEmpty() ? 15 : 16, true));
  p.drawText(QRect(0, sub.isEmpty() ? 0 : 1, w, sub.isEmpty() ? h : h / 2 + 4), Qt::AlignCenter,
             text);
  if (!sub.isEmpty()) {
    p.setFont(font(11));
    p.drawText(QRect(0, h / 2, w, h / 2 - 2), Qt::AlignCenter, sub);
  }
  return img;
}

QImage titlePicture(const Plan& plan) {
  // The cab view at the bridge, scaled up, with the title over it.
  QImage img = renderFrame(plan, plan.frameAt(plan.bridge.fromM - 60))
                   .scaled(960, 480, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                   .copy(160, 0, 640, 480);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.fillRect(QRect(0, 0, 640, 480), QColor(0, 0, 0, 40));
  QPainterPath path;
  path.addText(QPointF(205, 150), font(64, true), "Dravolin");
  p.setPen(QPen(QColor(20, 40, 70), 6));
  p.drawPath(path);
  p.fillPath(path, QColor(255, 255, 255));
  p.setPen(Qt::white);
  p.setFont(font(22, true));
  p.drawText(QRect(180, 165, 440, 34), Qt::AlignCenter, "デモ路線 さくら線");
  p.setFont(font(13));
  p.drawText(QRect(180, 200, 440, 22), Qt::AlignCenter, "桜ヶ丘 ― 川辺 ― 中町 ― 緑台");
  return img;
}

QImage stillPicture(const Plan& plan) {
  QImage img = renderFrame(plan, plan.startPos);
  QPainter p(&img);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.fillRect(QRect(0, 200, 480, 40), QColor(0, 0, 0, 140));
  p.setPen(Qt::white);
  p.setFont(font(15, true));
  p.drawText(QRect(0, 200, 480, 40), Qt::AlignCenter, "メニューの「運転開始」で発車準備ができます");
  return img;
}

}  // namespace

void writePictures(const Plan& plan, const Output& out) {
  auto put = [&](const std::string& name, auto make) {
    if (out.wants(name)) out.writeImage(name, make());
  };
  for (bool e231 : {true, false}) {
    const std::string d = e231 ? "image\\e231\\" : "image\\205\\";
    put(d + "panel.bmp", [&] { return panelImage(e231, false); });
    put(d + "panel2.bmp", [&] { return panelImage(e231, true); });
    put(d + "needle_speed.bmp", [] { return needleImage(120, QColor(240, 110, 20)); });
    put(d + "needle_bc.bmp", [] { return needleImage(64, QColor(20, 20, 20)); });
    put(d + "needle_mr.bmp", [] { return needleImage(64, QColor(220, 30, 30)); });
    if (!e231) put(d + "needle_bp.bmp", [] { return needleImage(64, QColor(20, 20, 20)); });
    put(d + "needle_v.bmp", [] { return needleImage(64, QColor(20, 20, 20)); });
    put(d + "needle_i.bmp",
        [] { return needleImage(64, QColor(20, 20, 20), kAmmeterZeroDegrees); });
    for (const Lamp& l : lamps()) {
      put(d + "lamp_" + l.file + ".bmp", [&] { return lampImage(l.text, l.lit, kPanel); });
    }
    for (int n = 0; n <= 4; ++n) {
      put(d + "p" + std::to_string(n) + ".bmp", [&] {
        return notchImage(n == 0 ? "切" : QString("P%1").arg(n), 4, n, QColor(90, 200, 255));
      });
    }
    const int brakes = e231 ? 9 : 4;
    const char* type0[] = {"運転", "保ち", "重なり", "込め", "非常"};
    for (int b = 0; b <= brakes; ++b) {
      put(d + "b" + std::to_string(b) + ".bmp", [&] {
        const QString caption = b == brakes ? "EB"
                                : e231      ? (b == 0 ? "緩め" : QString("B%1").arg(b))
                                            : QString(type0[b]);
        return notchImage(caption, brakes - 1, std::min(b, brakes - 1),
                          b == brakes ? QColor(255, 60, 40) : QColor(255, 170, 40));
      });
    }
    put(d + "staf.bmp", [&] { return timetableCard(plan, e231); });
  }
  const char* gears[] = {"N", "変", "直1", "直2", "直3", "直4"};
  for (int g = 0; g < 6; ++g) {
    put("image\\gear\\g" + std::to_string(g) + ".bmp",
        [&] { return notchImage(gears[g], 0, g > 0 ? 1 : 0, QColor(120, 255, 140)); });
  }
  put("image\\common\\signal.bmp", signalList);
  put("image\\common\\sign.bmp", signList);
  for (int i = 0; i < 3; ++i) {
    put("image\\common\\other" + std::to_string(i) + ".bmp", [&] { return otherImage(i); });
  }
  put("image\\atsp.bmp", [] { return lampImage("ATS-P", QColor(255, 200, 60), kPanel); });
  put("image\\still.bmp", [&] { return stillPicture(plan); });
  put("image\\title\\title.jpg", [&] { return titlePicture(plan); });
  for (int n = 1; n <= 10; ++n) {
    const bool wide = n >= 8;
    QString text = "準備中", sub;
    if (n == 2) text = "E231系 快速", sub = "ワンハンドル・ATS-P";
    if (n == 5) text = "205系 各駅停車", sub = "2ハンドル・ATS-S";
    put("image\\title\\train" + std::to_string(n) + ".bmp",
        [&] { return titleButton(wide ? 166 : 159, wide ? 43 : 44, text, sub, n == 2 || n == 5); });
  }
  put("image\\title\\help.bmp", [] { return titleButton(78, 28, "説明", "", true); });
  put("image\\title\\quit.bmp", [] { return titleButton(49, 29, "終了", "", true); });
  put("image\\title\\loading.bmp", [] { return titleButton(154, 34, "読み込み中…", "", true); });
}

}  // namespace dravolin::demo
