// The doors: the door command of the door key and the station stops, and the closing step of
// the display tick that lets the doors count as closed once both door sounds have ended.
#pragma once

#include "platform/sound_slots.h"
#include "sim/cab_model.h"
#include "sim/train_state.h"

namespace dravolin::sim {

// The train's door sound slots ("[Sound_DoorOpen]", "[Sound_DoorClose]").
struct DoorSounds {
  int open = 0;
  int close = 0;
};

// At standstill (speed rounding to 0 km/h): opens closed doors at once (traction is cut from
// now on), or starts the closing sound of open doors. Does nothing while the train moves.
void Door_operate(TrainState& s, platform::SoundSlots& sound, DoorSounds slots);

// Display-tick step: while closing, once neither door sound plays and the door lamp is hidden,
// shows the lamp and counts the doors as closed; then hides the lamp while the doors are open.
void doorClosingStep(TrainState& s, CabPicture& doorLamp, const platform::SoundSlots& sound,
                     DoorSounds slots);

}  // namespace dravolin::sim
