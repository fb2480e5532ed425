#include "sim/display_physics.h"

#include "sim/forces.h"
#include "sim/traction.h"

namespace dravolin::sim {

CompressorEvents displayTickPhysics(TrainState& s, const TrainParams& p) {
  forcesAndSpeed(s, p);
  const CompressorEvents events = compressor(s, p);
  averageGradient(s, p);
  if (p.diesel()) {
    dieselEngineOutput(s, p);
  }
  lowSpeedGearReset(s);
  return events;
}

}  // namespace dravolin::sim
