#include "drive/evaluation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drive/drive_fixture.h"
#include "sim/route.h"

namespace dravolin::testing {
namespace {

using drive::Evaluation;
using drive::StationResult;
using Outcome = StationResult::Outcome;

// A: the origin (frames 100-200); B passed; C stop (600-701, 20000 cm, departure-sound time 4001,
// departure 4300); D stop (900-1000, 30000 cm, 5000 / 5300); E the last (1200-1300, 40000 cm).
// Without a speed profile the ranges are judged by frame alone.
data::LineFile line() {
  data::LineFile l = testDriveData().files.line;
  l.params.SpeedUnit.clear();
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
  s.DoorsOpen = false;
  return s;
}

sim::TrainState withDoors(sim::TrainState s) {
  s.DoorsOpen = true;
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
      {"10 cm over", 10, 4800, 5400, Outcome::Stopped, 10, -6, 3, 100},
      {"11 cm over", 11, 4800, 5400, Outcome::Stopped, 11, -6, 3, 99},
      {"50 cm short", -50, 4800, 5400, Outcome::Stopped, -50, -6, 3, 96},
      {"9 m over, capped", 900, 4800, 5400, Outcome::Stopped, 900, -6, 3, 50},
      {"early departure", 0, 4800, 5200, Outcome::Stopped, 0, -6, -3, 80},
      {"departure one tick early", 0, 4800, 5299, Outcome::Stopped, 0, -6, 0, 80},
      {"departure exactly on time", 0, 4800, 5300, Outcome::Stopped, 0, -6, 0, 100},
      {"late departure, 45 s", 0, 4800, 6650, Outcome::Stopped, 0, -6, 45, 98},
      {"departure 30 s late is within time", 0, 4800, 6200, Outcome::Stopped, 0, -6, 30, 100},
      {"departure one tick beyond 30 s late", 0, 4800, 6201, Outcome::Stopped, 0, -6, 30, 99},
      {"arrival exactly at the departure-sound time", 0, 5000, 5400, Outcome::Stopped, 0, 0, 3,
       100},
      {"arrival one tick after the departure-sound time", 0, 5001, 5400, Outcome::Stopped, 0, 0, 3,
       99},
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

// Stops at D (frames 900-1000, mark 30000 cm): the stop judged is the one at which the doors
// open; until they open, each new stop in the range, taken as the train comes to rest.
TEST(Evaluation, TheStopJudgedIsTheOneWhereTheDoorsOpen) {
  struct Step {
    int frame;
    long double speedKmh;
    int distanceCm;
    bool doors;
  };
  const struct {
    const char* what;
    std::vector<Step> steps;
    int stopErrorCm;
  } cases[] = {
      {"doors at the first stop, drawn up after they closed",
       {{930, 0, 29700, true},
        {930, 0, 29700, false},
        {935, 2, 29800, false},
        {940, 0, 30005, false}},
       -300},
      {"no doors: the last stop in the range",
       {{930, 0, 29700, false}, {935, 2, 29800, false}, {940, 0, 30005, false}},
       5},
      {"doors at the second stop, none after",
       {{930, 0, 29700, false},
        {935, 2, 29800, false},
        {940, 0, 30005, true},
        {940, 0, 30005, false},
        {945, 2, 30100, false},
        {950, 0, 30250, false}},
       5},
      {"a crawl that rounds to rest is judged where the rest began",
       {{930, 0, 29990, false}, {930, 0.3L, 29998, false}, {931, 0.3L, 30020, true}},
       -10},
  };
  const data::LineFile l = line();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Evaluation e(l, at(150, 0, 5000, 3000), -8);
    const sim::ProtectionState p;
    e.displayTick(at(920, 20, 29000, 4500), p);
    int clock = 4600;
    for (const Step& st : c.steps) {
      sim::TrainState s = at(st.frame, 0, st.distanceCm, clock += 30);
      s.Speed = kmh(st.speedKmh);
      s.DoorsOpen = st.doors;
      e.displayTick(s, p);
    }
    const StationResult& d = e.stations()[2];
    EXPECT_EQ(d.outcome, Outcome::Stopped);
    EXPECT_EQ(d.stopErrorCm, c.stopErrorCm);
    EXPECT_FALSE(d.left);
  }
}

// By distance, the stopping range reaches from the start of its first frame to the end of its
// last one, and a stop is in it only when its distance, the one of its stop error, is too.
TEST(Evaluation, TheStopErrorsDistanceDecidesTheRange) {
  data::LineFile l = testDriveData().files.line;  // 0-60 km/h over frames 0-300, then 60 km/h
  l.params.SpeedUnit.back().endFrame = 1400;
  l.params.SpeedUnit.back().endDistance = 8333 + 61111;
  const auto cm = [&l](int frame) { return sim::lineDistanceAt(l.params, frame); };
  l.stations[3].stopDistance = static_cast<int>(cm(950));
  const long double first = cm(900), end = cm(1001);
  const struct {
    const char* what;
    int frame;
    long double distance;
    Outcome outcome;  // of D after the stop, and after moving on to frame 1100
  } cases[] = {
      {"on its first centimetre", 900, first, Outcome::Stopped},
      {"short of it, though on its first frame", 900, first - 1, Outcome::Passed},
      {"at the end of its last frame", 1000, end, Outcome::Stopped},
      {"past its end, though on its last frame", 1000, end + 1, Outcome::Passed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Evaluation e(l, at(150, 0, cm(150), 3000), -8);
    const sim::ProtectionState p;
    e.displayTick(at(880, 20, cm(880), 4500), p);
    e.displayTick(at(c.frame, 0, c.distance, 4600), p);
    e.displayTick(at(1100, 30, cm(1100), 5600), p);
    EXPECT_EQ(e.stations()[2].outcome, c.outcome);
    if (c.outcome == Outcome::Stopped) {
      EXPECT_EQ(e.stations()[2].stopErrorCm,
                sim::roundToInt(c.distance - l.stations[3].stopDistance));
    }
  }
}

// A station the train was taken away from, by the move command or a frame key, is left: what
// the protection does afterwards is not charged to it.
TEST(Evaluation, AStationMovedAwayFromIsLeft) {
  const data::LineFile l = line();
  sim::ProtectionState alarm;
  alarm.AtsAlarm = true;
  const sim::ProtectionState none;
  for (const bool byMove : {true, false}) {
    SCOPED_TRACE(byMove ? "moved on to D" : "a frame key back");
    Evaluation e(l, at(150, 0, 5000, 3000), -8);
    e.displayTick(at(650, 0, 20000, 3500), none);  // stopped at C
    ASSERT_EQ(e.stations()[1].outcome, Outcome::Stopped);
    if (byMove) {
      e.moved(at(950, 0, 30000, 4850));
    } else {
      e.displayTick(at(550, 0, 20000, 3600), none);
    }
    e.displayTick(at(byMove ? 950 : 550, 0, byMove ? 30000 : 20000, 4900), alarm);
    EXPECT_TRUE(e.stations()[1].left);
    EXPECT_EQ(e.stations()[1].onTheWay.atsAlarms, 0);
    EXPECT_EQ((byMove ? e.stations()[2].onTheWay : e.pending()).atsAlarms, 1);
  }
}

// The last station ends the drive's judgement when its doors open; no departure is judged there.
// The drive is complete once it stood there, not driven before any station after the start.
TEST(Evaluation, LastStationFinishesTheDrive) {
  const data::LineFile l = line();
  Evaluation e(l, at(1000, 0, 30000, 6000), -8);  // moved to D: D is the origin
  const sim::ProtectionState p;
  e.displayTick(at(1001, 5, 30100, 6100), p);  // leaves D 26 s after its departure time
  EXPECT_EQ(e.kind(), drive::DriveKind::NotDriven);
  e.displayTick(at(1250, 0, 40000, 6999), p);
  EXPECT_EQ(e.kind(), drive::DriveKind::Complete);
  EXPECT_FALSE(e.finished());
  e.displayTick(withDoors(at(1250, 0, 40000, 7000)), p);
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
