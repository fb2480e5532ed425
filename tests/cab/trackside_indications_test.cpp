#include "cab/trackside_indications.h"

#include <gtest/gtest.h>

#include <vector>

namespace dravolin::cab {
namespace {

using sim::Fixed;

sim::CabModel cabWithImages() {
  sim::CabModel cab;
  cab.SignImages.images.resize(25);
  cab.OtherImages.images.resize(4);
  return cab;
}

TEST(SpeedLimitImage, MultiplesOfFiveFrom15To120) {
  const std::vector<std::pair<int, int>> cases = {{15, 3}, {35, 7},  {120, 24}, {37, 0},
                                                  {10, 0}, {125, 0}, {0, 0},    {-20, 0}};
  for (const auto& [limit, image] : cases) EXPECT_EQ(speedLimitImage(limit), image) << limit;
}

// One row: announced from 100, in force from 200 to 300.
struct LimitRun {
  std::vector<data::SpeedLimitRecord> rows;
  sim::TrainState s;
  sim::IndicationState ind;
  sim::CabModel cab = cabWithImages();
  void at(int frame) {
    s.FrameIndex = frame;
    speedLimitIndication(s, rows, ind, cab);
  }
};

data::SpeedLimitRecord limitRow(int limit, int announce, int start, int end) {
  data::SpeedLimitRecord r;
  r.limit = limit;
  r.announceFrame = announce;
  r.startFrame = start;
  r.endFrame = end;
  return r;
}

TEST(SpeedLimitIndication, AnnouncesThenShowsThenClears) {
  struct Step {
    int frame;
    int image;
    bool blinking;
    int shown;
  };
  LimitRun r;
  r.rows = {limitRow(35, 100, 200, 300)};
  for (const Step st :
       {Step{100, sim::kNoImage, false, 0}, Step{101, 7, true, 0},
        Step{200, sim::kNoImage, true, 0},  // on the start frame nothing matches
        Step{201, 7, false, 35}, Step{299, 7, false, 35}, Step{300, sim::kNoImage, false, 0}}) {
    r.at(st.frame);
    EXPECT_EQ(r.cab.SpeedLimitImage.image, st.image) << st.frame;
    EXPECT_EQ(r.ind.LimitBlinking, st.blinking) << st.frame;
    EXPECT_EQ(r.ind.ShownLimit, st.shown) << st.frame;
  }
  EXPECT_EQ(r.ind.AnnouncedLimit, 35);
}

TEST(SpeedLimitIndication, SecondAnnouncementWaitsForTheFlag) {
  LimitRun r;
  r.rows = {limitRow(35, 100, 200, 300), limitRow(60, 150, 400, 500)};
  r.at(120);
  EXPECT_EQ(r.cab.SpeedLimitImage.image, 7);
  r.at(160);  // the second row's announcement while the first one's flag is set
  EXPECT_EQ(r.cab.SpeedLimitImage.image, 7);
  EXPECT_EQ(r.ind.AnnouncedLimit, 60);
  r.at(250);  // the first limit in force clears the flag, then the announcement draws
  EXPECT_EQ(r.cab.SpeedLimitImage.image, 12);
  EXPECT_TRUE(r.ind.LimitBlinking);
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
  ind.LimitBlinking = false;
  cab.SpeedLimitImage.visible = false;
  speedLimitBlink(20, ind, cab);
  EXPECT_FALSE(cab.SpeedLimitImage.visible) << "only while announced";
}

TEST(GradientText, OneDecimal) {
  const std::vector<std::pair<long long, const char*>> cases = {
      {0, "0.0"},       {250000, "25.0"}, {-35000, "-3.5"}, {12500, "1.3"},
      {-12500, "-1.3"}, {12499, "1.2"},   {-400, "0.0"},    {1000000, "100.0"}};
  for (const auto& [raw, text] : cases) EXPECT_EQ(gradientText(Fixed::fromRaw(raw)), text) << raw;
}

data::SlopeRecord slope(long long permilRaw, int from, int to) {
  data::SlopeRecord r;
  r.gradient = Fixed::fromRaw(permilRaw);
  r.fromFrame = from;
  r.toFrame = to;
  return r;
}

TEST(GradientIndication, RowsGapsAndLevel) {
  struct Step {
    int frame;
    int image;
    const char* text;
    long long head;  // raw permil
  };
  // +10 from 100 to 200, then -5 directly to 300, a gap to 400, level to 500, a gap to 600, +2.5
  // to 700 (the last row).
  const std::vector<data::SlopeRecord> rows = {slope(100000, 100, 200), slope(-50000, 200, 300),
                                               slope(0, 400, 500), slope(25000, 600, 700)};
  sim::TrainState s;
  sim::CabModel cab = cabWithImages();
  for (const Step st :
       {Step{150, 1, "10.0", 100000}, Step{200, 1, "10.0", 100000}, Step{250, 2, "-5.0", -50000},
        Step{350, sim::kNoImage, "", 0}, Step{450, sim::kNoImage, "0.0", 0},
        Step{550, sim::kNoImage, "", 0}, Step{650, 1, "2.5", 25000}, Step{750, 1, "2.5", 25000}}) {
    s.FrameIndex = st.frame;
    gradientIndication(s, rows, cab);
    EXPECT_EQ(cab.SlopeImage.image, st.image) << st.frame;
    EXPECT_EQ(cab.SlopeText.text, st.text) << st.frame;
    EXPECT_EQ(s.HeadGradient.raw(), st.head) << st.frame;
  }
}

TEST(GradientIndication, LevelRowAfterAHillShowsNoSign) {
  const std::vector<data::SlopeRecord> rows = {slope(100000, 100, 200), slope(0, 200, 300)};
  sim::TrainState s;
  sim::CabModel cab = cabWithImages();
  s.FrameIndex = 150;
  gradientIndication(s, rows, cab);
  s.FrameIndex = 250;
  gradientIndication(s, rows, cab);
  EXPECT_FALSE(cab.SlopeImage.hasPicture());
  EXPECT_EQ(cab.SlopeText.text, "0.0");
  EXPECT_EQ(s.HeadGradient, Fixed());
}

TEST(SignIndication, StaysUntilNoRowMatches) {
  const std::vector<data::SignRecord> rows = {{1, 100, 200}, {2, 150, 250}, {9, 300, 400}};
  struct Step {
    int frame;
    int image;
    int shown;
  };
  sim::TrainState s;
  sim::IndicationState ind;  // starts at 0: the first sign waits for a tick without one
  sim::CabModel cab = cabWithImages();
  for (const Step st :
       {Step{120, sim::kNoImage, 0}, Step{90, sim::kNoImage, sim::kNoSign}, Step{100, 1, 1},
        Step{180, 1, 1}, Step{220, 1, 1}, Step{250, sim::kNoImage, sim::kNoSign},
        Step{300, sim::kNoImage, 9}}) {  // not in the list: nothing drawn
    s.FrameIndex = st.frame;
    signIndication(s, rows, ind, cab);
    EXPECT_EQ(cab.OtherImage.image, st.image) << st.frame;
    EXPECT_EQ(ind.ShownSign, st.shown) << st.frame;
  }
}

TEST(StopLine, SlidesDownAsTheStopComesNear) {
  struct Case {
    long double cm;
    int top;
  };
  sim::CabModel cab;
  for (const Case c : {Case{30000, -20}, Case{20000, -20}, Case{19999, -8}, Case{10000, 112},
                       Case{0, 232}, Case{-5000, 292}, Case{-10000, 292}, Case{-10001, 366}}) {
    sim::TrainState s;
    s.DistanceToStop = c.cm;
    stopLine(s, cab);  // -10000 keeps the top of the case before
    EXPECT_EQ(cab.stopline.top, c.top) << static_cast<double>(c.cm);
  }
}

}  // namespace
}  // namespace dravolin::cab
