#include "data/line_distances.h"

#include <cmath>
#include <limits>
#include <string>

#include "data/keyed_file.h"

namespace dravolin::data {
namespace {

// Rounds to the nearest integer, halves to even; false when the result does not fit 32 bits.
bool roundToInt32(long double value, int& out) {
  constexpr long double lowest = std::numeric_limits<int>::min() - 0.5L;
  constexpr long double highest = std::numeric_limits<int>::max() + 0.5L;
  if (!(value >= lowest && value < highest)) {
    return false;
  }
  out = static_cast<int>(std::nearbyint(value));
  return true;
}

bool strictlyInside(const sim::SpeedUnitRow& unit, long double p) {
  return unit.startFrame < p && p < unit.endFrame;
}

template <typename Text>
std::string_view lineOf(const std::vector<Text>& lines, std::size_t i) {
  return i < lines.size() ? std::string_view(lines[i]) : std::string_view();
}

// The check point distance of frame p in a unit whose start lies `total` cm along the line.
bool pointDistance(int total, const sim::SpeedUnitRow& unit, int p, int& out) {
  int segment = 0;
  return roundToInt32(segmentDistance(unit, p), segment) &&
         !__builtin_add_overflow(total, segment, &out);
}

void addCheckPoint(LineFile& line, CheckPoint point, const char* label, std::string_view rawLine) {
  if (static_cast<int>(line.checkPoints.size()) >= kCheckPointRoom) {
    throw lineFileError(label, rawLine, tooManyRecords(kCheckPointRoom));
  }
  line.checkPoints.push_back(point);
}

// Signals pass: check points of the signals' check frames, and every unit's end distance.
void signalsPass(LineFile& line) {
  std::vector<sim::SpeedUnitRow>& units = line.params.SpeedUnit;
  int total = 0;
  for (std::size_t u = 0; u < units.size(); ++u) {
    for (std::size_t s = 0; s < line.signals.size(); ++s) {
      const SignalRecord& signal = line.signals[s];
      if (!strictlyInside(units[u], signal.checkFrame)) {
        continue;
      }
      CheckPoint point{0, 0, static_cast<int>(s)};
      if (!pointDistance(total, units[u], signal.checkFrame, point.distance)) {
        throw lineFileError("[Signal]", signal.line, msg::distanceOverflow());
      }
      addCheckPoint(line, point, "[Signal]", signal.line);
    }
    int length = 0;
    if (!unitLength(units[u], length) || __builtin_add_overflow(total, length, &total)) {
      throw lineFileError("[SpeedUnit]", lineOf(line.speedUnitLines, u), msg::distanceOverflow());
    }
    units[u].endDistance = total;
  }
}

// Speed limits pass: check points where the limits begin, after those of the signals.
void speedLimitsPass(LineFile& line) {
  const std::vector<sim::SpeedUnitRow>& units = line.params.SpeedUnit;
  for (std::size_t u = 0; u < units.size(); ++u) {
    const int total = u == 0 ? 0 : units[u - 1].endDistance;
    for (const SpeedLimitRecord& limit : line.speedLimits) {
      if (!strictlyInside(units[u], limit.startFrame)) {
        continue;
      }
      CheckPoint point{0, limit.limit, 0};
      if (!pointDistance(total, units[u], limit.startFrame, point.distance)) {
        throw lineFileError("[SpeedLimit]", limit.line, msg::distanceOverflow());
      }
      addCheckPoint(line, point, "[SpeedLimit]", limit.line);
    }
  }
}

// Stations pass: the stop distance of every stopping station, at the middle of its range.
void stationsPass(LineFile& line) {
  const std::vector<sim::SpeedUnitRow>& units = line.params.SpeedUnit;
  for (std::size_t u = 0; u < units.size(); ++u) {
    const int previousEnd = u == 0 ? 0 : units[u - 1].endDistance;
    for (StationRecord& station : line.stations) {
      if (station.type == 1) {
        continue;
      }
      const long double middle =
          (static_cast<long double>(station.rangeStart) + station.rangeEnd) / 2.0L;
      if (!strictlyInside(units[u], middle)) {
        continue;
      }
      if (!roundToInt32(previousEnd + segmentDistance(units[u], middle), station.stopDistance)) {
        throw lineFileError("[Station]", station.line, msg::distanceOverflow());
      }
    }
  }
}

}  // namespace

bool unitLength(const sim::SpeedUnitRow& unit, int& lengthCm) {
  int speeds = 0;
  int frames = 0;
  int product = 0;
  if (__builtin_add_overflow(unit.startSpeed, unit.endSpeed, &speeds) ||
      __builtin_sub_overflow(unit.endFrame, unit.startFrame, &frames) ||
      __builtin_mul_overflow(speeds, frames, &product)) {
    return false;
  }
  return roundToInt32(static_cast<long double>(product) / 2.16L, lengthCm);
}

void computeLineDistances(LineFile& line) {
  line.checkPoints.clear();
  signalsPass(line);
  speedLimitsPass(line);
  stationsPass(line);
}

}  // namespace dravolin::data
