// The cab instruments of the display tick: needles, the digital speedometer, the extra panel
// images, the panel lamps, the timetable card, the meters' slewing, the tunnel panel, the gear
// indicator and the window title. Each step reads the train state and writes the cab model.
#pragma once

#include <span>
#include <string>

#include "data/line_file.h"
#include "sim/cab_model.h"
#include "sim/train_params.h"
#include "sim/train_state.h"

namespace dravolin::cab {

// Speeds at and above which the speed needle stays where it is, km/h.
inline constexpr int kSpeedNeedleLimit = 160;
// Motor currents at and above which the ammeter stays where it is (in either direction).
inline constexpr int kAmmeterLimit = 1500;
// Timetable card: pixels moved per display tick, and the window's right edge.
inline constexpr int kCardStep = 30;
inline constexpr int kWindowWidth = 640;

// value x angle per unit + zero angle, rounded to whole degrees (halves to even).
int needleAngle(const sim::CabNeedle& needle, long double value);

// Turns the needles in the order speed, ammeter, voltmeter, BC, ER, BP, MR, SAP. A needle that
// is not there is skipped.
void needles(const sim::TrainState& s, sim::CabModel& cab);

// `digi_speed`: the speed rounded to whole km/h (halves to even), signed, followed by "km/h".
void digitalSpeed(const sim::TrainState& s, sim::CabModel& cab);

// Every extra panel image that is there and hidden is made visible.
void showOthers(sim::CabModel& cab);

// Power, electric brake, electric and air lamps from the notches in effect.
void panelLamps(const sim::TrainState& s, const sim::TrainParams& p, sim::CabModel& cab);

// Slides the timetable card 30 px per tick: in from the right edge while it is to be shown, out
// again otherwise. No card, no slide.
void slideTimetableCard(bool shown, sim::CabModel& cab);

// Moves the voltmeter 0.5 and the ammeter 20 per tick towards their targets.
void slewMeters(sim::TrainState& s);

// Amperes of traction current per km/h/s of the train's acceleration (tractive force over the
// train's mass): full power of the demo's trains, about 2.9 km/h/s, reads about 725 A.
inline constexpr int kAmperesPerKmhPerS = 250;

// The ammeter's target after a simulation tick, in amperes: while powering, the tractive force
// of the tick as the train's acceleration times kAmperesPerKmhPerS; while an electric train with
// electric braking brakes electrically (a service brake notch above "[Lose_elec]", as the
// electric-brake lamp shows), the same for the motored cars' share (Mt of Tons) of the braking
// force, negative; otherwise, and always for a diesel train, 0.
void ammeterTarget(sim::TrainState& s, const sim::TrainParams& p);

// The tunnel panel is shown while the train is inside a "[Tunnel]" stretch (ends excluded).
void tunnelPanel(const sim::TrainState& s, std::span<const data::TunnelRecord> tunnels,
                 sim::CabModel& cab);

// The gear picture: gear g is image g + 1 while powering, image 0 (neutral) otherwise and while
// shifting. `gearShown` remembers the gear drawn, -1 for the neutral picture.
void gearIndicator(const sim::TrainState& s, int& gearShown, sim::CabModel& cab);

// The window's designed caption "Dravolin" gives way to the line's name.
void windowTitle(const std::string& lineNameUtf8, sim::CabModel& cab);

}  // namespace dravolin::cab
