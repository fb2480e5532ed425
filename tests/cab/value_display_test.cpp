#include "cab/value_display.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "cab/cab_test_data.h"

namespace dravolin::cab {
namespace {

using sim::Fixed;

Fixed fx(long double v) { return Fixed::round(v); }

TEST(FormatFixed, RoundsHalfToEvenWithPointAndSign) {
  const struct {
    long double value;
    int decimals;
    const char* exact;     // from the fixed-point value
    const char* computed;  // from the extended real; none where its binary value is off the tie
  } cases[] = {
      {45.67L, 1, "45.7", "45.7"},  {45.65L, 1, "45.6", nullptr},
      {45.75L, 1, "45.8", "45.8"},  {-12.34L, 1, "-12.3", "-12.3"},
      {-0.04L, 1, "0.0", "0.0"},    {0.345L, 2, "0.34", nullptr},
      {2.5L, 0, "2", "2"},          {-1234.5678L, 0, "-1235", "-1235"},
      {780.4999L, 0, "780", "780"}, {-1e30L, 4, "-922337203685477.5808", nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formatFixed(fx(c.value), c.decimals), c.exact) << c.exact;
    if (c.computed != nullptr) {
      EXPECT_EQ(formatFixed(fx(c.value).ld(), c.decimals), c.computed) << c.computed;
    }
  }
}

TEST(ValueDisplay, RefreshShowsEveryQuantity) {
  sim::TrainState s;
  const sim::TrainParams p = testing::cabTrain().params;  // 300 t, 150 t motored
  s.Speed = fx(45.67L);
  s.BrakePressure = fx(439.5L);
  s.SapPressure = fx(440.5L);
  s.BpPressure = fx(489.9L);
  s.MrPressure = fx(780);
  s.FrameIndex = -3;
  s.FrameStep = 60;
  s.TractiveForce = fx(-60000);
  s.ResistanceForce = fx(-1234.5678L);
  s.Gradient = fx(-25);
  s.AdhesionCoefficient = fx(0.2L);
  s.DistanceToStop = 12345;
  s.Distance = 250;
  s.NextStopDistance = 1000050;
  s.wheelState = sim::WheelState::Sliding;
  ValueDisplay vd;
  refreshValueDisplay(vd, s, p);

  const std::pair<std::string ValueDisplay::*, const char*> fields[] = {
      {&ValueDisplay::Speed, "45.7 km/h"},     {&ValueDisplay::BC, "440 kPa"},
      {&ValueDisplay::SAP, "440 kPa"},         {&ValueDisplay::ER, "490 kPa"},
      {&ValueDisplay::MR, "780 kPa"},          {&ValueDisplay::Frame, "-3"},
      {&ValueDisplay::Projected, "60 km/h"},   {&ValueDisplay::Acceleration, "-0.7 km/h/s"},
      {&ValueDisplay::Power, "-60000 N"},      {&ValueDisplay::Resistance, "-1235 N"},
      {&ValueDisplay::Slope, "-25 Permil"},    {&ValueDisplay::Adhesion, "0.20"},
      {&ValueDisplay::AdhesionP, "294000 N"},  {&ValueDisplay::AdhesionB, "-588000 N"},
      {&ValueDisplay::Remain, "123 m"},        {&ValueDisplay::Total, "2 m"},
      {&ValueDisplay::NextStation, "10000 m"}, {&ValueDisplay::Wheel, "Sliding"},
  };
  for (const auto& [field, expected] : fields) {
    EXPECT_EQ(vd.*field, expected);
  }
}

TEST(ValueDisplay, AccelerationOfATrainWithoutMassIsZero) {
  sim::TrainState s;
  s.TractiveForce = fx(1000);
  ValueDisplay vd;
  refreshValueDisplay(vd, s, sim::TrainParams{});
  EXPECT_EQ(vd.Acceleration, "0.0 km/h/s");
  EXPECT_EQ(vd.AdhesionB, "0 N");
}

TEST(ValueDisplay, GaugesHeldAtTheEndsOfTheScale) {
  const struct {
    long double tractive, adhesion, gradient;
    int gauge1, gauge2, gauge3;
  } cases[] = {
      {200000, 0.2L, 0, 200000, 294000, -500000},      // level: gauge 2 equals the limit's text
      {0.5L, 0.2L, 25, 0, 293908, -500000},            // 25 permil: 0.03 percent less
      {600000, 0.1L, 0, 500000, 147000, -294000},      // beyond the right end
      {-700000, 0.345L, 0, -500000, 500000, -500000},  // beyond both ends
  };
  for (const auto& c : cases) {
    sim::TrainState s;
    s.TractiveForce = fx(c.tractive);
    s.AdhesionCoefficient = fx(c.adhesion);
    s.Gradient = fx(c.gradient);
    ValueDisplay vd;
    refreshValueDisplay(vd, s, testing::cabTrain().params);
    EXPECT_EQ(vd.Gauge1, c.gauge1) << static_cast<double>(c.tractive);
    EXPECT_EQ(vd.Gauge2, c.gauge2) << static_cast<double>(c.adhesion);
    EXPECT_EQ(vd.Gauge3, c.gauge3) << static_cast<double>(c.adhesion);
  }
}

TEST(ValueDisplay, PointWhateverTheLocale) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "no German locale installed";
  }
  const std::string speed = formatFixed(fx(45.67L), 1);
  const std::string computed = formatFixed(-1234.25L, 1);
  std::setlocale(LC_ALL, before.c_str());
  EXPECT_EQ(speed, "45.7");
  EXPECT_EQ(computed, "-1234.2");
}

}  // namespace
}  // namespace dravolin::cab
