// The cab widget: needles turned clockwise about their rectangle's centre with their transparent
// colour left out, pictures at their places, the panel stacked in its creation order, integer
// scaling without blur, and repaints only for what changed.
#include "shell/cab_widget.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QImage>

#include "shell_fixture.h"

namespace dravolin::testing {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFFu;
constexpr std::uint32_t kKey = 0xFF00FF00u;  // the needle picture's background (bottom-left)

platform::Bitmap solid(int w, int h, std::uint32_t c) {
  return {w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, c)};
}

// A needle picture 9 x 41: a bar of `colour` from the top to the middle, on the key colour.
platform::Bitmap needlePicture(std::uint32_t colour = kWhite) {
  platform::Bitmap b = solid(9, 41, kKey);
  for (int y = 0; y <= 20; ++y) {
    for (int x = 3; x <= 5; ++x) b.pixels[static_cast<std::size_t>(y) * 9 + x] = colour;
  }
  return b;
}

sim::CabPicture picture(int left, int top, int w, int h, std::uint32_t colour) {
  sim::CabPicture p = sim::placed(left, top, w, h);
  p.bitmap = solid(w, h, colour);
  return p;
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

// The panel is stacked as the start-up creates it: Panel, the clock, the lamps, the notch
// pictures, the needles Speed, SAP, ER, BP, MR, BC, V, I, then the "[Others]" pictures; the
// trackside indications, the labels and the timetable card above them.
TEST(CabWidget, PanelIsStackedInCreationOrder) {
  constexpr std::uint32_t kPanel = 0xFF204080u, kLamp = 0xFFFF8000u, kCap = 0xFF0000FFu,
                          kRed = 0xFFFF0000u, kNotch = 0xFF00FFFFu;
  sim::CabModel m;
  m.Panel = picture(0, 240, 640, 200, kPanel);
  m.Panel2 = picture(0, 240, 640, 200, 0xFF000000u);
  m.Panel2.visible = false;
  // The clock at (300, 300), its right half under the door lamp; the minute hand points left.
  m.clock.exists = true;
  m.clock.drawn = true;
  m.clock.left = 275;
  m.clock.top = 275;
  m.clock.minute = {25, 25, 5, 25};
  m.Lamp_Door = picture(300, 280, 40, 40, kLamp);
  m.Lamp_R = picture(400, 250, 10, 10, kRed);
  m.Lamp_R.visible = false;  // a lamp that is off is not drawn
  m.Lamp_Fwd = picture(420, 250, 10, 10, kRed);
  m.NotchImageP = {10, 10, {solid(10, 10, kNotch)}};
  m.Lamp_P = sim::placed(440, 250, 10, 10);
  m.Lamp_P.draw(m.NotchImageP, 0);
  // Every needle pointing up; MR and BC share one gauge at (200, 300), Speed at (100, 300).
  const std::pair<sim::CabNeedle sim::CabModel::*, QPoint> needles[] = {
      {&sim::CabModel::Needle_I, {520, 300}},   {&sim::CabModel::Needle_V, {580, 300}},
      {&sim::CabModel::Needle_BC, {200, 300}},  {&sim::CabModel::Needle_MR, {200, 300}},
      {&sim::CabModel::Needle_BP, {460, 380}},  {&sim::CabModel::Needle_ER, {520, 380}},
      {&sim::CabModel::Needle_SAP, {580, 380}}, {&sim::CabModel::Needle_Speed, {100, 300}}};
  for (const auto& [member, centre] : needles) {
    sim::CabNeedle& n = m.*member;
    n.exists = true;
    n.left = centre.x() - 30;
    n.top = centre.y() - 30;
    n.width = 60;
    n.height = 60;
    n.bitmap = needlePicture(member == &sim::CabModel::Needle_MR ? kRed : kWhite);
  }
  // "[Others]": a hub cap on the speed needle's pivot and a glass over the BC/MR gauge's top.
  m.Others = {picture(95, 295, 11, 11, kCap), picture(190, 280, 20, 5, 0xFF808080u)};
  m.SignalImages = {50, 100, {solid(50, 100, kRed)}};
  m.SignalImage.draw(m.SignalImages, 0);
  m.PowerLabel.text = "P3";
  m.BrakeLabel.visible = false;
  m.Label1.text.clear();
  m.Label3.text.clear();

  shell::CabWidget w;
  w.setModel(&m);
  const QImage img = render(w);
  const std::vector<std::string> want = {
      "Panel",      "clock",     "Lamp_Door", "Lamp_Fwd",    "Lamp_P",    "Needle_Speed",
      "Needle_SAP", "Needle_ER", "Needle_BP", "Needle_MR",   "Needle_BC", "Needle_V",
      "Needle_I",   "Others[0]", "Others[1]", "SignalImage", "PowerLabel"};
  EXPECT_EQ(w.paintOrder(), want);
  saveScreenshot(w, "cab_stacking.png");

  EXPECT_EQ(img.pixel(100, 300), kCap) << "the hub cap covers the speed needle's pivot";
  EXPECT_EQ(img.pixel(100, 290), kWhite) << "the needle shows beyond the cap";
  EXPECT_EQ(img.pixel(200, 292), kWhite) << "BC lies on MR";
  EXPECT_EQ(img.pixel(200, 282), 0xFF808080u) << "the glass covers both";
  EXPECT_EQ(img.pixel(285, 300), kWhite) << "the minute hand";
  EXPECT_EQ(img.pixel(310, 300), kLamp) << "the door lamp covers the clock";
  EXPECT_EQ(img.pixel(445, 255), kNotch);

  // A repaint of one area draws only what meets it, in the same order, labels included.
  (void)w.grab(QRect(90, 290, 20, 20));
  EXPECT_EQ(w.paintOrder(), std::vector<std::string>({"Panel", "Needle_Speed", "Others[0]"}));
  (void)w.grab(QRect(590, 20, 8, 8));
  const std::vector<std::string> label = w.paintOrder();
  EXPECT_NE(std::find(label.begin(), label.end(), "PowerLabel"), label.end());
}

}  // namespace
}  // namespace dravolin::testing
