#include "cab/value_display.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "cab/cab_test_data.h"
#include "cab/trackside_indications.h"

namespace dravolin::cab {
namespace {

using sim::Fixed;

Fixed fx(long double v) { return Fixed::round(v); }

// Every number the cab shows goes through sim::formatFixed: an exact half goes to the even
// digit, in the value display's stored and computed quantities and in the gradient text alike.
TEST(ShownNumbers, HalvesGoToTheEvenDigitEverywhere) {
  using Field = std::string ValueDisplay::*;
  const struct {
    const char* what;
    void (*set)(sim::TrainState&);
    Field field;  // null: the gradient text of the state's Gradient
    const char* text;
  } cases[] = {
      {"speed 45.65", [](sim::TrainState& s) { s.Speed = fx(45.65L); }, &ValueDisplay::Speed,
       "45.6 km/h"},
      {"speed 45.75", [](sim::TrainState& s) { s.Speed = fx(45.75L); }, &ValueDisplay::Speed,
       "45.8 km/h"},
      {"speed -0.04", [](sim::TrainState& s) { s.Speed = fx(-0.04L); }, &ValueDisplay::Speed,
       "0.0 km/h"},
      {"pressure 440.5", [](sim::TrainState& s) { s.BrakePressure = fx(440.5L); },
       &ValueDisplay::BC, "440 kPa"},
      {"pressure 441.5", [](sim::TrainState& s) { s.MrPressure = fx(441.5L); }, &ValueDisplay::MR,
       "442 kPa"},
      // 12500 N on 300 t: 0.15 km/h/s, a decimal half whatever its binary value.
      {"acceleration 0.15", [](sim::TrainState& s) { s.TractiveForce = fx(12500); },
       &ValueDisplay::Acceleration, "0.2 km/h/s"},
      // 7500 N: 0.09 km/h/s; 22500 N back: -0.27 km/h/s.
      {"acceleration 0.09", [](sim::TrainState& s) { s.TractiveForce = fx(7500); },
       &ValueDisplay::Acceleration, "0.1 km/h/s"},
      {"acceleration -0.27", [](sim::TrainState& s) { s.ResistanceForce = fx(-22500); },
       &ValueDisplay::Acceleration, "-0.3 km/h/s"},
      {"adhesion 0.125", [](sim::TrainState& s) { s.AdhesionCoefficient = Fixed::fromRaw(1250); },
       &ValueDisplay::Adhesion, "0.12"},
      {"distance 122.5 m", [](sim::TrainState& s) { s.DistanceToStop = 12250; },
       &ValueDisplay::Remain, "122 m"},
      {"distance 123.5 m", [](sim::TrainState& s) { s.Distance = 12350; }, &ValueDisplay::Total,
       "124 m"},
      {"distance -0.5 m", [](sim::TrainState& s) { s.NextStopDistance = -50; },
       &ValueDisplay::NextStation, "0 m"},
      {"gradient 2.25", [](sim::TrainState& s) { s.Gradient = Fixed::fromRaw(22500); }, nullptr,
       "2.2"},
      {"gradient 2.35", [](sim::TrainState& s) { s.Gradient = Fixed::fromRaw(23500); }, nullptr,
       "2.4"},
      {"gradient -2.25", [](sim::TrainState& s) { s.Gradient = Fixed::fromRaw(-22500); }, nullptr,
       "-2.2"},
      {"gradient -0.05", [](sim::TrainState& s) { s.Gradient = Fixed::fromRaw(-500); }, nullptr,
       "0.0"},
      {"gradient -12.499", [](sim::TrainState& s) { s.Gradient = Fixed::fromRaw(-124990); },
       nullptr, "-12.5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::TrainState s;
    c.set(s);
    if (c.field == nullptr) {
      EXPECT_EQ(gradientText(s.Gradient), c.text);
      continue;
    }
    ValueDisplay vd;
    refreshValueDisplay(vd, s, testing::cabTrain().params);
    EXPECT_EQ(vd.*c.field, c.text);
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
  sim::TrainState s;
  s.Speed = fx(45.67L);
  s.TractiveForce = fx(-102854166.6667L);  // -1234.25 km/h/s on 300 t
  ValueDisplay vd;
  refreshValueDisplay(vd, s, testing::cabTrain().params);
  const std::string gradient = gradientText(fx(-2.35L));
  std::setlocale(LC_ALL, before.c_str());
  EXPECT_EQ(vd.Speed, "45.7 km/h");
  EXPECT_EQ(vd.Acceleration, "-1234.2 km/h/s");
  EXPECT_EQ(gradient, "-2.4");
}

}  // namespace
}  // namespace dravolin::cab
