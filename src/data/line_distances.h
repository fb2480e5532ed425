// The distances a line file's frame positions stand for, derived from its speed profile
// ("[SpeedUnit]"): each unit's end distance, the pattern check point list (signals, then speed
// limits) and every stopping station's stop distance. All distances are whole centimetres along
// the line from the first unit's start frame, the video taken as 30 frames per second whatever
// the line's frame rate.
#pragma once

#include "data/line_file.h"
#include "sim/route.h"

namespace dravolin::data {

// Centimetres covered from a unit's start frame to frame `p` (start < p < end): the mean of the
// speeds at the start and at p, times the time, speeds interpolated linearly over the unit.
// Unrounded, in extended precision. The simulation measures the train's start distance with it.
using sim::segmentDistance;

// The whole unit's length in cm, rounded to the nearest (halves to even). false when the
// integer product (start speed + end speed) x (end frame - start frame) or the length does not
// fit 32 bits.
bool unitLength(const sim::SpeedUnitRow& unit, int& lengthCm);

// Fills params.SpeedUnit[i].endDistance, checkPoints and stations[i].stopDistance. A distance
// that does not fit 32 bits or a check point list longer than its room ends the start-up: throws
// the line file's LoadError naming the record ("[SpeedUnit]", "[Signal]", "[SpeedLimit]" or
// "[Station]" and the line).
void computeLineDistances(LineFile& line);

}  // namespace dravolin::data
