#include "sim/doors.h"

namespace dravolin::sim {

void Door_operate(TrainState& s, platform::SoundSlots& sound, DoorSounds slots) {
  s.DoorCommand = false;
  if (roundToInt(s.Speed.ld()) != 0) return;
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
