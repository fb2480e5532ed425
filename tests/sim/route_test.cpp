#include "sim/route.h"

#include <gtest/gtest.h>

#include "fixtures/sample_trains.h"

namespace dravolin::sim {
namespace {

using testing::kmh;
using testing::testLine;

// A line without speed profile rows keeps FrameStep as the test sets it.
LineParams flatLine() { return LineParams{}; }

struct FrameCase {
  const char* what;
  int frameStep;
  long double speed;
  std::vector<int> frames;  // FrameIndex after each tick, starting from 1000
};

class FrameAdvance : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameAdvance, AccumulatesRoundedSpeedIntoFrames) {
  TrainState s;
  s.FrameIndex = 1000;
  s.FrameStep = GetParam().frameStep;
  s.Speed = kmh(GetParam().speed);
  for (std::size_t i = 0; i < GetParam().frames.size(); ++i) {
    positionStep(s, flatLine());
    EXPECT_EQ(s.FrameIndex, GetParam().frames[i]) << GetParam().what << ", tick " << i + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Speeds, FrameAdvance,
    ::testing::Values(
        FrameCase{"recording speed: a frame a tick", 60, 60, {1001, 1002, 1003}},
        FrameCase{"half the speed: every second tick", 60, 30, {1000, 1001, 1001, 1002}},
        FrameCase{"one and a half: 1 and 2 alternately", 60, 90, {1001, 1003, 1004, 1006}},
        FrameCase{"backwards", 60, -60, {999, 998}},
        FrameCase{"0.4 km/h rounds to 0", 1, 0.4L, {1000, 1000}},
        FrameCase{"0.5 km/h rounds to 0 (ties to even)", 1, 0.5L, {1000, 1000}},
        FrameCase{"1.5 km/h rounds to 2", 1, 1.5L, {1002, 1004}},
        FrameCase{"FrameStep 0 is raised to 1", 0, 3, {1003, 1006}},
        FrameCase{"a negative FrameStep is raised to 1", -5, 2, {1002}}));

// The distance of a tick is run at that tick's speed: it grows at a crawl too slow to advance a
// frame, stays put at rest (also after a moving tick) and falls when rolling back.
TEST(PositionStep, DistanceRunsAtTheTicksSpeed) {
  const long double step = 0.4L * 33333 / 36000;
  TrainState s;
  s.FrameStep = 60;
  s.NextStopDistance = 100;
  const struct {
    long double speed;
    long double distance;  // after the tick
  } ticks[] = {{0.4L, step}, {0, step}, {0, step}, {-0.4L, 0}, {0, 0}};
  for (const auto& t : ticks) {
    s.Speed = kmh(t.speed);
    positionStep(s, flatLine());
    EXPECT_EQ(s.FrameAccumulator, 0);
    EXPECT_NEAR(s.Distance, t.distance, 1e-12L) << "at " << static_cast<double>(t.speed);
    EXPECT_NEAR(s.DistanceToStop, 100 - t.distance, 1e-12L);
  }
}

TEST(PositionStep, FrameStepFollowsTheRecordingSpeed) {
  const LineParams line = testLine();  // 0 to 60 km/h over frames 0..300, then 60 km/h
  struct Case {
    int frame;
    int step;
  };
  for (const Case& c : {Case{0, 0}, Case{150, 30}, Case{297, 59}, Case{298, 60}, Case{450, 60}}) {
    TrainState s;
    s.FrameIndex = c.frame;
    positionStep(s, line);
    EXPECT_EQ(s.FrameStep, c.step) << "frame " << c.frame;
  }
  TrainState s;
  s.FrameIndex = 700;  // beyond every row: FrameStep keeps its value
  s.FrameStep = 42;
  positionStep(s, line);
  EXPECT_EQ(s.FrameStep, 42);
}

// The distance of a frame from the line's origin, as stop distances are measured: rows 0..300
// (0 to 60 km/h, 8333 cm) and 300..600 (60 km/h, 25000 cm), then a gap and a row 700..800. A
// row's end frame, which no row holds, stands at that row's end distance.
TEST(LineDistance, OfAFrameFromTheLinesOrigin) {
  LineParams line = testLine();
  line.SpeedUnit.push_back({700, 800, 60, 60, 33333});
  struct Case {
    int frame;
    int row;
    long double cm;
  };
  for (const Case& c :
       {Case{-5, -1, 0}, Case{0, 0, 0}, Case{100, 0, 926},            // 925.93
        Case{299, 0, 8278}, Case{300, 1, 8333}, Case{450, 1, 16666},  // 8333 + 8333.3
        Case{599, 1, 24944}, Case{600, -1, 25000}, Case{650, -1, 25000}, Case{700, 2, 25000},
        Case{799, 2, 30500}, Case{800, -1, 33333}, Case{900, -1, 33333}}) {
    EXPECT_EQ(speedUnitRowAt(line, c.frame), c.row) << c.frame;
    EXPECT_EQ(lineDistanceAt(line, c.frame), c.cm) << c.frame;
  }
  EXPECT_EQ(lineDistanceAt(LineParams{}, 100), 0);
}

// A train that starts inside a row counts its distance from the line's origin, so that entering
// the next row changes it by no more than one tick's run.
TEST(PositionStep, AStartInsideARowDoesNotJumpAtTheNextRow) {
  LineParams line = testLine();
  line.StartPos = 100;
  TrainState s = loadState(testing::electricTrain(), line);
  EXPECT_EQ(s.Distance, 926);
  EXPECT_EQ(s.SpeedUnitSegment, 0);
  s.Speed = kmh(60);
  s.FrameStep = 60;
  long double before = s.Distance;
  while (s.FrameIndex < 310) {
    positionStep(s, line);
    EXPECT_NEAR(s.Distance - before, 60 * 33333.0L / 36000, 60) << s.FrameIndex;
    before = s.Distance;
  }
  // A start in the second row takes that row: the first tick does not re-synchronise.
  line.StartPos = 450;
  s = loadState(testing::electricTrain(), line);
  EXPECT_EQ(s.SpeedUnitSegment, 1);
  positionStep(s, line);
  EXPECT_EQ(s.Distance, 16666);
}

TEST(PositionStep, EnteringARowResynchronisesTheDistance) {
  const LineParams line = testLine();
  TrainState s;
  s.FrameIndex = 299;
  s.SpeedUnitSegment = 0;
  s.FrameStep = 60;
  s.Distance = 8000;
  s.Speed = kmh(60);
  positionStep(s, line);
  EXPECT_EQ(s.FrameIndex, 300);
  EXPECT_EQ(s.SpeedUnitSegment, 1);
  EXPECT_NEAR(s.Distance, 8333 + 60 * 33333.0L / 36000, 1e-9L);
  positionStep(s, line);  // staying in the row keeps the distance running
  EXPECT_NEAR(s.Distance, 8333 + 2 * 60 * 33333.0L / 36000, 1e-9L);
}

TEST(PositionStep, EnteringTheFirstRowStartsFromZero) {
  const LineParams line = testLine();
  TrainState s;
  s.FrameIndex = 0;
  s.SpeedUnitSegment = 1;  // came back from the second row
  s.Distance = 1234;
  s.FrameStep = 60;
  s.Speed = kmh(0.4L);  // no frame advance
  positionStep(s, line);
  EXPECT_EQ(s.SpeedUnitSegment, 0);
  EXPECT_NEAR(s.Distance, 0.4L * 33333 / 36000, 1e-12L);
}

// After a move to a station the segment is -1: the row it lands in is taken without touching
// the distance, and only the next row change re-synchronises.
TEST(PositionStep, AfterAMoveOnlyTheNextRowResynchronises) {
  const LineParams line = testLine();
  TrainState s;
  s.FrameIndex = 299;
  s.SpeedUnitSegment = -1;
  s.FrameStep = 60;
  s.Distance = 5000;
  s.Speed = kmh(60);
  positionStep(s, line);
  EXPECT_EQ(s.SpeedUnitSegment, 1);
  EXPECT_NEAR(s.Distance, 5000 + 60 * 33333.0L / 36000, 1e-9L);
}

TEST(PositionStep, ARunawaySpeedCannotWrapTheFrameNumber) {
  TrainState s;
  s.FrameIndex = 2147483000;
  s.FrameStep = 1;
  s.Speed = Fixed::fromInt(1000000000);
  positionStep(s, flatLine());
  EXPECT_EQ(s.FrameIndex, 2147483647);
}

}  // namespace
}  // namespace dravolin::sim
