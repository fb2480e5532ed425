// Fitting the "[SpeedUnit]" table to a recorded run: few rows (integer speeds, the speed running
// linearly over each row) whose derived distance, by the loader's own formula
// (data::unitLength, sim::segmentDistance), follows the track's distance within 0.5 % (at least
// 3 m) at every second, and whose speed follows the track's within 2 km/h. The rows aim at half
// that distance allowance, so that the line also stays within it of the true distance when the
// track itself is off by a metre or two: the fewest rows that do.
//
// Rows are found greedily: each row is stretched as far as some end speed keeps every second
// inside both limits (a few seconds past the first failure are still tried), and of the end
// speeds that do, the one that lands closest to the track's distance is taken, so errors do not
// build up from row to row. Where the camera stood the row runs at 0 km/h (the stand gathers no
// distance); the row that leaves a stand starts at 1 km/h, so that a train following the
// recording (Shift+F1) gets under way again.
#pragma once

#include <utility>
#include <vector>

#include "sim/line_params.h"

namespace dravolin::author {

inline constexpr double kDistanceShare = 0.005;  // of the distance travelled
inline constexpr double kDistanceFloorM = 3.0;
inline constexpr double kFitShare = 0.5;  // of the distance allowance the rows aim at
inline constexpr double kSpeedToleranceKmh = 2.0;

struct SpeedTarget {
  int firstFrame = 0;  // line frame of index 0 below
  // Per line frame from firstFrame on: the track's distance from firstFrame (m), its speed
  // (km/h, real) and whether the track knows them there (false inside a dropout, where the
  // distance is interpolated and held to the whole allowance only, and the speed is free).
  std::vector<double> distanceM;
  std::vector<double> speedKmh;
  std::vector<bool> known;
  // Indices (into the vectors above) at which the limits are checked: one a second.
  std::vector<int> checks;
  // Stands [arrive, depart) as indices, in order: rows at 0 km/h.
  std::vector<std::pair<int, int>> stands;
  // Table speed per real speed: the line video is taken as 30 frames a second, so a video of
  // fewer frames a second gets proportionally higher speeds (30 / its frame rate).
  double tableScale = 1.0;
};

struct SpeedFit {
  std::vector<sim::SpeedUnitRow> rows;  // endDistance filled in, cm
  double worstDistanceM = 0;            // largest distance error at a checked second
  double worstSpeedKmh = 0;             // largest speed error (real km/h) at a checked second
  int violations = 0;  // checked seconds outside the allowance (rows that could not do better)
};

SpeedFit fitSpeedTable(const SpeedTarget& target);

// The derived distance (m) of line frame `frame` under `rows`, by the loader's formula; frames
// outside every row take the end distance of the last row before them.
double derivedDistanceM(const std::vector<sim::SpeedUnitRow>& rows, int frame);
// The first line frame at which the derived distance reaches `metres` (the last frame of the
// rows when it never does).
int frameAtDistance(const std::vector<sim::SpeedUnitRow>& rows, double metres);

}  // namespace dravolin::author
