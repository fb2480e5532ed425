// The train-file values that the simulation reads. The train file reader fills this struct once
// at load; the simulation only reads it. Member names are the train file's keys.
#pragma once

#include <vector>

#include "sim/fixed.h"

namespace dravolin::sim {

// One power notch of an electric train ("[Notch]" record); row n serves notch n + 1.
struct NotchRow {
  double A = 0;  // km/h/s, acceleration at standstill
  double B = 0;  // km/h/s, acceleration at the end speed V1 of the linear region
  int V1 = 0;    // km/h, end of the linear region
  int V2 = 0;    // km/h, end of the constant-power region
  double N = 0;  // base of the factor N^(r - V2) applied above V2
};

// One gear of a diesel railcar ("[Engine]" record); rows are numbered from 0.
struct GearRow {
  int V0 = 0;     // km/h, lower speed (automatic down-shift below V0 - 5)
  int V1 = 0;     // km/h, middle speed
  int V2 = 0;     // km/h, upper speed (automatic up-shift above it)
  double A0 = 0;  // km/h/s at full engine output at V0
  double A1 = 0;  // km/h/s at V1
  double A2 = 0;  // km/h/s at V2
};

enum class EngineType : int { Diesel = 0, Electric = 1 };
enum class GearType : int { Automatic = 0, Manual = 1 };

struct TrainParams {
  int Handle = 0;        // handle arrangement used by the character keys
  int BrakeType = 0;     // 0 automatic air brake, 1 notched with pipes, 2 notched without
  int Brake = 0;         // brake positions including emergency (4 for brake type 0)
  int Power = 0;         // power notches
  int Hold = 0;          // brake pictures: 1 = picture 1 is the holding position
  Fixed BrakeRate;       // km/h/s at a brake pressure equal to EBPress
  int PowerDelay = 0;    // simulation ticks
  int BrakeDelay = 0;    // simulation ticks
  int BrakeUp = 0;       // brake rate number of pressure rises
  int BrakeDown = 0;     // brake rate number of pressure falls
  int EBPress = 0;       // kPa, brake pressure of an emergency application
  int HighAirPress = 0;  // kPa, compressor stops at or above it
  int LowAirPress = 0;   // kPa, compressor starts below it
  int Engine_Type = 0;   // EngineType: 0 diesel, 1 electric
  int Gear_Type = 0;     // GearType: 0 automatic (AT), 1 manual (MT)
  Fixed Mt;              // t, mass on driven axles
  Fixed Tons;            // t, mass of the whole train
  int Cars = 0;          // number of cars, 1 to 20
  int MaxSpeed = 0;      // km/h, no traction at or above it
  int Lose_elec = 0;     // km/h, the electric brake fades below it
  int Mc = 0;            // 1: electric braking (brake cylinder gauge holds 50 kPa)

  std::vector<NotchRow> NotchTable;  // "[Notch]", electric trains
  std::vector<GearRow> GearTable;    // "[Engine]", diesel trains

  int GearCount() const { return static_cast<int>(GearTable.size()); }
  bool electric() const { return Engine_Type == static_cast<int>(EngineType::Electric); }
  bool diesel() const { return Engine_Type == static_cast<int>(EngineType::Diesel); }
};

}  // namespace dravolin::sim
