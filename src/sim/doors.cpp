#include "sim/doors.h"

namespace dravolin::sim {

void Door_operate(TrainState& s, platform::SoundSlots& sound, DoorSounds slots) {
  // While the train moves the key does nothing at all: clearing the open command here would let
  // open doors count as closed, without their closing sound, once the opening sound had ended.
  if (roundToInt(s.Speed.ld()) != 0) return;
  s.DoorCommand = false;
  if (!s.DoorsOpen) {
    s.DoorCommand = true;
    platform::restart(sound, slots.open);
  } else {
    s.DoorCommand = false;
    platform::restart(sound, slots.close);
  }
  if (s.DoorCommand) s.DoorsOpen = true;
}

void doorClosingStep(TrainState& s, CabPicture& doorLamp, const platform::SoundSlots& sound,
                     DoorSounds slots) {
  if (!s.DoorCommand && !sound.isPlaying(slots.open) && !sound.isPlaying(slots.close) &&
      !doorLamp.visible) {
    doorLamp.visible = true;
    s.DoorsOpen = false;
  }
  if (s.DoorsOpen) doorLamp.visible = false;
}

}  // namespace dravolin::sim
