// The compressor's sounds: the governor in the simulation reports when it started or stopped the
// compressor, and the display tick's sound step plays the matching sounds.
#pragma once

#include "platform/sound_slots.h"
#include "sim/air_brake.h"

namespace dravolin::cab {

// Sound slots of the compressor: start, running (looped) and stop.
struct CompressorSlots {
  int start = 0;    // "[CP_Start]"
  int running = 0;  // "[CP_Cnt]"
  int stop = 0;     // "[CP_End]"
};

// Start: restarts the start sound and restarts the running sound looped. Stop: restarts the stop
// sound and stops the running sound. A tick with both does the start first.
void compressorSounds(const sim::CompressorEvents& events, platform::SoundSlots& sounds,
                      const CompressorSlots& slots);

}  // namespace dravolin::cab
