// The physics steps of the 100 ms display tick, in the relative order the display tick runs
// them; the cab and sound steps between them belong to the display tick itself.
#pragma once

#include "sim/air_brake.h"
#include "sim/train_params.h"
#include "sim/train_state.h"

namespace dravolin::sim {

// Forces and speed, compressor, gradient averaging, diesel engine output (diesel trains only)
// and the low-speed gear reset. Returns what the compressor did, for its sounds.
CompressorEvents displayTickPhysics(TrainState& s, const TrainParams& p);

}  // namespace dravolin::sim
