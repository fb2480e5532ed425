// The station stop sequence of the display tick: the next-station caption, the stop-position
// marker, automatic door opening, the departure sound at its time and the doors closing after
// the departure time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/sound_slots.h"
#include "sim/cab_model.h"
#include "sim/doors.h"
#include "sim/line_tables.h"
#include "sim/train_state.h"

namespace dravolin::sim {

// The settings file's next-station suffixes, UTF-8, for station types 0, 1 and 2.
struct StationTexts {
  std::string Stop;
  std::string Pass;
  std::string Stop2;
};

// Per-station progress, one entry per station of the line.
struct StationFlags {
  std::vector<std::uint8_t> markerShown;
  std::vector<std::uint8_t> departureSoundPlayed;
  std::vector<std::uint8_t> departed;

  // All clear, sized to `stations` stations.
  void reset(std::size_t stations) {
    markerShown.assign(stations, 0);
    departureSoundPlayed.assign(stations, 0);
    departed.assign(stations, 0);
  }
};

// What the sequence reads besides the train state.
struct StationLine {
  const std::vector<StationRecord>& stations;
  const StationTexts& texts;
  bool oneMan = false;    // "[OneMan]" non-zero: the driver works the doors
  int firstLineSlot = 0;  // D: slot of line sound 0
  DoorSounds doors;
};

// One display tick of the sequence, over every station in order. `flags` must be sized to the
// station list (StationFlags::reset).
void stationStep(TrainState& s, const StationLine& line, StationFlags& flags, CabModel& cab,
                 platform::SoundSlots& sound);

}  // namespace dravolin::sim
