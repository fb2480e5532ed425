#include "shell/cab_widget.h"

#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <algorithm>
#include <cmath>

namespace dravolin::shell {

namespace {

using sim::CabLabel;
using sim::CabModel;
using sim::CabPicture;

constexpr QRect kVideoRect(0, 0, 480, 240);

// Label places (left, top, width, height): all in the column right of the video, which no panel
// picture covers; the handle texts beside the stop marker, the signal's name under it.
struct LabelPlace {
  const char* name;
  const CabLabel CabModel::*label;
  QRect rect;
  Qt::Alignment align;
};
const LabelPlace kLabelPlaces[] = {
    {"Label1", &CabModel::Label1, QRect(582, 1, 56, 16), Qt::AlignLeft},
    {"PowerLabel", &CabModel::PowerLabel, QRect(582, 17, 56, 16), Qt::AlignLeft},
    {"BrakeLabel", &CabModel::BrakeLabel, QRect(582, 33, 56, 16), Qt::AlignLeft},
    {"SignalLabel", &CabModel::SignalLabel, QRect(532, 52, 106, 18), Qt::AlignLeft},
    {"GearLabel", &CabModel::GearLabel, QRect(582, 76, 56, 18), Qt::AlignLeft},
    {"SlopeText", &CabModel::SlopeText, QRect(582, 116, 56, 18), Qt::AlignLeft},
    {"CarsLabel", &CabModel::CarsLabel, QRect(584, 150, 54, 18), Qt::AlignLeft},
    {"Label3", &CabModel::Label3, QRect(498, 202, 72, 18), Qt::AlignLeft},
    {"digi_speed", &CabModel::digi_speed, QRect(560, 202, 78, 18), Qt::AlignRight},
    {"Label4", &CabModel::Label4, QRect(498, 221, 140, 18), Qt::AlignLeft},
};

QRect pictureRect(const CabPicture& p) { return QRect(p.left, p.top, p.width, p.height); }

// The square a needle's picture covers at any angle.
QRect needleRect(const sim::CabNeedle& n) {
  const int w = n.bitmap.empty() ? n.width : n.bitmap.width;
  const int h = n.bitmap.empty() ? n.height : n.bitmap.height;
  const int d = static_cast<int>(std::ceil(std::hypot(w, h))) + 2;
  const int cx = n.left + n.width / 2;
  const int cy = n.top + n.height / 2;
  return QRect(cx - d / 2 - 1, cy - d / 2 - 1, d + 2, d + 2);
}

std::string clockText(const sim::CabClock& c) {
  std::string s;
  for (const sim::ClockHand* h : {&c.hour, &c.minute, &c.second}) {
    s += std::to_string(h->x1) + ',' + std::to_string(h->y1) + ',' + std::to_string(h->x2) + ',' +
         std::to_string(h->y2) + ';';
  }
  return s;
}

// The lamps and the needles in the order the start-up creates them.
constexpr std::pair<const char*, CabPicture CabModel::*> kLamps[] = {
    {"Lamp_Door", &CabModel::Lamp_Door},   {"Lamp_Power", &CabModel::Lamp_Power},
    {"Lamp_EB", &CabModel::Lamp_EB},       {"Lamp_Gen", &CabModel::Lamp_Gen},
    {"Lamp_Air", &CabModel::Lamp_Air},     {"Lamp_Ele", &CabModel::Lamp_Ele},
    {"Lamp_Ats", &CabModel::Lamp_Ats},     {"Lamp_Atsp1", &CabModel::Lamp_Atsp1},
    {"Lamp_Atsp2", &CabModel::Lamp_Atsp2}, {"Lamp_G", &CabModel::Lamp_G},
    {"Lamp_YG", &CabModel::Lamp_YG},       {"Lamp_Y", &CabModel::Lamp_Y},
    {"Lamp_YY", &CabModel::Lamp_YY},       {"Lamp_R", &CabModel::Lamp_R},
    {"Lamp_Fwd", &CabModel::Lamp_Fwd},     {"Lamp_Bck", &CabModel::Lamp_Bck},
};
constexpr std::pair<const char*, sim::CabNeedle CabModel::*> kNeedles[] = {
    {"Needle_Speed", &CabModel::Needle_Speed}, {"Needle_SAP", &CabModel::Needle_SAP},
    {"Needle_ER", &CabModel::Needle_ER},       {"Needle_BP", &CabModel::Needle_BP},
    {"Needle_MR", &CabModel::Needle_MR},       {"Needle_BC", &CabModel::Needle_BC},
    {"Needle_V", &CabModel::Needle_V},         {"Needle_I", &CabModel::Needle_I},
};

// One thing of the cab that is stacked with the others: a picture (with the list it draws
// from, null for its own bitmap), a needle or the analog clock.
struct Item {
  const char* name;
  int index = -1;  // position among the "[Others]" pictures; -1 for the rest
  const CabPicture* picture = nullptr;
  const sim::CabImageList* list = nullptr;
  const sim::CabNeedle* needle = nullptr;
  const sim::CabClock* clock = nullptr;
};

// The cab's items in the order they are stacked, later ones on top. The panel is stacked as the
// start-up creates it: Panel, Panel2, the clock, the lamps, the notch and gear pictures, the
// needles, then the "[Others]" pictures (so a hub cap or a glass from "[Others]" covers its
// needle, and on a shared MR/BC gauge the BC pointer lies on the MR one). The stop-position
// line lies under the panel: it slides down the column beside the video as the stop comes near,
// and once the stop is passed it goes to a place the panel covers. The trackside indications
// lie on top, in the column beside the video.
template <typename F>
void forEachItem(const CabModel& m, F&& f) {
  f(Item{.name = "stopline", .picture = &m.stopline});
  f(Item{.name = "Panel", .picture = &m.Panel});
  f(Item{.name = "Panel2", .picture = &m.Panel2});
  f(Item{.name = "clock", .clock = &m.clock});
  for (const auto& [name, lamp] : kLamps) f(Item{.name = name, .picture = &(m.*lamp)});
  f(Item{.name = "Lamp_P", .picture = &m.Lamp_P, .list = &m.NotchImageP});
  f(Item{.name = "Lamp_B", .picture = &m.Lamp_B, .list = &m.NotchImageB});
  f(Item{.name = "Lamp_Gear", .picture = &m.Lamp_Gear, .list = &m.GearImageList});
  for (const auto& [name, needle] : kNeedles) f(Item{.name = name, .needle = &(m.*needle)});
  for (std::size_t i = 0; i < m.Others.size(); ++i) {
    f(Item{.name = "Others", .index = static_cast<int>(i), .picture = &m.Others[i]});
  }
  f(Item{.name = "SignalImage", .picture = &m.SignalImage, .list = &m.SignalImages});
  f(Item{.name = "SpeedLimitImage", .picture = &m.SpeedLimitImage, .list = &m.SignImages});
  f(Item{.name = "SlopeImage", .picture = &m.SlopeImage, .list = &m.SignImages});
  f(Item{.name = "OtherImage", .picture = &m.OtherImage, .list = &m.OtherImages});
  f(Item{.name = "stop", .picture = &m.stop, .list = &m.SignImages});
}

QRect clockRect(const sim::CabClock& c) { return QRect(c.left, c.top, 50, 50); }

}  // namespace

CabWidget::CabWidget(int scale, QWidget* parent) : QWidget(parent), scale_(scale) {
  setScale(scale);
  setAttribute(Qt::WA_OpaquePaintEvent);
  QFont font("Noto Sans CJK JP");
  font.setPixelSize(14);
  font.setStyleHint(QFont::SansSerif);
  setFont(font);
}

void CabWidget::setScale(int scale) {
  scale_ = std::max(1, scale);
  setFixedSize(kWidth * scale_, kHeight * scale_);
  update();
}

void CabWidget::setModel(const sim::CabModel* model) {
  model_ = model;
  opaque_.clear();
  keyed_.clear();
  drawn_ = model_ != nullptr ? snapshot() : std::vector<Drawn>{};
  update();
}

void CabWidget::setVideo(const QImage* front) {
  video_ = front;
  videoPresented();
}

QRect CabWidget::labelRect(const sim::CabModel& m, const sim::CabLabel& label) {
  for (const LabelPlace& place : kLabelPlaces) {
    if (&(m.*place.label) == &label) return place.rect;
  }
  return {};
}

std::vector<CabWidget::Drawn> CabWidget::snapshot() const {
  std::vector<Drawn> out;
  const CabModel& m = *model_;
  forEachItem(m, [&](const Item& item) {
    if (item.picture != nullptr) {
      const CabPicture& p = *item.picture;
      out.push_back({pictureRect(p), p.visible && p.exists, p.image, p.bitmap.pixels.data(), {}});
    } else if (item.needle != nullptr) {
      const sim::CabNeedle& n = *item.needle;
      out.push_back({needleRect(n), n.exists, n.angle, n.bitmap.pixels.data(), {}});
    } else {
      const sim::CabClock& c = *item.clock;
      out.push_back({clockRect(c), c.exists && c.drawn, 0, nullptr, clockText(c)});
    }
  });
  for (const LabelPlace& place : kLabelPlaces) {
    const CabLabel& l = m.*place.label;
    out.push_back({place.rect, l.visible, 0, nullptr, l.text});
  }
  out.push_back(
      {pictureRect(m.Staf), m.Staf.visible && m.Staf.exists, 0, m.Staf.bitmap.pixels.data(), {}});
  return out;
}

void CabWidget::requestRepaint(const QRect& modelRect) {
  if (modelRect.isEmpty()) return;
  ++repaintRequests_;
  update(QRect(modelRect.topLeft() * scale_, modelRect.size() * scale_));
}

void CabWidget::modelChanged() {
  if (model_ == nullptr) return;
  std::vector<Drawn> now = snapshot();
  if (now.size() != drawn_.size()) {
    ++repaintRequests_;
    update();
  } else {
    QRect dirty;
    for (std::size_t i = 0; i < now.size(); ++i) {
      if (now[i] == drawn_[i]) continue;
      if (drawn_[i].visible) dirty |= drawn_[i].rect;
      if (now[i].visible) dirty |= now[i].rect;
    }
    requestRepaint(dirty);
  }
  drawn_ = std::move(now);
}

void CabWidget::videoPresented() { requestRepaint(kVideoRect); }

const QImage& CabWidget::imageOf(const platform::Bitmap& bitmap, bool transparent) {
  auto& cache = transparent ? keyed_ : opaque_;
  const void* key = bitmap.pixels.data();
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  QImage image;
  const auto count =
      static_cast<std::size_t>(bitmap.width) * static_cast<std::size_t>(bitmap.height);
  if (!bitmap.empty() && bitmap.pixels.size() >= count) {
    image = QImage(bitmap.width, bitmap.height, QImage::Format_ARGB32);
    for (int y = 0; y < bitmap.height; ++y) {
      auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < bitmap.width; ++x) row[x] = bitmap.pixel(x, y) | 0xFF000000u;
    }
    if (transparent) {
      // The transparent colour is the picture's bottom-left pixel, as a picture component of the
      // window toolkit the data files were made for takes it.
      const QRgb key = image.pixel(0, bitmap.height - 1);
      for (int y = 0; y < bitmap.height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < bitmap.width; ++x) {
          if (row[x] == key) row[x] = 0;
        }
      }
    }
  }
  return cache.emplace(key, std::move(image)).first->second;
}

bool CabWidget::drawPicture(QPainter& p, const CabPicture& pic, const sim::CabImageList* list) {
  if (!pic.exists || !pic.visible) return false;
  const platform::Bitmap* bitmap = &pic.bitmap;
  if (list != nullptr) {
    if (!list->has(pic.image)) return false;
    bitmap = &list->images[static_cast<std::size_t>(pic.image)];
  }
  if (bitmap->empty()) {
    if (&pic == &model_->stopline) {
      // The stop-position line: a short yellow bar across the middle of its square.
      p.fillRect(QRect(pic.left, pic.top + pic.height / 2 - 1, pic.width, 3), QColor(255, 220, 0));
      return true;
    }
    return false;
  }
  // A picture component shows its picture at its top-left corner, cut to its size.
  const QImage& image = imageOf(*bitmap, pic.transparent);
  const int w = pic.width > 0 ? std::min(pic.width, image.width()) : image.width();
  const int h = pic.height > 0 ? std::min(pic.height, image.height()) : image.height();
  p.drawImage(QPoint(pic.left, pic.top), image, QRect(0, 0, w, h));
  return true;
}

bool CabWidget::drawNeedle(QPainter& p, const sim::CabNeedle& n) {
  if (!n.exists || n.bitmap.empty()) return false;
  const QImage& image = imageOf(n.bitmap, true);
  p.save();
  p.setRenderHint(QPainter::SmoothPixmapTransform, true);
  p.translate(n.left + n.width / 2.0, n.top + n.height / 2.0);
  p.rotate(n.angle % 360);  // positive: clockwise on the screen
  p.drawImage(QPointF(-image.width() / 2.0, -image.height() / 2.0), image);
  p.restore();
  return true;
}

bool CabWidget::drawClock(QPainter& p, const sim::CabClock& c) {
  if (!c.exists || !c.drawn) return false;
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.translate(c.left, c.top);
  p.setClipRect(QRect(0, 0, 50, 50), Qt::IntersectClip);
  // Light hands with a dark edge, so that they show on a light face and on a dark one.
  const struct {
    const sim::ClockHand* hand;
    qreal width;
    QColor colour;
  } hands[] = {{&c.hour, 3, Qt::white}, {&c.minute, 2, Qt::white}, {&c.second, 1, Qt::red}};
  for (const auto& h : hands) {
    p.setPen(QPen(QColor(0, 0, 0, 160), h.width + 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(h.hand->x1, h.hand->y1, h.hand->x2, h.hand->y2);
  }
  for (const auto& h : hands) {
    p.setPen(QPen(h.colour, h.width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(h.hand->x1, h.hand->y1, h.hand->x2, h.hand->y2);
  }
  p.restore();
  return true;
}

bool CabWidget::drawLabel(QPainter& p, const CabLabel& label, const QRect& rect,
                          Qt::Alignment align) {
  if (!label.visible || label.text.empty()) return false;
  p.setPen(Qt::white);
  p.drawText(rect, static_cast<int>(align | Qt::AlignVCenter), QString::fromStdString(label.text));
  return true;
}

void CabWidget::paintEvent(QPaintEvent* event) {
  painted_.clear();
  QPainter p(this);
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  // The video's picture has the pixels of the screen already (it was scaled once, from the
  // decoded picture): it is drawn into the video area as it is, not enlarged again. It is
  // opaque, so only the rest of the repainted area is filled black first.
  const QRect videoArea(kVideoRect.topLeft() * scale_, kVideoRect.size() * scale_);
  const bool video = video_ != nullptr && !video_->isNull();
  QRegion black(event->rect());
  if (video) black -= videoArea;
  for (const QRect& r : black) p.fillRect(r, Qt::black);
  if (video) p.drawImage(videoArea, *video_);
  p.scale(scale_, scale_);
  if (model_ == nullptr) return;
  const CabModel& m = *model_;
  // Only what meets the repainted area is drawn (a video frame repaints the video area alone).
  const QRect area(event->rect().topLeft() / scale_,
                   (event->rect().bottomRight() + QPoint(scale_, scale_)) / scale_);
  forEachItem(m, [&](const Item& item) {
    bool drawn = false;
    if (item.picture != nullptr) {
      drawn =
          pictureRect(*item.picture).intersects(area) && drawPicture(p, *item.picture, item.list);
    } else if (item.needle != nullptr) {
      drawn = needleRect(*item.needle).intersects(area) && drawNeedle(p, *item.needle);
    } else {
      drawn = clockRect(*item.clock).intersects(area) && drawClock(p, *item.clock);
    }
    if (drawn) painted_.push_back({item.name, item.index});
  });
  // A label's text is clipped to its place, so a label elsewhere is left as it is on the screen
  // (laying out its text is the dearest part of a repaint).
  for (const LabelPlace& place : kLabelPlaces) {
    if (place.rect.intersects(area) && drawLabel(p, m.*place.label, place.rect, place.align)) {
      painted_.push_back({place.name, -1});
    }
  }
  if (drawPicture(p, m.Staf, nullptr)) painted_.push_back({"Staf", -1});
}

std::vector<std::string> CabWidget::paintOrder() const {
  std::vector<std::string> names;
  names.reserve(painted_.size());
  for (const Painted& item : painted_) {
    names.push_back(item.index < 0
                        ? std::string(item.name)
                        : std::string(item.name) + '[' + std::to_string(item.index) + ']');
  }
  return names;
}

}  // namespace dravolin::shell
