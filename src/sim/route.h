// Route progress: the train's position is the number of the line video frame that belongs to it.
// Each simulation tick accumulates the speed in whole km/h and turns it into frames at the
// recording speed of the current position (FrameStep), so the video runs at its recording speed
// when the train runs at the speed it was recorded at. A distance in centimetres runs beside it,
// re-synchronised to the speed profile's end distances whenever the train enters a new row.
#pragma once

#include "sim/line_params.h"
#include "sim/train_state.h"

namespace dravolin::sim {

// The position step of the simulation tick: frames, SpeedUnit row, DistanceStep, Distance and
// DistanceToStop.
void positionStep(TrainState& s, const LineParams& line);

// Centimetres covered in one simulation tick (1/30 s) at `speed` km/h, signed.
long double distancePerTick(Fixed speed);

// Centimetres covered from a row's start frame to frame `p` (start <= p <= end): the mean of the
// speeds at the start and at p, times the time, speeds interpolated linearly over the row, the
// video taken as 30 frames per second. Unrounded, in extended precision.
long double segmentDistance(const SpeedUnitRow& row, long double p);

// The row holding `frame` (start frame <= frame < end frame); of overlapping rows the last, as
// in the position step; -1 when no row holds it.
int speedUnitRowAt(const LineParams& line, int frame);

// The distance of `frame` from the line's origin in whole centimetres (halves to even), as a
// station's stop distance is measured: the previous row's end distance (0 for the first row) plus
// the distance covered in the row that holds the frame. A frame that no row holds takes the end
// distance of the last row that ends at or before it, 0 when none does.
long double lineDistanceAt(const LineParams& line, int frame);

}  // namespace dravolin::sim
