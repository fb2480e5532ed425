// Traction: the tractive force of the power notch in effect, computed by the simulation tick from
// the electric notch curves or the diesel gear table, and the diesel engine output and low-speed
// gear reset of the display tick.
//
// Notation: v = |Speed| in km/h, m = Tons x 1000 kg. Accelerations from the tables are in
// km/h/s, so a force is m x a / 3.6 newtons.
#pragma once

#include "sim/train_params.h"
#include "sim/train_state.h"

namespace dravolin::sim {

inline constexpr long double kGravity = 9.8L;  // m/s^2

// The mass of the whole train in kg.
inline long double trainMassKg(const TrainParams& p) { return p.Tons.ld() * 1000.0L; }

// The notch-curve acceleration (km/h/s) of `row` at speed v (km/h), v >= 0.
long double notchAcceleration(const NotchRow& row, long double v);

// The gear acceleration (km/h/s) at full engine output of `row` at speed v (km/h), v >= 0.
long double gearAcceleration(const GearRow& row, long double v);

// Electric traction (simulation tick, PowerNotch > 0): adds the force of the notch curve of row
// PowerNotch. A notch beyond the table uses its top row.
void electricTraction(TrainState& s, const TrainParams& p);

// Automatic gear selection of a diesel railcar (simulation tick, not shifting). Up-shifts above
// V2 of the current row, down-shifts below V0 - 5 km/h; a shift beyond the first or the last row
// of the table does not start.
void dieselGearSelection(TrainState& s, const TrainParams& p);

// Diesel traction (simulation tick, PowerNotch > 0, not shifting): force of the gear row Gear at
// the current engine output.
void dieselTraction(TrainState& s, const TrainParams& p);

// Engine output (display tick, diesel only): rises under power towards the gear's limit, falls
// back to 50 % without power or while shifting.
void dieselEngineOutput(TrainState& s, const TrainParams& p);

// Low-speed gear reset (display tick, every train): below 25 km/h the gear falls back to row 0
// and a gear change in progress is abandoned.
void lowSpeedGearReset(TrainState& s);

}  // namespace dravolin::sim
