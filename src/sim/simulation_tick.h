// The 33 ms simulation tick: tractive force, brake pressures, handle delays, position, distance,
// clock and schedule frame, in this order. Rates are per tick; 30 ticks count as one second.
#pragma once

#include "sim/line_params.h"
#include "sim/train_params.h"
#include "sim/train_state.h"

namespace dravolin::sim {

// Simulation ticks a diesel gear change takes (about 1.65 s).
inline constexpr int kGearShiftTicks = 50;

// One simulation tick. Allocates nothing and does no input or output.
void MMTimer1Timer(TrainState& s, const TrainParams& p, const LineParams& line);

// The steps of the tick, in the order MMTimer1Timer runs them.
void traction(TrainState& s, const TrainParams& p);    // steps 1-2: forces, gear wait, power delay
void brakeDelay(TrainState& s, const TrainParams& p);  // step 5
void advanceClock(TrainState& s, const LineParams& line);  // steps 7-9

}  // namespace dravolin::sim
