#include "sim/forces.h"

#include <gtest/gtest.h>

#include "fixtures/sample_trains.h"

namespace dravolin::sim {
namespace {

using testing::electricTrain;
using testing::kmh;
using testing::readyState;
using testing::testLine;

// 300 t train, BrakeRate 4 km/h/s at EBPress 440 kPa.
TEST(BrakingForce, OpposesTheMotionAndVanishesAtStandstill) {
  const TrainParams p = electricTrain();
  struct Case {
    long double speed;
    long double force;
  };
  for (const Case& c : {Case{10, -166666.6667L}, Case{-10, 166666.6667L}, Case{0, 0}}) {
    TrainState s = readyState(p, testLine());
    s.BrakePressure = Fixed::fromInt(220);
    s.Speed = kmh(c.speed);
    brakingForce(s, p);
    EXPECT_NEAR(s.TractiveForce.ld(), c.force, 0.00005L) << "speed " << c.speed;
  }
  TrainState s = readyState(p, testLine());
  s.BrakePressure = Fixed();
  s.Speed = kmh(10);
  brakingForce(s, p);
  EXPECT_EQ(s.TractiveForce, Fixed());
}

TEST(AdhesionCoefficient, FallsWithSpeed) {
  TrainState s;
  s.AdhesionBase = Fixed::fromRaw(3450);
  struct Case {
    long double speed;
    std::int64_t raw;
  };
  for (const Case& c : {Case{0, 3450}, Case{100, 1882}, Case{-100, 1882}, Case{10, 2588}}) {
    s.Speed = kmh(c.speed);
    adhesionCoefficient(s);
    EXPECT_EQ(s.AdhesionCoefficient.raw(), c.raw) << "speed " << c.speed;
  }
}

TEST(GradientForce, PullsBackUphillAndForwardDownhill) {
  const TrainParams p = electricTrain();
  TrainState s;
  s.Gradient = Fixed::fromInt(10);
  gradientForce(s, p);
  EXPECT_NEAR(s.ResistanceForce.ld(), -29398.5301L, 0.00005L);
  s.ResistanceForce = Fixed();
  s.Gradient = Fixed::fromInt(-10);
  gradientForce(s, p);
  EXPECT_NEAR(s.ResistanceForce.ld(), 29398.5301L, 0.00005L);
}

// Mt 150 t driven, 300 t in all; at standstill mu = 0.345.
TEST(AdhesionCheck, SpinUnderPowerSlideUnderBrake) {
  const TrainParams p = electricTrain();
  struct Case {
    const char* what;
    int powerHandle;
    int brakeHandle;
    long double gradient;
    long double force;
    long double expectedForce;
    WheelState expected;
  };
  const Case cases[] = {
      {"below the driven adhesion", 4, 0, 0, 507150, 507150, WheelState::Normal},
      {"above it spins to half of it", 4, 0, 0, 507150.0001L, 253575, WheelState::Racing},
      {"the handle counts, not the force's source", 0, 0, 0, 600000, 600000, WheelState::Normal},
      {"the slope lowers the limit", 4, 0, 100, 506000, 253575, WheelState::Racing},
      {"braking within the train's adhesion", 0, -8, 0, -1014300, -1014300, WheelState::Normal},
      {"braking beyond it slides", 0, -7, 0, -1014300.0001L, -1014300, WheelState::Sliding},
      {"a released handle never slides", 0, 0, 0, -2000000, -2000000, WheelState::Normal},
  };
  for (const Case& c : cases) {
    TrainState s = readyState(p, testLine());
    s.AdhesionCoefficient = Fixed::fromRaw(3450);
    s.PowerHandle = c.powerHandle;
    s.BrakeHandle = c.brakeHandle;
    s.Gradient = Fixed::round(c.gradient);
    s.TractiveForce = Fixed::round(c.force);
    adhesionCheck(s, p);
    EXPECT_NEAR(s.TractiveForce.ld(), c.expectedForce, 0.00005L) << c.what;
    EXPECT_EQ(s.wheelState, c.expected) << c.what;
  }
}

TEST(WheelState, ShownAsText) {
  EXPECT_STREQ(wheelStateText(WheelState::Racing), "Racing");
  EXPECT_STREQ(wheelStateText(WheelState::Sliding), "Sliding");
  EXPECT_STREQ(wheelStateText(WheelState::Normal), "Normal");
  EXPECT_STREQ(wheelStateText(WheelState::None), "");
}

TEST(StartingResistance, EightKilogramsPerTonneFallingToZeroAtEight) {
  const TrainParams p = electricTrain();
  struct Case {
    long double speed;
    long double force;
  };
  for (const Case& c : {Case{0, 0}, Case{0.0001L, -23519.7060L}, Case{2, -17640}, Case{-2, 17640},
                        Case{7.9999L, -0.2940L}, Case{8, 0}}) {
    TrainState s;
    s.Speed = kmh(c.speed);
    startingResistance(s, p);
    EXPECT_NEAR(s.ResistanceForce.ld(), c.force, 0.00005L) << "speed " << c.speed;
  }
}

TEST(RunningResistance, GrowsWithSpeedAndCars) {
  TrainParams p = electricTrain();
  struct Case {
    long double speed;
    int cars;
    long double force;
  };
  // 9.8 x (1.32 x 300 + 0.0164 x 300 x 50 + (0.028 + 0.0078 x 9) x 2500) = 8697.5
  for (const Case& c :
       {Case{50, 10, -8697.5L}, Case{-50, 10, 8697.5L}, Case{0.1L, 10, 0}, Case{50, 1, -6977.6L}}) {
    p.Cars = c.cars;
    TrainState s;
    s.Speed = kmh(c.speed);
    runningResistance(s, p);
    EXPECT_NEAR(s.ResistanceForce.ld(), c.force, 0.00005L) << "speed " << c.speed;
  }
}

TEST(HoldingBrake, CancelsTheDownhillPushOnly) {
  struct Case {
    bool holding;
    long double gradient;
    long double resistance;
    long double force;
  };
  for (const Case& c : {Case{true, -5, 1000, -1000}, Case{false, -5, 1000, 0},
                        Case{true, 5, 1000, 0}, Case{true, -5, -1000, 0}}) {
    TrainState s;
    s.HoldingBrake = c.holding;
    s.Gradient = Fixed::round(c.gradient);
    s.ResistanceForce = Fixed::round(c.resistance);
    holdingBrake(s);
    EXPECT_EQ(s.TractiveForce, Fixed::round(c.force));
  }
}

TEST(SpeedIntegration, AddsResistanceThenTractionOverATenthOfASecond) {
  const TrainParams p = electricTrain();
  TrainState s;
  s.TractiveForce = Fixed::fromInt(250000);  // 250000 / 300000 x 0.36 = 0.3 km/h
  s.ResistanceForce = Fixed::fromInt(-30000);
  integrateSpeed(s, p);
  EXPECT_EQ(s.Speed, Fixed::round(0.264L));
}

// Standing still with power on the level: no starting resistance at exactly 0, so the first
// display tick moves the train.
TEST(ForcesAndSpeed, FirstTickWithPowerMovesTheTrain) {
  const TrainParams p = electricTrain();
  TrainState s = readyState(p, testLine());
  s.BrakePressure = Fixed();
  s.PowerHandle = 4;
  s.TractiveForce = Fixed::fromInt(250000);
  forcesAndSpeed(s, p);
  EXPECT_EQ(s.Speed, Fixed::round(0.3L));
  EXPECT_EQ(s.wheelState, WheelState::Normal);
}

// The eight steps one after the other, with nothing to keep friction from reversing the motion.
TrainState eightSteps(TrainState s, const TrainParams& p) {
  brakingForce(s, p);
  adhesionCoefficient(s);
  gradientForce(s, p);
  adhesionCheck(s, p);
  startingResistance(s, p);
  runningResistance(s, p);
  holdingBrake(s);
  integrateSpeed(s, p);
  return s;
}

// Brakes and resistances bring the train to exactly 0 and hold it there; the slope and the
// traction still move it, and then every number is that of the eight steps. The 300 t train holds
// with 333333 N of brake at 440 kPa plus 23520 N of starting resistance.
TEST(ForcesAndSpeed, FrictionStopsTheTrainButNeverReversesIt) {
  const struct {
    const char* name;
    long double speed;  // km/h
    int gradient;       // permil
    int brakePressure;  // kPa
    int traction;       // N, as left by the simulation tick
    bool holding;       // holding brake set
    bool stops;         // the speed becomes exactly 0; otherwise the eight steps' speed
  } cases[] = {
      {"braked, rolling slowly forward on the level", 0.1L, 0, 440, 0, false, true},
      {"braked, rolling slowly backward on the level", -0.1L, 0, 440, 0, false, true},
      {"braked, rolling slowly up a rise", 0.1L, 10, 440, 0, false, true},
      {"braked, rolling slowly back down a rise", -0.1L, 10, 440, 0, false, true},
      {"braked, rolling slowly down a fall", 0.1L, -10, 440, 0, false, true},
      {"released, the rise itself turns the train", 0.01L, 30, 0, 0, false, false},
      {"reversed traction turns the train", 0.1L, 0, 0, -250000, false, false},
      {"braked, still well above zero", 5.0L, 0, 440, 0, false, false},
      {"released, coasting", 30.0L, 0, 0, 0, false, false},
      {"standing, powered against the full brake", 0.0L, 0, 440, 250000, false, true},
      {"standing, powered against a weak brake", 0.0L, 0, 100, 250000, false, false},
      {"standing braked on a rise", 0.0L, 25, 440, 0, false, true},
      {"standing braked on a fall", 0.0L, -25, 440, 0, false, true},
      {"standing released on a gentle fall", 0.0L, -5, 0, 0, false, true},
      {"standing released on a steep fall", 0.0L, -25, 0, 0, false, false},
      {"standing released on a steep rise", 0.0L, 25, 0, 0, false, false},
  };
  const TrainParams p = electricTrain();
  for (const auto& c : cases) {
    TrainState s = readyState(p, testLine());
    s.Speed = kmh(c.speed);
    s.Gradient = Fixed::fromInt(c.gradient);
    s.BrakePressure = Fixed::fromInt(c.brakePressure);
    s.BrakeHandle = c.brakePressure > 0 ? -4 : 0;
    s.TractiveForce = Fixed::fromInt(c.traction);
    s.PowerHandle = c.traction != 0 ? 4 : 0;
    s.HoldingBrake = c.holding;
    const TrainState unguarded = eightSteps(s, p);
    forcesAndSpeed(s, p);
    if (c.stops) {
      EXPECT_EQ(s.Speed, Fixed()) << c.name;
      EXPECT_NE(unguarded.Speed, Fixed()) << c.name << ": no stop to keep";
    } else {
      EXPECT_EQ(s.Speed, unguarded.Speed) << c.name;
      EXPECT_NE(s.Speed, Fixed()) << c.name;
    }
    EXPECT_EQ(s.TractiveForce, unguarded.TractiveForce) << c.name;
    EXPECT_EQ(s.ResistanceForce, unguarded.ResistanceForce) << c.name;
  }
}

// Braked to a stand, the train stays at exactly 0 tick after tick.
TEST(ForcesAndSpeed, BrakedTrainStaysAtRest) {
  const TrainParams p = electricTrain();
  TrainState s = readyState(p, testLine());
  s.BrakePressure = Fixed::fromInt(440);
  s.BrakeHandle = -4;
  s.Speed = kmh(0.1L);
  for (int tick = 0; tick < 50; ++tick) {
    s.TractiveForce = Fixed();
    s.ResistanceForce = Fixed();
    forcesAndSpeed(s, p);
    EXPECT_EQ(s.Speed, Fixed()) << "tick " << tick;
  }
}

TEST(AverageGradient, SamplesEveryTwentyMetresOneCarAtATime) {
  TrainParams p = electricTrain();
  p.Cars = 3;
  TrainState s;
  struct Step {
    long double distance;
    long double head;
    long double gradient;
  };
  const Step steps[] = {
      {2000, 10.4L, 0},           // exactly 20 m: no sample yet
      {2000.5L, 10.4L, 3.3333L},  // [10, 0, 0]
      {4000, 20, 3.3333L},        // 1999.5 cm since the last sample
      {4001, 20, 10},             // [20, 10, 0]
      {6002, -5, 8.3333L},        // [-5, 20, 10]
      {8003, 11.5L, 9},           // [12, -5, 20]: halves round to even
      {6002, 10.5L, 9},           // backwards, 20.01 m: [10, 12, -5]
  };
  for (const Step& st : steps) {
    s.Distance = st.distance;
    s.HeadGradient = Fixed::round(st.head);
    averageGradient(s, p);
    if (st.distance == 6002 && st.head == 10.5L) {
      EXPECT_EQ(s.CarGradients[0], 10);
      EXPECT_NEAR(s.Gradient.ld(), 17.0L / 3.0L, 0.00005L);
    } else {
      EXPECT_NEAR(s.Gradient.ld(), st.gradient, 0.00005L) << "at " << st.distance;
    }
  }
  EXPECT_EQ(s.CarGradients[3], 0);  // beyond the train's cars nothing moves
}

}  // namespace
}  // namespace dravolin::sim
