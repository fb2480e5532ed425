// The value display window's contents: the simulation's quantities as texts and three bar
// gauges of forces, for drivers who want to see what the model does. The window itself (Qt)
// draws these fields; F5 toggles `visible`.
#pragma once

#include <string>

#include "sim/train_params.h"
#include "sim/train_state.h"

namespace dravolin::cab {

struct ValueDisplay {
  static constexpr int kGaugeMin = -500000;  // N, left end of every gauge ("Brake")
  static constexpr int kGaugeMax = 500000;   // N, right end ("Power")

  bool visible = false;  // hidden at first
  std::string caption = "Value Display";

  // Texts as last refreshed, number and unit.
  std::string Speed = "0 km/h";           // Speed, 1 decimal
  std::string Acceleration = "0 km/h/s";  // (traction + resistance) / mass, 1 decimal
  std::string Slope = "0 Permil";         // Gradient
  std::string Wheel = "Normal";           // wheel state
  std::string Power = "0 N";              // TractiveForce
  std::string Resistance = "0 N";         // ResistanceForce
  std::string Adhesion = "0";             // AdhesionCoefficient, 2 decimals
  std::string AdhesionP = "0 N";          // adhesion limit of the motored mass, level line
  std::string AdhesionB = "0 N";          // adhesion limit of the whole train, negative
  std::string BC = "0 kPa";               // BrakePressure
  std::string SAP = "0 kPa";              // SapPressure
  std::string ER = "0 kPa";               // BpPressure
  std::string MR = "0 kPa";               // MrPressure
  std::string Frame = "0";                // FrameIndex
  std::string Projected = "0 km/h";       // recording speed at the position (FrameStep)
  std::string NextStation = "0";          // NextStopDistance, m
  std::string Remain = "0";               // DistanceToStop, m
  std::string Total = "0";                // Distance, m

  // Gauge positions in whole newtons, kept within kGaugeMin .. kGaugeMax.
  int Gauge1 = 0;          // TractiveForce
  int Gauge2 = kGaugeMin;  // adhesion limit of the motored mass on the gradient
  int Gauge3 = kGaugeMin;  // minus the adhesion limit of the whole train on the gradient
};

// Recomputes every text and gauge from the state. Every number is written by sim::formatFixed;
// a computed quantity (acceleration, adhesion limits, distances in metres) is first rounded to
// the nearest 1/10000 as a stored quantity would be. The display tick calls it only while the
// window is visible.
void refreshValueDisplay(ValueDisplay& vd, const sim::TrainState& s, const sim::TrainParams& p);

}  // namespace dravolin::cab
