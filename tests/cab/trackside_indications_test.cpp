#include "cab/trackside_indications.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace dravolin::cab {
namespace {

using sim::Fixed;
using sim::kNoImage;

sim::CabModel cabWithImages() {
  sim::CabModel cab;
  cab.SignImages.images.resize(25);
  cab.OtherImages.images.resize(4);
  return cab;
}

data::SpeedLimitRecord limitRow(int limit, int announce, int start, int end) {
  data::SpeedLimitRecord r;
  r.limit = limit;
  r.announceFrame = announce;
  r.startFrame = start;
  r.endFrame = end;
  return r;
}

TEST(SpeedLimitIndication, AnnouncesThenShowsThenClears) {
  EXPECT_EQ(speedLimitImage(35), 7);
  EXPECT_EQ(speedLimitImage(120), 24);
  EXPECT_EQ(speedLimitImage(37), 0);
  EXPECT_EQ(speedLimitImage(125), 0);
  // 35 km/h announced from 100, in force 200 to 300; 60 km/h announced from 250.
  const std::vector<data::SpeedLimitRecord> rows = {limitRow(35, 100, 200, 300),
                                                    limitRow(60, 250, 400, 500)};
  sim::TrainState s;
  sim::IndicationState ind;
  sim::CabModel cab = cabWithImages();
  for (const auto& [frame, image, blinking, shown] :
       {std::tuple{100, kNoImage, false, 0}, std::tuple{101, 7, true, 0},
        std::tuple{200, kNoImage, true, 0},  // on the start frame no row matches
        std::tuple{201, 7, false, 35},
        std::tuple{260, 12, true, 35},  // in force, then the next announcement draws
        std::tuple{300, 12, true, 35},  // second announcement alone: not drawn again
        std::tuple{500, kNoImage, true, 0}}) {
    s.FrameIndex = frame;
    speedLimitIndication(s, rows, ind, cab);
    EXPECT_EQ(cab.SpeedLimitImage.image, image) << frame;
    EXPECT_EQ(ind.LimitBlinking, blinking) << frame;
    EXPECT_EQ(ind.ShownLimitKmh, shown) << frame;
  }
  EXPECT_EQ(ind.AnnouncedLimitKmh, 60);
}

TEST(SpeedLimitBlink, HalfASecondOffEverySecond) {
  sim::CabModel cab;
  sim::IndicationState ind;
  ind.LimitBlinking = true;
  std::string seen;
  for (int tick = 1; tick <= 10; ++tick) {
    speedLimitBlink(tick, ind, cab);
    seen += cab.SpeedLimitImage.visible ? '+' : '-';
  }
  EXPECT_EQ(seen, "++++-----+");
}

data::SlopeRecord slope(long long permilRaw, int from, int to) {
  data::SlopeRecord r;
  r.gradient = Fixed::fromRaw(permilRaw);
  r.fromFrame = from;
  r.toFrame = to;
  return r;
}

TEST(GradientIndication, RowsGapsAndLevel) {
  EXPECT_EQ(gradientText(Fixed::fromRaw(12500)), "1.2");  // a half: the even digit
  EXPECT_EQ(gradientText(Fixed::fromRaw(-12501)), "-1.3");
  EXPECT_EQ(gradientText(Fixed::fromRaw(-400)), "0.0");
  // +10 to 200, -5 directly after to 300, a gap, level 400 to 500, +10 to 600, a gap, and +2.5
  // from 700 as the last row.
  const std::vector<data::SlopeRecord> rows = {slope(100000, 100, 200), slope(-50000, 200, 300),
                                               slope(0, 400, 500), slope(100000, 500, 600),
                                               slope(25000, 700, 800)};
  sim::TrainState s;
  sim::CabModel cab = cabWithImages();
  for (const auto& [frame, image, text, head] :
       {std::tuple{150, 1, "10.0", 100000}, std::tuple{250, 2, "-5.0", -50000},
        std::tuple{350, kNoImage, "", 0}, std::tuple{450, kNoImage, "0.0", 0},
        std::tuple{550, 1, "10.0", 100000}, std::tuple{650, kNoImage, "", 0},
        std::tuple{750, 1, "2.5", 25000}, std::tuple{850, 1, "2.5", 25000}}) {
    s.FrameIndex = frame;
    gradientIndication(s, rows, cab);
    EXPECT_EQ(cab.SlopeImage.image, image) << frame;
    EXPECT_EQ(cab.SlopeText.text, text) << frame;
    EXPECT_EQ(s.HeadGradient.raw(), head) << frame;
  }
  s.FrameIndex = 450;  // level directly after a hill: no sign
  gradientIndication(s, rows, cab);
  EXPECT_FALSE(cab.SlopeImage.hasPicture());
}

TEST(SignIndication, StaysUntilNoRowMatches) {
  const std::vector<data::SignRecord> rows = {{1, 100, 200}, {2, 150, 250}, {9, 300, 400}};
  sim::TrainState s;
  sim::IndicationState ind;  // starts at 0: a first sign waits for a tick without one
  sim::CabModel cab = cabWithImages();
  for (const auto& [frame, image, shown] :
       {std::tuple{120, kNoImage, 0}, std::tuple{90, kNoImage, 999}, std::tuple{100, 1, 1},
        std::tuple{220, 1, 1}, std::tuple{250, kNoImage, 999},
        std::tuple{300, kNoImage, 9}}) {  // an image the list lacks draws nothing
    s.FrameIndex = frame;
    signIndication(s, rows, ind, cab);
    EXPECT_EQ(cab.OtherImage.image, image) << frame;
    EXPECT_EQ(ind.ShownSign, shown) << frame;
  }
}

TEST(StopLine, SlidesDownAsTheStopComesNear) {
  sim::CabModel cab;
  for (const auto& [cm, top] :
       {std::pair{20000.0L, -20}, std::pair{19999.0L, -8}, std::pair{10000.0L, 112},
        std::pair{0.0L, 232}, std::pair{-5000.0L, 292}, std::pair{-10000.0L, 292},  // kept
        std::pair{-10001.0L, 366}}) {
    sim::TrainState s;
    s.DistanceToStop = cm;
    stopLine(s, cab);
    EXPECT_EQ(cab.stopline.top, top) << static_cast<double>(cm);
  }
}

}  // namespace
}  // namespace dravolin::cab
