#include "sim/air_brake.h"

#include <gtest/gtest.h>

#include "fixtures/sample_trains.h"

namespace dravolin::sim {
namespace {

using testing::electricTrain;
using testing::kmh;
using testing::readyState;
using testing::testLine;

// BrakeUp 45, BrakeDown 30, EBPress 440, main reservoir 780 kPa.
TrainParams typeTrain(int brakeType) {
  TrainParams p = electricTrain();
  p.BrakeType = brakeType;
  if (brakeType == 0) p.Brake = 4;
  return p;
}

Fixed kPa(long double v) { return Fixed::round(v); }

void run(TrainState& s, const TrainParams& p, int ticks) {
  for (int i = 0; i < ticks; ++i) brakePressures(s, p);
}

// --- brake type 0 ---

// From the load state (emergency, pipe empty), release first charges the pipe by
// BrakeDown / 75 per tick; the brake pressure starts to fall only once the pipe exceeds it.
TEST(BrakeType0, ReleaseChargesThePipeBeforeTheBrakeFalls) {
  const TrainParams p = typeTrain(0);
  TrainState s = readyState(p, testLine());
  s.BrakeNotch = 0;
  run(s, p, 1);
  EXPECT_EQ(s.BpPressure, kPa(0.4L));
  EXPECT_EQ(s.MrPressure, kPa(780 - 0.075L));
  run(s, p, 1100);  // pipe at 440.4 after tick 1101
  EXPECT_EQ(s.BrakePressure, kPa(440));
  run(s, p, 1);
  EXPECT_EQ(s.BrakePressure, kPa(439));
  run(s, p, 124);  // tick 1226: 490.4 is cut to 490, charging stops drawing on the reservoir
  EXPECT_EQ(s.BpPressure, kPa(490));
  EXPECT_EQ(s.MrPressure, kPa(780 - 1225 * 0.075L));
  run(s, p, 314);  // tick 1540
  EXPECT_EQ(s.BrakePressure, kPa(1));
  run(s, p, 1);
  EXPECT_EQ(s.BrakePressure, Fixed());
  run(s, p, 10);
  EXPECT_EQ(s.BrakePressure, Fixed());
  EXPECT_EQ(s.BpPressure, kPa(490));
}

TEST(BrakeType0, ApplyFollowsTwoAndAHalfTimesThePipeReduction) {
  const TrainParams p = typeTrain(0);
  TrainState s = readyState(p, testLine());
  s.BrakeNotch = -3;
  s.BpPressure = kPa(450);
  s.BrakePressure = kPa(100);  // (490 - 450) x 2.5: not raised
  s.SapPressure = kPa(0.2L);
  run(s, p, 1);
  EXPECT_EQ(s.BrakePressure, kPa(100));
  EXPECT_EQ(s.BpPressure, kPa(449.4L));
  EXPECT_EQ(s.SapPressure, kPa(0.2L));
  run(s, p, 1);  // limit now 101.5
  EXPECT_EQ(s.BrakePressure, kPa(101.5L));
  EXPECT_EQ(s.BpPressure, kPa(448.8L));
  EXPECT_EQ(s.SapPressure, Fixed());  // 0.2 - 0.5 clamps at 0
}

TEST(BrakeType0, MaintainAndHold) {
  const TrainParams p = typeTrain(0);
  TrainState s = readyState(p, testLine());
  s.BrakePressure = kPa(200);
  s.BpPressure = kPa(400);
  s.BrakeNotch = -2;
  run(s, p, 5);
  EXPECT_EQ(s.BpPressure, kPa(400));
  EXPECT_EQ(s.MrPressure, kPa(780));
  s.BrakeNotch = -1;
  run(s, p, 5);
  EXPECT_EQ(s.BpPressure, kPa(402));
  EXPECT_EQ(s.BrakePressure, kPa(200));
  EXPECT_EQ(s.MrPressure, kPa(780 - 5 * 0.075L));
}

TEST(BrakeType0, EmergencyAndProtection) {
  const TrainParams p = typeTrain(0);
  TrainState s = readyState(p, testLine());
  s.BrakePressure = kPa(100);
  s.BpPressure = kPa(490);
  s.SapPressure = kPa(1);
  s.BrakeNotch = -4;
  run(s, p, 1);
  EXPECT_EQ(s.BrakePressure, kPa(105));
  EXPECT_EQ(s.MrPressure, kPa(780 - 45.0L / 99.0L));
  EXPECT_EQ(s.SapPressure, kPa(1 - 1.0L / 3.0L));
  EXPECT_EQ(s.BpPressure, kPa(487.5L));
  // Protection runs the emergency rule whatever the notch, and skips the release rule.
  s.BrakeNotch = 0;
  s.AtsBrakeApplied = true;
  run(s, p, 1);
  EXPECT_EQ(s.BrakePressure, kPa(110));
  EXPECT_EQ(s.BpPressure, kPa(485));
}

// --- brake type 1 ---

// Service notch k of 7 targets 440 x k / 7; a pressure within 10 kPa below it is not raised.
TEST(BrakeType1, ServiceStopsInsideTheDeadBand) {
  const TrainParams p = typeTrain(1);
  TrainState s = readyState(p, testLine());
  s.BrakePressure = Fixed();
  s.BpPressure = kPa(500);
  s.BrakeNotch = -4;  // target 251.4286
  run(s, p, 1);
  EXPECT_EQ(s.BrakePressure, kPa(1));
  EXPECT_EQ(s.SapPressure, kPa(1.25L));
  EXPECT_EQ(s.MrPressure, kPa(779.85L));
  run(s, p, 400);
  EXPECT_EQ(s.BrakePressure, kPa(242));
  EXPECT_EQ(s.SapPressure, kPa(242.5L));
  EXPECT_EQ(s.MrPressure, kPa(780 - 242 * 0.15L));
}

TEST(BrakeType1, LoweringANotchWaitsForTheRechargedPipe) {
  const TrainParams p = typeTrain(1);
  TrainState s = readyState(p, testLine());
  s.BrakePressure = kPa(300);
  s.SapPressure = kPa(300);
  s.BrakeNotch = -4;
  s.BpPressure = kPa(384.8L);  // below 440 - 440 / 8 = 385
  run(s, p, 1);
  EXPECT_EQ(s.BrakePressure, kPa(300));
  EXPECT_EQ(s.SapPressure, kPa(300 - 1.0L / 1.2L));
  EXPECT_EQ(s.BpPressure, kPa(385));
  run(s, p, 1);
  EXPECT_EQ(s.BrakePressure, kPa(300 - 2.0L / 3.0L));
  run(s, p, 200);
  EXPECT_LE(s.BrakePressure.ld(), 440.0L * 4 / 7);
  EXPECT_GT(s.BrakePressure.ld(), 440.0L * 4 / 7 - 0.67L);
}

// Release from 400 kPa with BrakeDown 30: 1 kPa per tick down to 200, 0.5 down to 100, then
// 0.25; each stage sees the value the previous one left.
TEST(BrakeType1, ReleaseInThreeStages) {
  const TrainParams p = typeTrain(1);
  TrainState s = readyState(p, testLine());
  s.BrakePressure = kPa(400);
  s.SapPressure = kPa(60);
  s.BpPressure = kPa(500);
  s.BrakeNotch = 0;
  struct Mark {
    int tick;
    long double pressure;
  };
  int done = 0;
  for (const Mark& m : {Mark{200, 200}, Mark{201, 198.5L}, Mark{398, 100}, Mark{399, 99.25L},
                        Mark{795, 0.25L}, Mark{796, 0}, Mark{800, 0}}) {
    run(s, p, m.tick - done);
    done = m.tick;
    EXPECT_EQ(s.BrakePressure, kPa(m.pressure)) << "tick " << m.tick;
  }
  EXPECT_EQ(s.SapPressure, Fixed());
}

TEST(BrakeType1, EmergencyEmptiesThePipeAndReleaseWaitsForItsRecharge) {
  const TrainParams p = typeTrain(1);
  TrainState s = readyState(p, testLine());
  s.BrakePressure = kPa(200);
  s.BpPressure = kPa(500);
  s.SapPressure = kPa(200);
  s.BrakeNotch = -9;  // below -Brake: emergency
  run(s, p, 1);
  EXPECT_EQ(s.BrakePressure, kPa(203));
  EXPECT_EQ(s.MrPressure, kPa(779.7L));
  EXPECT_EQ(s.BpPressure, kPa(495.5L));
  EXPECT_EQ(s.SapPressure, kPa(195.5L));
  s.BrakeNotch = -8;
  run(s, p, 200);
  EXPECT_EQ(s.BpPressure, Fixed());
  EXPECT_EQ(s.BrakePressure, kPa(440));  // 203 + 79 x 3 reaches EBPress exactly
  const Fixed held = s.BrakePressure;
  s.BrakeNotch = 0;
  run(s, p, 1925);  // the pipe reaches 385 kPa at the end of tick 1925
  EXPECT_EQ(s.BrakePressure, held);
  EXPECT_EQ(s.BpPressure, kPa(385));
  run(s, p, 1);
  EXPECT_EQ(s.BrakePressure, kPa(439));
  run(s, p, 1000);
  EXPECT_EQ(s.BpPressure, kPa(500));
}

TEST(BrakeType1, ProtectionAppliesEmergencyButThePipeStillRecharges) {
  const TrainParams p = typeTrain(1);
  TrainState s = readyState(p, testLine());
  s.BrakePressure = Fixed();
  s.BpPressure = kPa(500);
  s.BrakeNotch = 0;
  s.AtcBrakeApplied = true;
  run(s, p, 1);
  EXPECT_EQ(s.BrakePressure, kPa(3));
  EXPECT_EQ(s.BpPressure, kPa(495.7L));  // -4.5, then +0.2 outside emergency
}

// --- brake type 2 ---

TEST(BrakeType2, ServiceTargetsStayBelowEmergency) {
  const TrainParams p = typeTrain(2);
  TrainState s = readyState(p, testLine());
  s.BrakePressure = Fixed();
  s.BrakeNotch = -4;  // target 440 / 8 x 4 = 220
  run(s, p, 300);
  EXPECT_EQ(s.BrakePressure, kPa(210));
  EXPECT_EQ(s.MrPressure, kPa(780 - 210 * 0.15L));
  EXPECT_EQ(s.BpPressure, Fixed());
  EXPECT_EQ(s.SapPressure, Fixed());
  s.BrakeNotch = -2;  // target 110: falls by 2/3 kPa per tick
  run(s, p, 1);
  EXPECT_EQ(s.BrakePressure, kPa(210 - 2.0L / 3.0L));
}

TEST(BrakeType2, EmergencyAndProtectionUseNoAir) {
  const TrainParams p = typeTrain(2);
  TrainState s = readyState(p, testLine());
  s.BrakePressure = kPa(436);
  s.BrakeNotch = -8;
  run(s, p, 1);
  EXPECT_EQ(s.BrakePressure, kPa(437.95L));
  run(s, p, 2);
  EXPECT_EQ(s.BrakePressure, kPa(441.85L));
  EXPECT_EQ(s.MrPressure, kPa(780));
  s.BrakePressure = kPa(100);
  s.BrakeNotch = 0;
  s.AtsBrakeApplied = true;
  run(s, p, 1);
  EXPECT_EQ(s.BrakePressure, kPa(101.95L));
}

TEST(BrakeType2, ReleaseInThreeStages) {
  const TrainParams p = typeTrain(2);
  TrainState s = readyState(p, testLine());
  s.BrakePressure = kPa(200.5L);
  s.BrakeNotch = 0;
  run(s, p, 1);
  EXPECT_EQ(s.BrakePressure, kPa(199));  // -1, then -0.5 on the updated value
}

TEST(BrakeTypeUnknown, MovesNoPressure) {
  const TrainParams p = typeTrain(3);
  TrainState s = readyState(p, testLine());
  const TrainState before = s;
  run(s, p, 10);
  EXPECT_EQ(s.BrakePressure, before.BrakePressure);
  EXPECT_EQ(s.BpPressure, before.BpPressure);
  EXPECT_EQ(s.MrPressure, before.MrPressure);
}

// --- brake cylinder gauge ---

TEST(BrakeCylinderGauge, ElectricBrakeHoldsFiftyAboveLoseElec) {
  TrainParams p = electricTrain();  // BrakeUp 45: the gauge moves 1 kPa per tick
  p.Mc = 1;
  struct Case {
    const char* what;
    long double speed;
    long double brake;
    long double gaugeBefore;
    long double gauge;
  };
  const Case cases[] = {
      {"service application above Lose_elec", 50, 100, 0, 50},
      {"low pressure above Lose_elec follows", 50, 30, 0, 1},
      {"at exactly Lose_elec", 10, 30, 0, 50},
      {"below Lose_elec follows up", 5, 100, 50, 51},
      {"below Lose_elec follows down", 5, 20, 50, 49},
      {"reverse motion always follows", -50, 100, 0, 1},
      {"overshoot is taken back in the same tick", 5, 20.5L, 20, 20},
      {"an empty cylinder holds the gauge at 0, not below", 5, 0, 0.4L, 0},
  };
  for (const Case& c : cases) {
    TrainState s;
    s.Speed = kmh(c.speed);
    s.BrakePressure = kPa(c.brake);
    s.BcPressure = kPa(c.gaugeBefore);
    brakeCylinderGauge(s, p);
    EXPECT_EQ(s.BcPressure, kPa(c.gauge)) << c.what;
  }
}

TEST(BrakeCylinderGauge, WithoutElectricBrakeShowsTheBrakePressure) {
  TrainParams p = electricTrain();
  TrainState s;
  s.BrakePressure = kPa(123.4567L);
  s.BcPressure = kPa(7);
  p.Mc = 2;
  brakeCylinderGauge(s, p);
  EXPECT_EQ(s.BcPressure, kPa(7));
  p.Mc = 0;
  brakeCylinderGauge(s, p);
  EXPECT_EQ(s.BcPressure, kPa(123.4567L));
}

// --- compressor ---

TEST(Compressor, StartsBelowLowStopsAtHigh) {
  const TrainParams p = electricTrain();  // 690 .. 780 kPa
  TrainState s;
  s.MrPressure = kPa(690);
  CompressorEvents e = compressor(s, p);
  EXPECT_FALSE(s.CompressorRunning);
  EXPECT_FALSE(e.started || e.stopped);

  s.MrPressure = kPa(689.9L);
  e = compressor(s, p);
  EXPECT_TRUE(s.CompressorRunning);
  EXPECT_EQ(s.MrPressure, kPa(690.2L));
  EXPECT_TRUE(e.started);
  EXPECT_FALSE(e.stopped);

  for (int tick = 2; tick <= 301; ++tick) {
    e = compressor(s, p);
    ASSERT_FALSE(e.started || e.stopped) << "tick " << tick;
  }
  EXPECT_TRUE(s.CompressorRunning);
  EXPECT_EQ(s.MrPressure, kPa(780.2L));

  e = compressor(s, p);  // the first tick that sees 780 or more stops it
  EXPECT_FALSE(s.CompressorRunning);
  EXPECT_EQ(s.MrPressure, kPa(780.2L));
  EXPECT_FALSE(e.started);
  EXPECT_TRUE(e.stopped);
}

// A low mark above the high mark: the governor starts and stops in the same tick, every tick
// the reservoir is below the low mark, and never fills it.
TEST(Compressor, LowAboveHighStartsAndStopsInOneTick) {
  TrainParams p = electricTrain();
  p.LowAirPress = 800;
  p.HighAirPress = 700;
  TrainState s;
  s.MrPressure = kPa(750);
  for (int tick = 0; tick < 3; ++tick) {
    const CompressorEvents e = compressor(s, p);
    EXPECT_TRUE(e.started && e.stopped);
    EXPECT_FALSE(s.CompressorRunning);
    EXPECT_EQ(s.MrPressure, kPa(750));
  }
}

}  // namespace
}  // namespace dravolin::sim
