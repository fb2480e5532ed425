#include "sim/clock.h"

#include <gtest/gtest.h>

namespace dravolin::sim {
namespace {

struct ClockCase {
  int time;
  const char* digits;
};

class Timecalc : public ::testing::TestWithParam<ClockCase> {};

TEST_P(Timecalc, ShowsHoursMinutesSeconds) {
  CabLabel label;
  CabClock face;  // no face: only the digits
  timecalc(GetParam().time, label, face);
  EXPECT_EQ(label.text, GetParam().digits);
  EXPECT_FALSE(face.drawn);
}

INSTANTIATE_TEST_SUITE_P(Times, Timecalc,
                         ::testing::Values(ClockCase{0, "00:00:00"},
                                           ClockCase{(7 * 3600 + 5 * 60 + 9) * 30 + 29, "07:05:09"},
                                           ClockCase{25 * kTicksPerHour, "25:00:00"},
                                           ClockCase{100 * kTicksPerHour, "100:00:00"},
                                           ClockCase{24 * kTicksPerHour - 1, "23:59:59"}));

TEST(Timecalc, HandsAtHalfPastTen) {
  CabLabel label;
  CabClock face;
  face.exists = true;
  face.handLength = 20;
  timecalc((10 * 3600 + 30 * 60) * 30, label, face);
  EXPECT_TRUE(face.drawn);
  // Hour hand at 315 degrees, length round(12.0) = 12: up and to the left.
  EXPECT_EQ(face.hour.x1, 25);
  EXPECT_EQ(face.hour.y1, 25);
  EXPECT_EQ(face.hour.x2, 25 - 8);  // round(-8.485)
  EXPECT_EQ(face.hour.y2, 25 - 8);
  // Minute hand at 180 degrees: straight down.
  EXPECT_EQ(face.minute.x2, 25);
  EXPECT_EQ(face.minute.y2, 45);
  // Second hand at 0 degrees: straight up.
  EXPECT_EQ(face.second.x2, 25);
  EXPECT_EQ(face.second.y2, 5);
}

}  // namespace
}  // namespace dravolin::sim
