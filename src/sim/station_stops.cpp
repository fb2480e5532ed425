#include "sim/station_stops.h"

#include <algorithm>

namespace dravolin::sim {

namespace {

const std::string& suffix(const StationTexts& texts, int type) {
  static const std::string none;
  switch (type) {
    case 0:
      return texts.Stop;
    case 1:
      return texts.Pass;
    case 2:
      return texts.Stop2;
    default:
      return none;
  }
}

// Sets `text` to name + suffix. It is called every tick between two stations, so an unchanged
// caption is left alone rather than rebuilt (a long one would be allocated anew each time).
void setCaption(std::string& text, const std::string& name, const std::string& suffix) {
  if (text.size() == name.size() + suffix.size() && text.starts_with(name) &&
      text.ends_with(suffix)) {
    return;
  }
  text.assign(name).append(suffix);
}

// The slot of line sound `sound`; a number past the slots gives -1, which no slot answers to.
int slotOf(int firstLineSlot, int sound) {
  const long long slot = static_cast<long long>(firstLineSlot) + sound;
  return slot >= 0 && slot < platform::SoundSlots::kSlotCount ? static_cast<int>(slot) : -1;
}

}  // namespace

void stationStep(TrainState& s, const StationLine& line, StationFlags& flags, CabModel& cab,
                 platform::SoundSlots& sound) {
  const std::vector<StationRecord>& st = line.stations;
  const std::size_t n = std::min({st.size(), flags.markerShown.size(),
                                  flags.departureSoundPlayed.size(), flags.departed.size()});
  for (std::size_t i = 0; i < n; ++i) {
    const StationRecord& here = st[i];

    // Between this station and the next one: name the next one; the marker goes.
    if (i + 1 < st.size() && here.rangeEnd < s.FrameIndex && s.FrameIndex < st[i + 1].rangeStart) {
      setCaption(cab.Label4.text, st[i + 1].nameUtf8, suffix(line.texts, st[i + 1].type));
      if (flags.markerShown[i] != 0) cab.stop.clear();
      flags.markerShown[i] = 0;
    }

    // Inside the stopping range of a station the train stops at.
    if (here.rangeStart <= s.FrameIndex && s.FrameIndex <= here.rangeEnd && here.type != 1) {
      if (flags.markerShown[i] == 0) cab.stop.draw(cab.SignImages, 0);
      cab.Label4.text = here.nameUtf8;
      flags.markerShown[i] = 1;
    }

    if (flags.markerShown[i] != 1 || flags.departed[i] != 0) continue;

    const int departureSlot = slotOf(line.firstLineSlot, here.departureSound);
    if (here.type == 0 && !s.DoorsOpen && roundToInt(s.Speed.ld()) == 0 && !line.oneMan) {
      Door_operate(s, sound, line.doors);
    }
    if (s.ClockTicks > here.departureSoundTime && flags.departureSoundPlayed[i] == 0 &&
        (here.type == 2 || (here.type == 0 && s.DoorsOpen))) {
      platform::restart(sound, departureSlot);
      flags.departureSoundPlayed[i] = 1;
      for (std::size_t j = i + 1; j < st.size(); ++j) {
        if (st[j].type == 0) {
          s.NextStopDistance = st[j].stopDistance;
          break;
        }
      }
    }
    if (s.ClockTicks > here.departureTime && s.DoorsOpen && flags.departed[i] == 0 &&
        !sound.isPlaying(departureSlot)) {
      if (!line.oneMan) Door_operate(s, sound, line.doors);
      flags.departed[i] = 1;
    }
  }
}

}  // namespace dravolin::sim
