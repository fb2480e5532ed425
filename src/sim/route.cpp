#include "sim/route.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace dravolin::sim {

namespace {

// Adds to a frame counter without wrapping: a runaway speed stops at the end of the int range.
int saturatingAdd(int a, std::int64_t b) {
  const std::int64_t sum = static_cast<std::int64_t>(a) + b;
  if (sum > std::numeric_limits<int>::max()) {
    return std::numeric_limits<int>::max();
  }
  if (sum < std::numeric_limits<int>::min()) {
    return std::numeric_limits<int>::min();
  }
  return static_cast<int>(sum);
}

}  // namespace

long double distancePerTick(Fixed speed) { return speed.ld() * 33333.0L / 36000.0L; }

long double segmentDistance(const SpeedUnitRow& row, long double p) {
  const long double fs = row.startFrame;
  const long double fe = row.endFrame;
  const long double vs = row.startSpeed;
  const long double ve = row.endSpeed;
  const long double vp = (ve - vs) / (fe - fs) * (p - fs) + vs;
  return ((vp + vs) / 7.2L) * ((p - fs) / 30.0L) * 100.0L;
}

int speedUnitRowAt(const LineParams& line, int frame) {
  int found = -1;
  for (std::size_t i = 0; i < line.SpeedUnit.size(); ++i) {
    const SpeedUnitRow& row = line.SpeedUnit[i];
    if (row.startFrame <= frame && frame < row.endFrame) found = static_cast<int>(i);
  }
  return found;
}

long double lineDistanceAt(const LineParams& line, int frame) {
  const std::vector<SpeedUnitRow>& rows = line.SpeedUnit;
  const int i = speedUnitRowAt(line, frame);
  if (i >= 0) {
    const auto u = static_cast<std::size_t>(i);
    const long double before = u == 0 ? 0.0L : static_cast<long double>(rows[u - 1].endDistance);
    return std::nearbyint(before + segmentDistance(rows[u], frame));
  }
  long double distance = 0;
  for (const SpeedUnitRow& row : rows) {
    if (row.endFrame <= frame) distance = row.endDistance;
  }
  return distance;
}

void positionStep(TrainState& s, const LineParams& line) {
  // 1-2. Accumulate the rounded speed and turn whole FrameSteps of it into frames.
  const int roundedSpeed = roundToInt(s.Speed.ld());
  s.FrameAccumulator =
      saturatingAdd(s.FrameAccumulator, roundedSpeed < 0 ? -static_cast<std::int64_t>(roundedSpeed)
                                                         : static_cast<std::int64_t>(roundedSpeed));
  if (s.FrameAccumulator >= s.FrameStep) {
    if (s.FrameStep < 1) {
      s.FrameStep = 1;
    }
    const int q = s.FrameAccumulator / s.FrameStep;
    s.FrameAccumulator -= q * s.FrameStep;
    if (s.Speed > Fixed()) {
      s.FrameIndex = saturatingAdd(s.FrameIndex, q);
    } else if (s.Speed < Fixed()) {
      s.FrameIndex = saturatingAdd(s.FrameIndex, -static_cast<std::int64_t>(q));
    }
  }

  // 3. The recording speed at the position, from the speed profile row the train is in.
  for (std::size_t i = 0; i < line.SpeedUnit.size(); ++i) {
    const SpeedUnitRow& row = line.SpeedUnit[i];
    if (row.startFrame <= s.FrameIndex && s.FrameIndex < row.endFrame) {
      const int index = static_cast<int>(i);
      if (index != s.SpeedUnitSegment && s.SpeedUnitSegment != -1) {
        // Just entered this row: the distance is exactly where the previous row ended.
        s.Distance = i == 0 ? 0.0L : static_cast<long double>(line.SpeedUnit[i - 1].endDistance);
      }
      const long double frames = static_cast<long double>(row.endFrame) - row.startFrame;
      s.FrameStep = roundToInt((static_cast<long double>(row.endSpeed) - row.startSpeed) / frames *
                                   (static_cast<long double>(s.FrameIndex) - row.startFrame) +
                               row.startSpeed);
      s.SpeedUnitSegment = index;
    }
  }

  // 4-6. Distance run at this tick's speed (none at rest) and the distance left to the next
  // stop. The step is taken afresh every tick: a step kept from the last moving tick would keep
  // adding to the distance of a standing train.
  s.DistanceStep = distancePerTick(s.Speed);
  s.Distance += s.DistanceStep;
  s.DistanceToStop = s.NextStopDistance - s.Distance;
}

}  // namespace dravolin::sim
