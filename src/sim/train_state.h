// The train state: the one set of simulation variables every subsystem reads and writes.
// Member names are the names every subsystem uses; units are given beside each one.
//
// Sections: handles and notches; delays and protection; air brake; forces and adhesion; gradient;
// diesel engine; position and distance; clock; doors and meters; start.
#pragma once

#include <array>

#include "sim/fixed.h"
#include "sim/line_params.h"
#include "sim/train_params.h"

namespace dravolin::sim {

// Wheel-rail state of the last display tick; None until the first one.
enum class WheelState { None, Normal, Racing, Sliding };

// The text the value display shows: "Racing", "Sliding", "Normal", or empty before the first tick.
const char* wheelStateText(WheelState state);

inline constexpr int kMaxCars = 20;

struct TrainState {
  // --- handles and notches ---
  Fixed Speed;                      // km/h, signed: negative while rolling backwards
  int Reverser = 1;                 // 1 forward, 0 neutral, -1 reverse
  int PowerHandle = 0;              // 0 (off) to Power, chosen by the driver
  int BrakeHandle = 0;              // 0 (released) down to -Brake (emergency)
  int PowerNotch = 0;               // notch in effect, follows PowerHandle after PowerDelay
  int BrakeNotch = 0;               // notch in effect, follows BrakeHandle after BrakeDelay
  bool PowerChangePending = false;  // PowerHandle changed and the notch has not followed yet
  bool BrakeChangePending = false;  // BrakeHandle changed and the notch has not followed yet

  // --- delays and protection ---
  int PowerDelayCount = 0;       // simulation ticks of the running power delay
  int GearShiftCount = 0;        // simulation ticks of the running gear-shift wait (ends at 50)
  int BrakeDelayCount = 0;       // simulation ticks of the running brake delay
  bool HoldingBrake = false;     // holding brake position selected
  bool AtsBrakeApplied = false;  // train protection holds an emergency brake
  bool AtcBrakeApplied = false;  // train protection holds its brake application

  // --- air brake (kPa) ---
  Fixed BrakePressure;  // brake command pressure; produces the braking force
  Fixed BpPressure;     // brake pipe (shown on the ER and the BP gauge)
  Fixed MrPressure;     // main reservoir
  Fixed SapPressure;    // straight air pipe
  Fixed BcPressure;     // brake cylinder as shown on the BC gauge
  bool CompressorRunning = false;

  // --- forces and adhesion ---
  Fixed TractiveForce;        // N, traction (and during the display tick braking); + pushes forward
  Fixed ResistanceForce;      // N, gradient + starting + running resistance; + pushes forward
  Fixed AdhesionCoefficient;  // at the current speed
  Fixed AdhesionBase;         // at standstill
  WheelState wheelState = WheelState::None;  // shown as WheelState

  // --- gradient (permil, positive uphill) ---
  Fixed Gradient;                              // mean over the train's cars
  Fixed HeadGradient;                          // under the head of the train
  std::array<int, kMaxCars> CarGradients{};    // one 20 m sample per car, car 0 at the head
  long double LastGradientSampleDistance = 0;  // cm, Distance at the last sample

  // --- diesel engine ---
  int Gear = 0;                  // gear row in use
  int TargetGear = 0;            // gear row being shifted to
  bool GearShifting = false;     // a gear change is in progress
  long double EngineOutput = 0;  // percent

  // --- position and distance ---
  int FrameIndex = 0;                // line video frame of the train's position
  int FrameAccumulator = 0;          // whole km/h accumulated per tick, not yet turned into frames
  int FrameStep = 0;                 // accumulated km/h per frame (recording speed) at the position
  int SpeedUnitSegment = 0;          // SpeedUnit row the train is in, -1 none
  long double Distance = 0;          // cm run, re-synchronised at SpeedUnit rows
  long double DistanceStep = 0;      // cm added per simulation tick
  long double NextStopDistance = 0;  // cm, distance mark of the next stop
  long double DistanceToStop = 0;    // cm remaining to NextStopDistance

  // --- clock ---
  int ClockTicks = 0;     // 1/30 s from midnight
  int ScheduleFrame = 0;  // frame the recorded run had reached at the clock time
  int PreTimeFrames = 0;  // lead time, frames

  // --- doors and meters ---
  bool DoorsOpen = true;
  bool DoorCommand = true;     // last door command was "open"
  Fixed LineVoltage;           // voltmeter value
  Fixed LineVoltageTarget;     // traction only while positive
  int MotorCurrent = 0;        // ammeter value
  int MotorCurrentTarget = 0;  // ammeter target
  bool AutoSpeed = false;      // Speed forced to FrameStep km/h every simulation tick

  // --- start ---
  bool AwaitingStart = true;  // until the first start or pause command
};

// The state at the end of loading, from the validated train parameters and the line file.
TrainState loadState(const TrainParams& train, const LineParams& line);

}  // namespace dravolin::sim
