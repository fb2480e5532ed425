#include "drive/evaluation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drive/drive_fixture.h"

namespace dravolin::testing {
namespace {

using drive::Evaluation;
using drive::StationResult;
using Outcome = StationResult::Outcome;

// A: the origin (frames 100-200); B passed; C stop (600-701, 20000 cm, departure-sound time 4001,
// departure 4300); D stop (900-1000, 30000 cm, 5000 / 5300); E the last (1200-1300, 40000 cm).
data::LineFile line() {
  data::LineFile l = testDriveData().files.line;
  data::SpeedLimitRecord limit;
  limit.limit = 70;
  limit.startFrame = 300;
  limit.endFrame = 500;
  l.speedLimits.push_back(limit);
  return l;
}

sim::TrainState at(int frame, int speedKmh, long double distanceCm, int clock) {
  sim::TrainState s;
  s.FrameIndex = frame;
  s.Speed = sim::Fixed::fromInt(speedKmh);
  s.Distance = distanceCm;
  s.ClockTicks = clock;
  s.BrakeHandle = -8;
  return s;
}

struct StopCase {
  std::string name;
  int restOffsetCm;  // Distance at rest minus D's stop distance
  int arrivalTicks;  // 0: the train runs through without stopping
  int departureTicks;
  Outcome outcome;
  int stopErrorCm;
  int arrivalLateS;
  int departureLateS;
  int points;
};

// Runs from A through D's range, stopping there as the case says, and on past it.
TEST(Evaluation, HandMadeStopsAtOneStation) {
  const std::vector<StopCase> cases = {
      {"exactly on the mark", 0, 4800, 5400, Outcome::Stopped, 0, -6, 3, 100},
      {"1 cm over", 1, 4800, 5400, Outcome::Stopped, 1, -6, 3, 100},
      {"11 cm over", 11, 4800, 5400, Outcome::Stopped, 11, -6, 3, 99},
      {"50 cm short", -50, 4800, 5400, Outcome::Stopped, -50, -6, 3, 96},
      {"9 m over, capped", 900, 4800, 5400, Outcome::Stopped, 900, -6, 3, 50},
      {"early departure", 0, 4800, 5200, Outcome::Stopped, 0, -6, -3, 80},
      {"late departure, 45 s", 0, 4800, 6650, Outcome::Stopped, 0, -6, 45, 98},
      {"departure 30 s late is within time", 0, 4800, 6200, Outcome::Stopped, 0, -6, 30, 100},
      {"late arrival, 25 s", 0, 5750, 5800, Outcome::Stopped, 0, 25, 16, 97},
      {"run through", 0, 0, 0, Outcome::Passed, 0, 0, 0, 0},
  };
  const data::LineFile l = line();
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    Evaluation e(l, at(150, 0, 5000, 3000), -8);
    const sim::ProtectionState p;
    e.displayTick(at(160, 5, 5100, 3100), p);  // leaves A
    e.displayTick(at(250, 60, 8000, 3200), p);
    e.displayTick(at(800, 60, 25000, 4000), p);  // C run through
    e.displayTick(at(950, 20, 29000, 4700), p);
    if (c.arrivalTicks > 0) {
      e.displayTick(at(960, 0, 30000.0L + c.restOffsetCm, c.arrivalTicks), p);
      e.displayTick(at(960, 0, 30000.0L + c.restOffsetCm, c.departureTicks - 1), p);
      e.displayTick(at(961, 3, 30000.0L + c.restOffsetCm, c.departureTicks), p);
    }
    e.displayTick(at(1005, 40, 31000, 7000), p);  // beyond D's range

    const StationResult& d = e.stations()[2];
    ASSERT_EQ(d.nameUtf8, "D");
    EXPECT_EQ(d.outcome, c.outcome);
    EXPECT_EQ(d.stopErrorCm, c.stopErrorCm);
    EXPECT_EQ(d.arrivalLateS(), c.arrivalLateS);
    EXPECT_EQ(d.departureLateS(), c.departureLateS);
    EXPECT_EQ(drive::scoreStation(d).points, c.points);
    EXPECT_TRUE(d.left);
    EXPECT_EQ(e.latest(), &d);
    // A was the origin, judged by its departure only; C was run through.
    EXPECT_EQ(e.stations()[0].outcome, Outcome::Origin);
    EXPECT_EQ(e.stations()[1].outcome, Outcome::Passed);
    EXPECT_FALSE(e.finished());
  }
}

// A stop drawn up after a first stop short of the mark counts at its last position; the arrival
// is the first rest.
TEST(Evaluation, DrawingUpCountsTheLastRest) {
  const data::LineFile l = line();
  Evaluation e(l, at(150, 0, 5000, 3000), -8);
  const sim::ProtectionState p;
  e.displayTick(at(920, 20, 29000, 4500), p);
  e.displayTick(at(930, 0, 29700, 4600), p);  // 3 m short
  e.displayTick(at(935, 2, 29800, 4650), p);
  e.displayTick(at(940, 0, 30005, 4700), p);  // 5 cm over
  const StationResult& d = e.stations()[2];
  EXPECT_EQ(d.stopErrorCm, 5);
  EXPECT_EQ(d.arrivalTicks, 4600);
  EXPECT_EQ(d.departureTicks, 4650);  // moved off again; the last move-off counts
}

// The last station ends the drive's judgement; no departure is judged there.
TEST(Evaluation, LastStationFinishesTheDrive) {
  const data::LineFile l = line();
  Evaluation e(l, at(1000, 0, 30000, 6000), -8);  // moved to D: D is the origin
  const sim::ProtectionState p;
  e.displayTick(at(1001, 5, 30100, 6100), p);  // leaves D 26 s after its departure time
  e.displayTick(at(1250, 0, 40000, 7000), p);
  EXPECT_TRUE(e.finished());
  EXPECT_EQ(e.stations()[3].outcome, Outcome::Stopped);
  // Arrived 1000 ticks (33 s) after the departure-sound time 6000: 4 points.
  EXPECT_EQ(drive::scoreStation(e.stations()[3]).points, 96);
  EXPECT_EQ(e.stations()[2].outcome, Outcome::Origin);
  EXPECT_EQ(e.stations()[2].departureTicks, 6100);
  EXPECT_EQ(e.score(), 98);                            // D 100 (left 26 s after its time), E 96
  EXPECT_EQ(e.stations()[0].outcome, Outcome::Ahead);  // before the move: not judged
}

struct ProtectionStep {
  int frame;
  int speedKmh;
  int brakeHandle;
  bool atsBrake;
  bool atcBrake;
  bool alarm;
  int pattern;
  int ebIdle;
};

// Each protection event is counted once, when it begins, for the way to the next station.
TEST(Evaluation, ProtectionEventsOnTheWay) {
  const std::vector<ProtectionStep> steps = {
      {210, 30, 0, false, false, false, 0, 0},
      {220, 30, 0, false, false, true, 0, 0},  // ATS alarm
      {230, 30, 0, false, false, true, 0, 0},  // still the same alarm
      {240, 30, 0, true, false, false, 0, 0},  // ATS brake
      {250, 30, 0, false, false, false, 0, 640},
      {260, 30, 0, true, false, false, 0, 0},    // EB device: idle count ran out
      {270, 30, -8, false, false, false, 0, 0},  // emergency brake while moving
      {280, 30, 0, false, false, false, 2, 0},   // pattern brake (with its ATC brake)
      {290, 30, 0, false, true, false, 2, 0},
      {300, 75, 0, false, false, false, 0, 0},  // over the 70 km/h limit
      {310, 75, 0, false, false, false, 0, 0},
      {320, 60, 0, false, true, false, 0, 0},   // ATC brake
      {330, 72, 0, false, false, false, 0, 0},  // over the limit again
      {960, 0, -8, false, false, false, 0, 0},  // EB at rest at D: not counted
  };
  const data::LineFile l = line();
  Evaluation e(l, at(150, 0, 5000, 3000), -8);
  e.displayTick(at(205, 10, 5500, 3100), sim::ProtectionState{});
  int clock = 3200;
  for (const ProtectionStep& st : steps) {
    sim::TrainState s = at(st.frame, st.speedKmh, st.frame == 960 ? 30000 : 10000, clock += 30);
    s.BrakeHandle = st.brakeHandle;
    s.AtsBrakeApplied = st.atsBrake;
    s.AtcBrakeApplied = st.atcBrake;
    sim::ProtectionState p;
    p.AtsAlarm = st.alarm;
    p.PatternState = st.pattern;
    p.EbIdleTicks = st.ebIdle;
    e.displayTick(s, p);
  }
  drive::ProtectionEvents expected;
  expected.atsAlarms = 1;
  expected.atsBrakes = 1;
  expected.ebBrakes = 1;
  expected.emergencyBrakes = 1;
  expected.patternBrakes = 1;
  expected.atcBrakes = 1;
  expected.overspeeds = 2;
  // C (frames 600-701) was run through on the way: the events before it are its own.
  EXPECT_EQ(e.stations()[1].outcome, Outcome::Passed);
  EXPECT_EQ(e.stations()[1].onTheWay, expected);
  EXPECT_EQ(e.stations()[2].onTheWay, drive::ProtectionEvents{});
  EXPECT_EQ(drive::scoreStation(e.stations()[1]).points, 0);
  EXPECT_EQ(drive::scoreStation(e.stations()[2]).protection, 0);
}

}  // namespace
}  // namespace dravolin::testing
