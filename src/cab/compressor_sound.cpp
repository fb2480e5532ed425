#include "cab/compressor_sound.h"

namespace dravolin::cab {

void compressorSounds(const sim::CompressorEvents& events, platform::SoundSlots& sounds,
                      const CompressorSlots& slots) {
  if (events.started) {
    platform::restart(sounds, slots.start);
    platform::restartLooped(sounds, slots.running);
  }
  if (events.stopped) {
    platform::restart(sounds, slots.stop);
    sounds.stop(slots.running);
  }
}

}  // namespace dravolin::cab
