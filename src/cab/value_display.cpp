#include "cab/value_display.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "sim/fixed.h"

namespace dravolin::cab {

namespace {

constexpr long double kGravity = 9.8L;  // m/s^2

// A computed quantity as shown: stored to the nearest 1/10000 like every quantity of the
// simulation, then written by the one fixed-point formatter (halves to even, "." whatever the
// locale, no minus sign on a value shown as zero).
std::string shown(long double value, int decimals) {
  return sim::formatFixed(sim::Fixed::round(value), decimals);
}

std::string shown(sim::Fixed value, int decimals) { return sim::formatFixed(value, decimals); }

// The gauge position of a force: the nearest whole newton, held at the ends of the scale.
int gaugePosition(long double newtons) {
  return std::clamp(sim::roundToInt(newtons), ValueDisplay::kGaugeMin, ValueDisplay::kGaugeMax);
}

}  // namespace

void refreshValueDisplay(ValueDisplay& vd, const sim::TrainState& s, const sim::TrainParams& p) {
  vd.Speed = shown(s.Speed, 1) + " km/h";
  vd.BC = shown(s.BrakePressure, 0) + " kPa";
  vd.SAP = shown(s.SapPressure, 0) + " kPa";
  vd.ER = shown(s.BpPressure, 0) + " kPa";
  vd.MR = shown(s.MrPressure, 0) + " kPa";
  vd.Frame = std::to_string(s.FrameIndex);
  vd.Projected = std::to_string(s.FrameStep) + " km/h";

  // A train without mass has no acceleration to show.
  const long double massKg = p.Tons.ld() * 1000.0L;
  const long double acceleration =
      massKg > 0.0L ? (s.TractiveForce.ld() + s.ResistanceForce.ld()) / massKg * 3.6L : 0.0L;
  vd.Acceleration = shown(acceleration, 1) + " km/h/s";
  vd.Power = shown(s.TractiveForce, 0) + " N";
  vd.Resistance = shown(s.ResistanceForce, 0) + " N";
  vd.Slope = shown(s.Gradient, 0) + " Permil";

  const long double mu = s.AdhesionCoefficient.ld();
  const long double g = s.Gradient.ld();
  const long double slopeLength = std::sqrt(g * g + 1000.0L * 1000.0L);
  vd.Gauge1 = gaugePosition(s.TractiveForce.ld());
  vd.Gauge2 = gaugePosition(mu * p.Mt.ld() * 1000.0L * kGravity * 1000.0L / slopeLength);
  vd.Gauge3 = gaugePosition(-mu * p.Tons.ld() * 1000.0L * kGravity * 1000.0L / slopeLength);

  vd.Adhesion = shown(s.AdhesionCoefficient, 2);
  vd.AdhesionP = shown(mu * p.Mt.ld() * 1000.0L * kGravity, 0) + " N";
  vd.AdhesionB = shown(-mu * p.Tons.ld() * 1000.0L * kGravity, 0) + " N";
  vd.Remain = shown(s.DistanceToStop / 100.0L, 0) + " m";
  vd.Total = shown(s.Distance / 100.0L, 0) + " m";
  vd.NextStation = shown(s.NextStopDistance / 100.0L, 0) + " m";
  vd.Wheel = sim::wheelStateText(s.wheelState);
}

}  // namespace dravolin::cab
