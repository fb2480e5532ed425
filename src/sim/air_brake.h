// The air brake: the five pressures (kPa) move every simulation tick according to the brake notch
// in effect, the brake type and the train protection; the brake cylinder gauge follows; the
// compressor runs in the display tick. Every rate is BrakeUp or BrakeDown over a fixed divisor,
// in kPa per 33 ms tick.
//
// Brake types: 0 automatic air brake with positions release, maintain, hold, apply, emergency;
// 1 notched brake with a straight air pipe and a brake pipe that must be recharged after an
// emergency application; 2 notched brake without pipe pressures. Any other type moves no
// pressure.
#pragma once

#include "sim/train_params.h"
#include "sim/train_state.h"

namespace dravolin::sim {

// The brake type's rules for the current BrakeNotch (simulation tick). A notch at or below
// -Brake is emergency.
void brakePressures(TrainState& s, const TrainParams& p);

// The pressure the BC gauge shows (simulation tick, after the brake type's rules). Trains with
// electric braking (Mc 1) show 50 kPa while the electric brake works.
void brakeCylinderGauge(TrainState& s, const TrainParams& p);

// What the compressor governor did in one display tick; the sound control plays the matching
// sounds.
struct CompressorEvents {
  bool started = false;  // MrPressure fell below LowAirPress while it was not running
  bool stopped = false;  // MrPressure reached HighAirPress while it was running
};

// The compressor governor (display tick): starts below LowAirPress, stops at or above
// HighAirPress, fills the main reservoir by 0.3 kPa per display tick while running. Both events
// can happen in one tick when LowAirPress is above HighAirPress.
CompressorEvents compressor(TrainState& s, const TrainParams& p);

}  // namespace dravolin::sim
