#include "sim/display_physics.h"

#include "sim/forces.h"
#include "sim/traction.h"

namespace dravolin::sim {

void displayTickPhysics(TrainState& s, const TrainParams& p, platform::SoundSlots& sounds,
                        const CompressorSounds& compressorSlots) {
  forcesAndSpeed(s, p);
  compressor(s, p, sounds, compressorSlots);
  averageGradient(s, p);
  if (p.diesel()) {
    dieselEngineOutput(s, p);
  }
  lowSpeedGearReset(s);
}

}  // namespace dravolin::sim
