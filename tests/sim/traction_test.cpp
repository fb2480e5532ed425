#include "sim/traction.h"

#include <gtest/gtest.h>

#include "sim/simulation_tick.h"
#include "fixtures/sample_trains.h"

namespace dravolin::sim {
namespace {

using testing::dieselTrain;
using testing::electricTrain;
using testing::kmh;
using testing::readyState;
using testing::testLine;

struct NotchCase {
  const char* region;
  long double speed;  // km/h, signed
  int notch;
  long double force;  // N expected after one electric traction step
};

class ElectricNotchCurve : public ::testing::TestWithParam<NotchCase> {};

// Notch 4: A 3.0, B 2.5, V1 40, V2 80, N 0.98 on a 300 t train: F = 300000 a / 3.6.
TEST_P(ElectricNotchCurve, ExactlyOneRegionAddsItsForce) {
  const TrainParams p = electricTrain();
  TrainState s = readyState(p, testLine());
  s.Speed = kmh(GetParam().speed);
  s.PowerNotch = GetParam().notch;
  electricTraction(s, p);
  EXPECT_NEAR(s.TractiveForce.ld(), GetParam().force, 0.00005L) << GetParam().region;
}

INSTANTIATE_TEST_SUITE_P(
    Regions, ElectricNotchCurve,
    ::testing::Values(NotchCase{"standstill gives A", 0, 4, 250000.0L},
                      NotchCase{"linear between A and B", 20, 4, 229166.6667L},
                      NotchCase{"reverse motion uses |Speed|", -20, 4, 229166.6667L},
                      NotchCase{"at V1 the constant-power value, once", 40, 4, 208333.3333L},
                      NotchCase{"constant power", 60, 4, 138888.8889L},
                      NotchCase{"at V2 the decay formula with N^0, once", 80, 4, 104166.6667L},
                      NotchCase{"decay above V2", 100, 4, 55633.9976L},
                      NotchCase{"decay exponent uses the rounded speed", 100.4L, 4, 55412.3483L},
                      NotchCase{"a half rounds to the even speed (100)", 100.5L, 4, 55357.2116L},
                      NotchCase{"a half rounds to the even speed (102)", 101.5L, 4, 52641.2723L},
                      NotchCase{"a notch beyond the table uses its top row", 60, 6, 138888.8889L},
                      NotchCase{"notch 1 at standstill", 0, 1, 83333.3333L}));

TEST(ElectricTraction, NoForceWithoutNotchOrTable) {
  TrainParams p = electricTrain();
  TrainState s = readyState(p, testLine());
  s.PowerNotch = 0;
  electricTraction(s, p);
  EXPECT_EQ(s.TractiveForce, Fixed());
  p.NotchTable.clear();
  s.PowerNotch = 2;
  electricTraction(s, p);
  EXPECT_EQ(s.TractiveForce, Fixed());
}

TEST(ElectricTraction, ZeroFirstRegionAtStandstillUsesB) {
  TrainParams p = electricTrain();
  p.NotchTable = {{3.0, 2.5, 0, 80, 0.98}};
  TrainState s = readyState(p, testLine());
  s.PowerNotch = 1;
  electricTraction(s, p);
  EXPECT_NEAR(s.TractiveForce.ld(), 300000.0L * 2.5L / 3.6L, 0.00005L);
}

struct GearCase {
  int gear;
  long double speed;
  long double engineOutput;
  int notch;
  long double force;
};

class DieselTraction : public ::testing::TestWithParam<GearCase> {};

// 40 t railcar, four notches: F = a x (EngineOutput / 100) / 3.6 x 40000 / 4 x notch.
TEST_P(DieselTraction, InterpolatesTheGearRow) {
  const TrainParams p = dieselTrain();
  TrainState s = readyState(p, testLine());
  s.Gear = GetParam().gear;
  s.Speed = kmh(GetParam().speed);
  s.EngineOutput = GetParam().engineOutput;
  s.PowerNotch = GetParam().notch;
  dieselTraction(s, p);
  EXPECT_NEAR(s.TractiveForce.ld(), GetParam().force, 0.00005L);
}

INSTANTIATE_TEST_SUITE_P(
    Gears, DieselTraction,
    ::testing::Values(GearCase{0, 0, 100, 4, 22222.2222L},   // A0 2.0
                      GearCase{0, 10, 100, 4, 20000.0L},     // 2.0 + 10 x -0.4 / 20 = 1.8
                      GearCase{0, 20, 100, 4, 17777.7778L},  // at V1: A1 1.6
                      GearCase{0, 30, 100, 4, 14444.4444L},  // 1.6 + 10 x -0.6 / 20 = 1.3
                      GearCase{0, 50, 100, 4, 7777.7778L},   // beyond V2 the line goes on: 0.7
                      GearCase{1, 20, 100, 4, 11666.6667L},  // below V0 |v - V0|: 1.05
                      GearCase{1, 60, 100, 4, 8333.3333L},   // 0.9 + 10 x -0.3 / 20 = 0.75
                      GearCase{0, 10, 50, 2, 5000.0L},       // half output, half the notches
                      GearCase{0, 10, 100, 6, 20000.0L},     // a notch above Power acts as Power
                      GearCase{5, 10, 100, 4, 0.0L}));       // no such gear row: no force

TEST(DieselGearSelection, ShiftsUpAboveV2AndDownBelowV0MinusFive) {
  const TrainParams p = dieselTrain();
  TrainState s = readyState(p, testLine());
  s.Speed = kmh(40);  // V2 of gear 0 is not exceeded
  dieselGearSelection(s, p);
  EXPECT_FALSE(s.GearShifting);
  s.Speed = kmh(40.0001L);
  dieselGearSelection(s, p);
  EXPECT_TRUE(s.GearShifting);
  EXPECT_EQ(s.TargetGear, 1);
  EXPECT_EQ(s.Gear, 0);

  s = readyState(p, testLine());
  s.Gear = s.TargetGear = 1;
  s.Speed = kmh(25);  // |25 + 5| = 30 is not below V0 30
  dieselGearSelection(s, p);
  EXPECT_FALSE(s.GearShifting);
  s.Speed = kmh(24.9999L);
  dieselGearSelection(s, p);
  EXPECT_TRUE(s.GearShifting);
  EXPECT_EQ(s.TargetGear, 0);
}

TEST(DieselGearSelection, NeverLeavesTheTable) {
  TrainParams p = dieselTrain();
  TrainState s = readyState(p, testLine());
  s.Gear = s.TargetGear = 2;  // last row, V2 100
  s.Speed = kmh(105);
  dieselGearSelection(s, p);
  EXPECT_FALSE(s.GearShifting);
  EXPECT_EQ(s.TargetGear, 2);

  p.GearTable[0].V0 = 10;  // standing still is below V0 - 5 of the first row
  s = readyState(p, testLine());
  dieselGearSelection(s, p);
  EXPECT_FALSE(s.GearShifting);
  EXPECT_EQ(s.TargetGear, 0);
}

TEST(DieselGearSelection, ManualGearboxIsLeftToTheDriver) {
  TrainParams p = dieselTrain();
  p.Gear_Type = 1;
  TrainState s = readyState(p, testLine());
  s.Speed = kmh(60);
  dieselGearSelection(s, p);
  EXPECT_FALSE(s.GearShifting);
  EXPECT_EQ(s.TargetGear, 0);
}

TEST(DieselEngineOutput, RisesToTheNotchLimitInGearZero) {
  const TrainParams p = dieselTrain();
  TrainState s = readyState(p, testLine());
  s.EngineOutput = 50;
  s.PowerNotch = 2;  // limit 50 + 50 / 4 x 2 = 75
  const long double expected[] = {54, 58, 62, 66, 70, 74, 78, 78, 78};
  for (long double e : expected) {
    dieselEngineOutput(s, p);
    EXPECT_EQ(s.EngineOutput, e);
  }
  s.PowerNotch = 4;  // limit 100, but never beyond 96 + 4
  for (int i = 0; i < 10; ++i) dieselEngineOutput(s, p);
  EXPECT_EQ(s.EngineOutput, 98);
}

TEST(DieselEngineOutput, FallsBackToHalfWithoutPowerOrWhileShifting) {
  const TrainParams p = dieselTrain();
  TrainState s = readyState(p, testLine());
  s.EngineOutput = 55;
  s.PowerNotch = 0;
  dieselEngineOutput(s, p);
  EXPECT_EQ(s.EngineOutput, 53);
  dieselEngineOutput(s, p);
  dieselEngineOutput(s, p);
  EXPECT_EQ(s.EngineOutput, 49);  // 51 > 50 still falls by 2
  dieselEngineOutput(s, p);
  EXPECT_EQ(s.EngineOutput, 49);
  s.EngineOutput = 80;
  s.PowerNotch = 4;
  s.GearShifting = true;
  dieselEngineOutput(s, p);
  EXPECT_EQ(s.EngineOutput, 78);
}

TEST(DieselEngineOutput, InHigherGearsTheLimitFollowsTheSpeedBand) {
  const TrainParams p = dieselTrain();
  TrainState s = readyState(p, testLine());
  s.Gear = 1;  // V0 30, V2 70: at 50 km/h the limit is 96 x (0.8 + 0.2 x 0.5) = 86.4
  s.Speed = kmh(50);
  s.PowerNotch = 1;
  s.EngineOutput = 86;
  dieselEngineOutput(s, p);
  EXPECT_EQ(s.EngineOutput, 90);
  dieselEngineOutput(s, p);
  EXPECT_EQ(s.EngineOutput, 90);
}

TEST(LowSpeedGearReset, FallsBackToGearZeroBelow25) {
  TrainState s;
  s.Gear = 2;
  s.TargetGear = 2;
  s.GearShifting = true;
  s.Speed = kmh(25);
  lowSpeedGearReset(s);
  EXPECT_EQ(s.Gear, 2);
  EXPECT_TRUE(s.GearShifting);
  s.Speed = kmh(24.9999L);
  lowSpeedGearReset(s);
  EXPECT_EQ(s.Gear, 0);
  EXPECT_EQ(s.TargetGear, 2);
  EXPECT_FALSE(s.GearShifting);
}

// A gear change started by the automatic selection blocks diesel traction for 50 simulation
// ticks, the tick that started it included; the 51st tick pulls in the new gear.
TEST(DieselGearShift, BlocksTractionForFiftyTicks) {
  const TrainParams p = dieselTrain();
  const LineParams line = testLine();
  TrainState s = readyState(p, line);
  s.Speed = kmh(41);
  s.PowerNotch = 4;
  s.EngineOutput = 100;
  for (int tick = 1; tick <= kGearShiftTicks; ++tick) {
    s.Speed = kmh(41);
    traction(s, p);
    ASSERT_EQ(s.TractiveForce, Fixed()) << "tick " << tick;
    ASSERT_EQ(s.GearShifting, tick < kGearShiftTicks) << "tick " << tick;
  }
  EXPECT_EQ(s.Gear, 1);
  traction(s, p);
  // Gear 1 at 41 km/h: 0.9 + 9 x 0.3 / 20 = 1.035 km/h/s.
  EXPECT_NEAR(s.TractiveForce.ld(), 1.035L / 3.6L * 40000.0L, 0.00005L);
}

// The power delay and the gear-shift wait have counters of their own: a power change made
// during a gear change completes after PowerDelay ticks, and the gear change after 50.
TEST(DieselGearShift, PowerDelayRunsBesideTheGearWait) {
  const TrainParams p = dieselTrain();
  TrainState s = readyState(p, testLine());
  s.Speed = kmh(41);
  s.PowerNotch = 1;
  s.PowerHandle = 3;
  s.PowerChangePending = true;
  for (int tick = 1; tick <= p.PowerDelay; ++tick) traction(s, p);
  EXPECT_EQ(s.PowerNotch, 3);
  EXPECT_TRUE(s.GearShifting);
  for (int tick = p.PowerDelay + 1; tick <= kGearShiftTicks; ++tick) traction(s, p);
  EXPECT_FALSE(s.GearShifting);
  EXPECT_EQ(s.Gear, 1);
}

}  // namespace
}  // namespace dravolin::sim
