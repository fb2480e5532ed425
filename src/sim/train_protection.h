// Train protection in the display tick: the ATC's speed supervision, the ATS with alarm bell and
// confirmation, the pattern ATS, the line's speed-check points and the EB (dead-man) device.
// Their brake outputs are the latches AtsBrakeApplied (emergency brake) and AtcBrakeApplied (full
// service brake), which the handle display turns into brake notches; each step calls it through
// `masconupdate` where the latches change.
//
// Each of the three supervision steps acts only for its own ATS type, so the display tick may
// call all of them (trainProtection does, in the order ATC, ATS, pattern ATS).
#pragma once

#include <span>

#include "platform/sound_slots.h"
#include "sim/cab_model.h"
#include "sim/callback_ref.h"
#include "sim/line_tables.h"
#include "sim/protection_params.h"
#include "sim/protection_state.h"
#include "sim/signals.h"
#include "sim/train_state.h"

namespace dravolin::sim {

// ATC: overspeed for the class of the signal ahead (or above Speed_G, or any speed at R) applies
// the brake every tick while the driver's brake is above the step below EB; the first tick
// without overspeed releases it.
void atcSupervision(TrainState& s, const ProtectionParams& p, ProtectionState& ps,
                    CallbackRef masconupdate);

// ATS with alarm: starts the bell at a stop warning, a stop check or (speed checks) above the
// checked speed + 5 km/h; brakes at once at a stop check and after ATS_Time seconds without
// confirmation; plays the confirmation chime and keeps the ATS lamps.
void atsAlarm(TrainState& s, const ProtectionParams& p, ProtectionState& ps, CabModel& cab,
              platform::SoundSlots& sounds, CallbackRef masconupdate);

// The pattern ATS's target: the first check point within 600 m ahead that is a speed limit or a
// signal of kind 2 to 5 at stop. `limit` is in km/h (0 for a signal at stop, 999 without a
// target) and `distance` in cm ahead (0 without a target).
struct PatternTarget {
  int limit = 999;
  long double distance = 0;
};
PatternTarget patternTarget(long double distance, std::span<const CheckPoint> points,
                            std::span<const SignalRecord> signals, const SignalState& blocks);

// Braking distance in metres from `speed` down to `target` km/h at 0.8 x BrakeRate; without a
// positive brake rate the train cannot brake and the distance is infinite.
long double patternBrakingDistance(long double speed, long double target, Fixed brakeRate);

// Pattern ATS: state 1 (chime, Lamp_Atsp1) when the train comes near the braking curve to its
// target, 2 (brake, both lamps) on the curve; the brake is released only by state 0 (or by the
// reset key, after which a train on the curve is braked again as on entering state 2).
void patternAts(TrainState& s, const ProtectionParams& p, std::span<const CheckPoint> points,
                std::span<const SignalRecord> signals, const SignalState& blocks,
                ProtectionState& ps, CabModel& cab, platform::SoundSlots& sounds,
                CallbackRef masconupdate);

// ATC, ATS and pattern ATS in that order.
void trainProtection(TrainState& s, const ProtectionParams& p, std::span<const CheckPoint> points,
                     std::span<const SignalRecord> signals, const SignalState& blocks,
                     ProtectionState& ps, CabModel& cab, platform::SoundSlots& sounds,
                     CallbackRef masconupdate);

// Speed-check points: a point just passed above its speed starts the ATS alarm (which only the
// ATS with alarm then sounds, in its next step).
void speedChecks(const TrainState& s, std::span<const SpeedCheckRecord> checks,
                 ProtectionState& ps);

// EB device: counts display ticks of movement without driver input; above 60 s the buzzer and
// Lamp_EB, above 65 s the emergency brake and a new count. AutoSpeed switches it off for the run.
void ebDevice(TrainState& s, const ProtectionParams& p, ProtectionState& ps, CabModel& cab,
              platform::SoundSlots& sounds, CallbackRef masconupdate);

}  // namespace dravolin::sim
