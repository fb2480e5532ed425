#include "platform/title_picture.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace dravolin::platform {

namespace {

QFont titleFont(double pixels, bool bold) {
  QFont f("Noto Sans CJK JP");
  f.setPixelSize(static_cast<int>(pixels));
  f.setBold(bold);
  return f;
}

}  // namespace

std::vector<std::uint8_t> drawTitlePicture(const Bitmap& frame, const std::string& lineNameUtf8) {
  const int w = kTitlePictureWidth, h = kTitlePictureHeight;
  QImage title(w, h, QImage::Format_RGB32);
  title.fill(Qt::black);
  QPainter p(&title);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  if (!frame.empty()) {
    const QImage picture(reinterpret_cast<const uchar*>(frame.pixels.data()), frame.width,
                         frame.height, frame.width * 4, QImage::Format_RGB32);
    // Scaled to cover the title, its middle kept.
    const double scale =
        std::max(static_cast<double>(w) / frame.width, static_cast<double>(h) / frame.height);
    const QSizeF size(frame.width * scale, frame.height * scale);
    p.drawImage(QRectF(QPointF((w - size.width()) / 2, (h - size.height()) / 2), size), picture);
  }
  // A band across the upper third, the name on it as large as fits.
  p.fillRect(QRect(0, 110, w, 130), QColor(0, 0, 0, 110));
  const QString name = QString::fromStdString(lineNameUtf8);
  double pixels = 64;
  while (pixels > 16 && QFontMetricsF(titleFont(pixels, true)).horizontalAdvance(name) > w - 60) {
    pixels -= 2;
  }
  const QFont font = titleFont(pixels, true);
  const double advance = QFontMetricsF(font).horizontalAdvance(name);
  QPainterPath path;
  path.addText(QPointF((w - advance) / 2, 175 + pixels / 3), font, name);
  p.setPen(QPen(QColor(20, 40, 70), 6));
  p.drawPath(path);
  p.fillPath(path, Qt::white);
  p.setPen(QColor(230, 230, 230));
  p.setFont(titleFont(14, false));
  p.drawText(QRect(0, 212, w, 24), Qt::AlignCenter, "Dravolin");
  p.end();

  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!title.save(&buffer, "JPG", 90)) return {};
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace dravolin::platform
