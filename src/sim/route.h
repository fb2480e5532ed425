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

}  // namespace dravolin::sim
