// Trains and lines the simulation tests drive: a ten-car electric train with a notched brake, a
// two-car diesel railcar with three gears and automatic shifting, and a line whose recording
// accelerates from 0 to 60 km/h over its first 300 frames and then runs at 60 km/h.
#pragma once

#include <iomanip>
#include <ostream>

#include "sim/line_params.h"
#include "sim/train_params.h"
#include "sim/train_state.h"

namespace dravolin::sim {
// Shows fixed-point values in test failures as their decimal value.
inline void PrintTo(Fixed f, std::ostream* os) {
  *os << std::fixed << std::setprecision(4) << f.ld();
}
}  // namespace dravolin::sim

namespace dravolin::testing {

inline sim::TrainParams electricTrain() {
  sim::TrainParams p;
  p.BrakeType = 1;
  p.Brake = 8;
  p.Power = 4;
  p.BrakeRate = sim::Fixed::fromRaw(40000);  // 4.0 km/h/s
  p.PowerDelay = 3;
  p.BrakeDelay = 2;
  p.BrakeUp = 45;
  p.BrakeDown = 30;
  p.EBPress = 440;
  p.HighAirPress = 780;
  p.LowAirPress = 690;
  p.Engine_Type = 1;
  p.Mt = sim::Fixed::fromInt(150);
  p.Tons = sim::Fixed::fromInt(300);
  p.Cars = 10;
  p.MaxSpeed = 120;
  p.Lose_elec = 10;
  p.Mc = 0;
  // A, B, V1, V2, N: notch n reaches B at V1 km/h and keeps constant power up to V2.
  p.NotchTable = {{1.0, 0.8, 20, 40, 0.98},
                  {2.0, 1.6, 30, 60, 0.98},
                  {2.6, 2.2, 35, 70, 0.98},
                  {3.0, 2.5, 40, 80, 0.98}};
  return p;
}

inline sim::TrainParams dieselTrain() {
  sim::TrainParams p = electricTrain();
  p.Engine_Type = 0;
  p.Gear_Type = 0;
  p.Tons = sim::Fixed::fromInt(40);
  p.Mt = sim::Fixed::fromInt(20);
  p.Cars = 2;
  p.MaxSpeed = 110;
  p.NotchTable.clear();
  // V0, V1, V2, A0, A1, A2
  p.GearTable = {
      {0, 20, 40, 2.0, 1.6, 1.0}, {30, 50, 70, 1.2, 0.9, 0.6}, {60, 80, 100, 0.7, 0.5, 0.3}};
  return p;
}

inline sim::LineParams testLine() {
  sim::LineParams line;
  line.StartPos = 0;
  line.StartTime = 0;
  line.FrameRate = 30;
  line.SpeedUnit = {{0, 300, 0, 60, 8333}, {300, 600, 60, 60, 25000}};
  return line;
}

// The load state with the doors closed, ready to take power.
inline sim::TrainState readyState(const sim::TrainParams& p, const sim::LineParams& line) {
  sim::TrainState s = sim::loadState(p, line);
  s.DoorsOpen = false;
  s.DoorCommand = false;
  return s;
}

inline sim::Fixed kmh(long double v) { return sim::Fixed::round(v); }

}  // namespace dravolin::testing
