// The driver's ATS buttons: confirmation (Space, the controller box's button) and the reset after
// an emergency stop ("r").
#pragma once

#include "data/train_file.h"
#include "platform/sound_slots.h"
#include "sim/protection_state.h"
#include "sim/train_state.h"

namespace dravolin::input {

// Confirmation. Stops the confirmation chime (with the stop warning only at standstill); a press
// after a confirmation ends the confirmed state; a ringing alarm is confirmed only while some
// brake is applied and the ATS brake has not been applied: the bell's timer restarts, the chime
// becomes due and no new alarm starts until the ATS is free again. Returns whether the alarm was
// confirmed.
bool atsConfirm(sim::ProtectionState& ats, const sim::TrainState& s, const data::TrainFile& train,
                platform::SoundSlots& sounds);

// Reset. At standstill (the speed to the nearest whole km/h is 0) with the brake handle at
// emergency: both protection brakes released, bell and chime stopped, alarm ended and
// acknowledged. Returns whether it reset.
bool atsReset(sim::ProtectionState& ats, sim::TrainState& s, const data::TrainFile& train,
              platform::SoundSlots& sounds);

}  // namespace dravolin::input
