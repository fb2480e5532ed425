// The cab widget: needles turned clockwise about their rectangle's centre with their transparent
// colour left out, pictures at their places, integer scaling without blur, and repaints only for
// what changed.
#include "shell/cab_widget.h"

#include <gtest/gtest.h>

#include <QImage>

namespace dravolin::testing {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFFu;
constexpr std::uint32_t kKey = 0xFF00FF00u;  // the needle picture's background (bottom-left)

platform::Bitmap solid(int w, int h, std::uint32_t c) {
  return {w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, c)};
}

// A needle picture 9 x 41: a white bar from the top to the middle, on the key colour.
platform::Bitmap needlePicture() {
  platform::Bitmap b = solid(9, 41, kKey);
  for (int y = 0; y <= 20; ++y) {
    for (int x = 3; x <= 5; ++x) b.pixels[static_cast<std::size_t>(y) * 9 + x] = kWhite;
  }
  return b;
}

QImage render(shell::CabWidget& w) {
  return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(CabWidget, NeedleTurnsClockwiseAboutItsCentreWithoutItsKeyColour) {
  struct Case {
    int angle;
    QPoint tip;  // a point on the bar near its end, relative to the centre
  };
  const Case cases[] = {
      {0, {0, -15}}, {90, {15, 0}}, {180, {0, 15}}, {-90, {-15, 0}}, {450, {15, 0}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.angle);
    sim::CabModel m;
    m.Panel.exists = true;
    m.Panel.top = 240;
    m.Panel.width = 640;
    m.Panel.height = 200;
    m.Panel.bitmap = solid(640, 200, 0xFF204080u);
    m.Needle_Speed.exists = true;
    m.Needle_Speed.left = 100;
    m.Needle_Speed.top = 280;
    m.Needle_Speed.width = 60;
    m.Needle_Speed.height = 60;
    m.Needle_Speed.bitmap = needlePicture();
    m.Needle_Speed.angle = c.angle;
    shell::CabWidget w;
    w.setModel(&m);
    const QImage img = render(w);
    const QPoint centre(130, 310);
    EXPECT_EQ(img.pixel(centre + c.tip), kWhite);
    EXPECT_EQ(img.pixel(centre - c.tip), 0xFF204080u) << "the opposite side shows the panel";
    // The key colour never shows: beside the bar the panel is seen.
    const QPoint side(c.tip.y() != 0 ? 3 : 0, c.tip.x() != 0 ? 3 : 0);
    EXPECT_EQ(img.pixel(centre + c.tip + side), 0xFF204080u);
  }
}

TEST(CabWidget, ScaledPicturesKeepHardEdgesAndRepaintsFollowChanges) {
  sim::CabModel m;
  m.Lamp_Door.exists = true;
  m.Lamp_Door.left = 10;
  m.Lamp_Door.top = 250;
  m.Lamp_Door.width = 4;
  m.Lamp_Door.height = 4;
  m.Lamp_Door.bitmap = solid(4, 4, 0xFFFF0000u);
  shell::CabWidget w(2);
  EXPECT_EQ(w.size(), QSize(1280, 880));
  w.setModel(&m);
  QImage img = render(w);
  // Exactly 8 x 8 red screen pixels, black right outside them.
  EXPECT_EQ(img.pixel(20, 500), 0xFFFF0000u);
  EXPECT_EQ(img.pixel(27, 507), 0xFFFF0000u);
  EXPECT_EQ(img.pixel(28, 507), 0xFF000000u);
  EXPECT_EQ(img.pixel(19, 500), 0xFF000000u);

  const long before = w.repaintRequests();
  w.modelChanged();
  EXPECT_EQ(w.repaintRequests(), before) << "nothing changed";
  m.Lamp_Door.visible = false;
  m.digi_speed.text = "12km/h";
  w.modelChanged();
  EXPECT_EQ(w.repaintRequests(), before + 1);
  img = render(w);
  EXPECT_EQ(img.pixel(20, 500), 0xFF000000u);
}

}  // namespace
}  // namespace dravolin::testing
