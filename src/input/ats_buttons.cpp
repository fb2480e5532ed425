#include "input/ats_buttons.h"

namespace dravolin::input {

namespace {
bool atStandstill(const sim::TrainState& s) { return sim::roundToInt(s.Speed.ld()) == 0; }

void stopIfPlaying(platform::SoundSlots& sounds, int slot) {
  if (sounds.isPlaying(slot)) sounds.stop(slot);
}
}  // namespace

bool atsConfirm(sim::ProtectionState& ats, const sim::TrainState& s, const data::TrainFile& train,
                platform::SoundSlots& sounds) {
  if (ats.AtsCheck == sim::kStopWarning) {
    if (atStandstill(s)) stopIfPlaying(sounds, train.Sound_Ats2);
  } else {
    stopIfPlaying(sounds, train.Sound_Ats2);
  }
  if (ats.AtsConfirmed) {
    ats.AtsConfirmed = false;
    ats.AtsAlarm = false;
  }
  if (ats.AtsAlarm && s.BrakeHandle < 0 && !s.AtsBrakeApplied) {
    ats.AtsAlarm = false;
    ats.AtsConfirmed = true;
    ats.AtsTimerTicks = 0;
    ats.AtsAcknowledged = true;
    return true;
  }
  return false;
}

bool atsReset(sim::ProtectionState& ats, sim::TrainState& s, const data::TrainFile& train,
              platform::SoundSlots& sounds) {
  if (s.BrakeHandle != -train.params.Brake || !atStandstill(s)) {
    return false;
  }
  s.AtsBrakeApplied = false;
  s.AtcBrakeApplied = false;
  sounds.stop(train.Sound_Ats1);
  sounds.stop(train.Sound_Ats2);
  ats.AtsConfirmed = false;
  ats.AtsAlarm = false;
  ats.AtsTimerTicks = 0;
  ats.AtsAcknowledged = true;
  return true;
}

}  // namespace dravolin::input
