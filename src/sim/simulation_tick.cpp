#include "sim/simulation_tick.h"

#include <algorithm>

#include "sim/air_brake.h"
#include "sim/route.h"
#include "sim/traction.h"

namespace dravolin::sim {

namespace {

// A delay below one tick would never complete: it acts as one tick.
int effectiveDelay(int ticks) { return std::max(ticks, 1); }

void gearShiftWait(TrainState& s, const TrainParams& p) {
  s.GearShiftCount += 1;
  if (s.GearShiftCount >= kGearShiftTicks) {
    s.GearShiftCount = 0;
    s.Gear = p.GearCount() > 0 ? std::clamp(s.TargetGear, 0, p.GearCount() - 1) : 0;
    s.GearShifting = false;
  }
}

void powerDelay(TrainState& s, const TrainParams& p) {
  if (!s.PowerChangePending) {
    return;
  }
  s.PowerDelayCount += 1;
  if (s.PowerDelayCount >= effectiveDelay(p.PowerDelay)) {
    s.PowerDelayCount = 0;
    s.PowerChangePending = false;
    s.PowerNotch = s.PowerHandle;
  }
}

}  // namespace

void traction(TrainState& s, const TrainParams& p) {
  s.TractiveForce = Fixed();
  s.ResistanceForce = Fixed();
  // Nothing of this step runs without line voltage or at MaxSpeed: a pending power change waits.
  if (!(s.LineVoltageTarget > Fixed() && s.Speed < Fixed::fromInt(p.MaxSpeed))) {
    return;
  }
  // Open doors and protection brakes cut traction and hold the power delay.
  if (s.DoorsOpen || s.AtcBrakeApplied || s.AtsBrakeApplied) {
    return;
  }
  if (s.PowerNotch > 0 && p.electric()) {
    electricTraction(s, p);
  }
  if (p.diesel() && !s.GearShifting) {
    dieselGearSelection(s, p);
    // A change that has just started cuts the engine's force at once.
    if (!s.GearShifting) {
      dieselTraction(s, p);
    }
  }
  // The wait of a change counts from the tick in which it started.
  if (p.diesel() && s.GearShifting) {
    gearShiftWait(s, p);
  }
  powerDelay(s, p);
  if (s.Reverser == 0) {
    s.TractiveForce = Fixed();
  } else if (s.Reverser == -1) {
    s.TractiveForce = Fixed::fromRaw(-s.TractiveForce.raw());
  }
}

void brakeDelay(TrainState& s, const TrainParams& p) {
  if (!s.BrakeChangePending) {
    return;
  }
  s.BrakeDelayCount += 1;
  if (s.BrakeDelayCount >= effectiveDelay(p.BrakeDelay)) {
    s.BrakeDelayCount = 0;
    s.BrakeChangePending = false;
    s.BrakeNotch = s.BrakeHandle;
  }
}

void advanceClock(TrainState& s, const LineParams& line) {
  s.ClockTicks += 1;
  if (s.AutoSpeed) {
    s.Speed = Fixed::fromInt(s.FrameStep);
  }
  // FrameRate is 1..30 in a valid line file; anything else advances every tick.
  const int ticksPerFrame = line.FrameRate >= 1 ? std::max(30 / line.FrameRate, 1) : 1;
  if (s.ClockTicks % ticksPerFrame == 0) {
    s.ScheduleFrame += 1;
  }
}

void MMTimer1Timer(TrainState& s, const TrainParams& p, const LineParams& line) {
  traction(s, p);            // 1-2
  brakePressures(s, p);      // 3
  brakeCylinderGauge(s, p);  // 4
  brakeDelay(s, p);          // 5
  positionStep(s, line);     // 6
  advanceClock(s, line);     // 7-9
}

}  // namespace dravolin::sim
