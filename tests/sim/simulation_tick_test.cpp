#include "sim/simulation_tick.h"

#include <gtest/gtest.h>

#include "allocation_counter.h"
#include "fixtures/sample_trains.h"
#include "sim/display_physics.h"
#include "sim/virtual_time.h"

namespace dravolin::sim {
namespace {

using testing::dieselTrain;
using testing::electricTrain;
using testing::kmh;
using testing::readyState;
using testing::testLine;

void ticks(TrainState& s, const TrainParams& p, const LineParams& line, int n) {
  for (int i = 0; i < n; ++i) MMTimer1Timer(s, p, line);
}

TEST(PowerDelay, NotchFollowsTheHandleAfterTheDelay) {
  const TrainParams p = electricTrain();  // PowerDelay 3
  const LineParams line = testLine();
  TrainState s = readyState(p, line);
  s.PowerHandle = 2;
  s.PowerChangePending = true;
  ticks(s, p, line, 2);
  EXPECT_EQ(s.PowerNotch, 0);
  s.PowerHandle = 4;  // moved again during the wait: the count goes on
  ticks(s, p, line, 1);
  EXPECT_EQ(s.PowerNotch, 4);
  EXPECT_FALSE(s.PowerChangePending);
  EXPECT_EQ(s.PowerDelayCount, 0);
}

TEST(PowerDelay, ADelayBelowOneActsAsOne) {
  for (int delay : {1, 0, -7}) {
    TrainParams p = electricTrain();
    p.PowerDelay = delay;
    p.BrakeDelay = delay;
    const LineParams line = testLine();
    TrainState s = readyState(p, line);
    s.PowerHandle = 3;
    s.PowerChangePending = true;
    s.BrakeHandle = -2;
    s.BrakeChangePending = true;
    ticks(s, p, line, 1);
    EXPECT_EQ(s.PowerNotch, 3) << "delay " << delay;
    EXPECT_EQ(s.BrakeNotch, -2) << "delay " << delay;
  }
}

TEST(PowerDelay, WaitsWhileTheDoorsAreOpen) {
  const TrainParams p = electricTrain();
  const LineParams line = testLine();
  TrainState s = readyState(p, line);
  s.DoorsOpen = true;
  s.PowerHandle = 1;
  s.PowerChangePending = true;
  ticks(s, p, line, 10);
  EXPECT_EQ(s.PowerNotch, 0);
  EXPECT_EQ(s.PowerDelayCount, 0);
  s.DoorsOpen = false;
  ticks(s, p, line, 2);
  EXPECT_EQ(s.PowerNotch, 0);
  ticks(s, p, line, 1);
  EXPECT_EQ(s.PowerNotch, 1);
}

TEST(PowerDelay, WaitsAtMaxSpeedButNotInReverse) {
  const TrainParams p = electricTrain();  // MaxSpeed 120
  const LineParams line = testLine();
  TrainState s = readyState(p, line);
  s.BrakeNotch = s.BrakeHandle = 0;
  s.PowerNotch = 4;
  s.PowerHandle = 1;
  s.PowerChangePending = true;
  s.Speed = kmh(120);
  ticks(s, p, line, 5);
  EXPECT_EQ(s.PowerNotch, 4);
  EXPECT_EQ(s.TractiveForce, Fixed());
  s.Speed = kmh(119.9999L);
  ticks(s, p, line, 1);
  EXPECT_GT(s.TractiveForce, Fixed());
  s.Speed = kmh(-130);  // reverse motion always passes the signed comparison
  s.Reverser = -1;
  ticks(s, p, line, 2);
  EXPECT_EQ(s.PowerNotch, 1);
  EXPECT_LT(s.TractiveForce, Fixed());
}

TEST(Traction, ProtectionBrakesAndLineVoltageCutTheForce) {
  const TrainParams p = electricTrain();
  const LineParams line = testLine();
  struct Case {
    const char* what;
    bool ats;
    bool atc;
    long double voltage;
    int reverser;
    long double force;
  };
  const Case cases[] = {
      {"forward", false, false, 18, 1, 250000},   {"neutral", false, false, 18, 0, 0},
      {"reverse", false, false, 18, -1, -250000}, {"ATS brake", true, false, 18, 1, 0},
      {"ATC brake", false, true, 18, 1, 0},       {"no line voltage", false, false, 0, 1, 0}};
  for (const Case& c : cases) {
    TrainState s = readyState(p, line);
    s.PowerNotch = 4;
    s.AtsBrakeApplied = c.ats;
    s.AtcBrakeApplied = c.atc;
    s.LineVoltageTarget = Fixed::round(c.voltage);
    s.Reverser = c.reverser;
    traction(s, p);
    EXPECT_EQ(s.TractiveForce, Fixed::round(c.force)) << c.what;
  }
}

TEST(BrakeDelay, NotchFollowsTheHandleAfterTheDelay) {
  const TrainParams p = electricTrain();  // BrakeDelay 2
  const LineParams line = testLine();
  TrainState s = readyState(p, line);
  s.BrakeHandle = 0;
  s.BrakeChangePending = true;
  ticks(s, p, line, 1);
  EXPECT_EQ(s.BrakeNotch, -8);
  ticks(s, p, line, 1);
  EXPECT_EQ(s.BrakeNotch, 0);
}

TEST(ScheduleFrame, AdvancesByTheRecordingFrameRate) {
  const TrainParams p = electricTrain();
  struct Case {
    int frameRate;
    int ticks;
    int advance;
  };
  for (const Case& c :
       {Case{30, 6, 6}, Case{15, 6, 3}, Case{10, 6, 2}, Case{7, 12, 3}, Case{1, 60, 2}}) {
    LineParams line = testLine();
    line.FrameRate = c.frameRate;
    line.StartPos = 100;
    line.PreTimeFrames = 20;
    TrainState s = readyState(p, line);
    EXPECT_EQ(s.ScheduleFrame, 120);
    ticks(s, p, line, c.ticks);
    EXPECT_EQ(s.ScheduleFrame, 120 + c.advance) << "FrameRate " << c.frameRate;
    EXPECT_EQ(s.ClockTicks, c.ticks);
  }
}

TEST(AutoSpeed, RunsAtTheRecordingSpeed) {
  const TrainParams p = electricTrain();
  const LineParams line = testLine();
  TrainState s = readyState(p, line);
  s.FrameIndex = 400;
  s.FrameStep = 60;
  s.AutoSpeed = true;
  ticks(s, p, line, 1);
  EXPECT_EQ(s.Speed, Fixed::fromInt(60));
  ticks(s, p, line, 3);
  EXPECT_EQ(s.FrameIndex, 403);
}

// A drive: power away from a stand, then brake to a stop. Pins that the two ticks fit together.
TEST(Drive, AcceleratesUnderPowerAndStopsUnderBrake) {
  const TrainParams p = electricTrain();
  const LineParams line = testLine();
  TrainState s = readyState(p, line);
  s.BrakeHandle = 0;
  s.BrakeChangePending = true;
  s.PowerHandle = 4;
  s.PowerChangePending = true;
  s.BpPressure = Fixed::fromInt(500);
  const bool running = true;
  const auto runMinute = [&] {
    runVirtualTime(
        60000, running, [](int) {}, [&](int) { MMTimer1Timer(s, p, line); },
        [&](int) { displayTickPhysics(s, p); }, [](int) {});
  };
  runMinute();
  EXPECT_GT(s.Speed, kmh(80));
  EXPECT_LT(s.Speed, kmh(120));
  EXPECT_GT(s.FrameIndex, 600);
  s.PowerHandle = 0;
  s.PowerChangePending = true;
  s.BrakeHandle = -7;
  s.BrakeChangePending = true;
  runMinute();
  EXPECT_EQ(roundToInt(s.Speed.ld()), 0);
  EXPECT_EQ(s.wheelState, WheelState::Normal);
}

TEST(SimulationTick, AllocatesNothing) {
  for (const TrainParams& p : {electricTrain(), dieselTrain()}) {
    const LineParams line = testLine();
    TrainState s = readyState(p, line);
    s.PowerHandle = 4;
    s.PowerChangePending = true;
    s.Speed = kmh(41);
    testing::startCountingAllocations();
    testing::allocateOnce();  // the counter sees allocations
    EXPECT_EQ(testing::stopCountingAllocations(), 1);
    testing::startCountingAllocations();
    ticks(s, p, line, 200);
    EXPECT_EQ(testing::stopCountingAllocations(), 0);
  }
}

}  // namespace
}  // namespace dravolin::sim
