#include "cab/value_display.h"

#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <string>

#include "cab/cab_test_data.h"

namespace dravolin::cab {
namespace {

using sim::Fixed;

Fixed fx(long double v) { return Fixed::round(v); }

struct Scene {
  sim::TrainState s;
  sim::TrainParams p = testing::cabTrain().params;  // 300 t, 150 t motored
};

struct TextCase {
  const char* name;
  std::function<void(Scene&)> set;
  std::string ValueDisplay::*field;
  const char* expected;
};

const TextCase kTexts[] = {
    {"SpeedOneDecimal", [](Scene& c) { c.s.Speed = fx(45.67L); }, &ValueDisplay::Speed,
     "45.7 km/h"},
    {"SpeedHalfDown", [](Scene& c) { c.s.Speed = fx(45.65L); }, &ValueDisplay::Speed, "45.6 km/h"},
    {"SpeedHalfUp", [](Scene& c) { c.s.Speed = fx(45.75L); }, &ValueDisplay::Speed, "45.8 km/h"},
    {"SpeedBackwards", [](Scene& c) { c.s.Speed = fx(-12.34L); }, &ValueDisplay::Speed,
     "-12.3 km/h"},
    {"SpeedNearZeroBackwards", [](Scene& c) { c.s.Speed = fx(-0.04L); }, &ValueDisplay::Speed,
     "0.0 km/h"},
    {"BcShowsBrakePressure", [](Scene& c) { c.s.BrakePressure = fx(439.5L); }, &ValueDisplay::BC,
     "440 kPa"},
    {"SapHalfToEven", [](Scene& c) { c.s.SapPressure = fx(440.5L); }, &ValueDisplay::SAP,
     "440 kPa"},
    {"ErShowsBrakePipe", [](Scene& c) { c.s.BpPressure = fx(489.9L); }, &ValueDisplay::ER,
     "490 kPa"},
    {"Mr", [](Scene& c) { c.s.MrPressure = fx(780.4999L); }, &ValueDisplay::MR, "780 kPa"},
    {"Frame", [](Scene& c) { c.s.FrameIndex = -3; }, &ValueDisplay::Frame, "-3"},
    {"Projected", [](Scene& c) { c.s.FrameStep = 60; }, &ValueDisplay::Projected, "60 km/h"},
    {"Acceleration",
     [](Scene& c) {
       c.s.TractiveForce = fx(30000);
       c.s.ResistanceForce = fx(-3000);
     },
     &ValueDisplay::Acceleration, "0.3 km/h/s"},
    {"Deceleration", [](Scene& c) { c.s.TractiveForce = fx(-60000); }, &ValueDisplay::Acceleration,
     "-0.7 km/h/s"},
    {"AccelerationWithoutMass",
     [](Scene& c) {
       c.p.Tons = Fixed{};
       c.s.TractiveForce = fx(1000);
     },
     &ValueDisplay::Acceleration, "0.0 km/h/s"},
    {"Power", [](Scene& c) { c.s.TractiveForce = fx(200000.5L); }, &ValueDisplay::Power,
     "200000 N"},
    {"Resistance", [](Scene& c) { c.s.ResistanceForce = fx(-1234.5678L); },
     &ValueDisplay::Resistance, "-1235 N"},
    {"Slope", [](Scene& c) { c.s.Gradient = fx(-25); }, &ValueDisplay::Slope, "-25 Permil"},
    {"AdhesionHalfToEven", [](Scene& c) { c.s.AdhesionCoefficient = fx(0.345L); },
     &ValueDisplay::Adhesion, "0.34"},
    {"AdhesionAboveHalf", [](Scene& c) { c.s.AdhesionCoefficient = fx(0.3451L); },
     &ValueDisplay::Adhesion, "0.35"},
    {"AdhesionLimitPowered", [](Scene& c) { c.s.AdhesionCoefficient = fx(0.2L); },
     &ValueDisplay::AdhesionP, "294000 N"},
    {"AdhesionLimitBraked", [](Scene& c) { c.s.AdhesionCoefficient = fx(0.2L); },
     &ValueDisplay::AdhesionB, "-588000 N"},
    {"AdhesionLimitBrakedAtZero", [](Scene&) {}, &ValueDisplay::AdhesionB, "0 N"},
    {"Remain", [](Scene& c) { c.s.DistanceToStop = 12345; }, &ValueDisplay::Remain, "123 m"},
    {"TotalHalfToEven", [](Scene& c) { c.s.Distance = 250; }, &ValueDisplay::Total, "2 m"},
    {"NextStation", [](Scene& c) { c.s.NextStopDistance = 1000050; }, &ValueDisplay::NextStation,
     "10000 m"},
    {"Wheel", [](Scene& c) { c.s.wheelState = sim::WheelState::Racing; }, &ValueDisplay::Wheel,
     "Racing"},
};

class ValueDisplayTexts : public ::testing::TestWithParam<TextCase> {};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

TEST_P(ValueDisplayTexts, ShowTheirValue) {
  Scene c;
  GetParam().set(c);
  ValueDisplay vd;
  refreshValueDisplay(vd, c.s, c.p);
  EXPECT_EQ(vd.*GetParam().field, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Fields, ValueDisplayTexts, ::testing::ValuesIn(kTexts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ValueDisplayGauges, ForcesHeldAtTheEndsOfTheScale) {
  struct Case {
    long double tractive, adhesion, gradient;
    int gauge1, gauge2, gauge3;
  };
  const Case cases[] = {
      {200000, 0.2L, 0, 200000, 294000, -500000},      // level: gauge 2 equals the limit's text
      {0.5L, 0.2L, 25, 0, 293908, -500000},            // 25 permil: 0.03 percent less
      {600000, 0.1L, 0, 500000, 147000, -294000},      // beyond the right end
      {-700000, 0.345L, 0, -500000, 500000, -500000},  // beyond both ends
  };
  for (const Case& k : cases) {
    Scene c;
    c.s.TractiveForce = fx(k.tractive);
    c.s.AdhesionCoefficient = fx(k.adhesion);
    c.s.Gradient = fx(k.gradient);
    ValueDisplay vd;
    refreshValueDisplay(vd, c.s, c.p);
    EXPECT_EQ(vd.Gauge1, k.gauge1) << static_cast<double>(k.tractive);
    EXPECT_EQ(vd.Gauge2, k.gauge2) << static_cast<double>(k.adhesion);
    EXPECT_EQ(vd.Gauge3, k.gauge3) << static_cast<double>(k.adhesion);
  }
}

TEST(ValueDisplayLocale, PointWhateverTheLocale) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "no German locale installed";
  }
  Scene c;
  c.s.Speed = fx(45.67L);
  c.s.Distance = 123456789;
  ValueDisplay vd;
  refreshValueDisplay(vd, c.s, c.p);
  std::setlocale(LC_ALL, before.c_str());
  EXPECT_EQ(vd.Speed, "45.7 km/h");
  EXPECT_EQ(vd.Total, "1234568 m");
  EXPECT_EQ(formatFixed(-1234.25L, 1), "-1234.2");
}

}  // namespace
}  // namespace dravolin::cab
