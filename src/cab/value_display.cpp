#include "cab/value_display.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "sim/fixed.h"

namespace dravolin::cab {

namespace {

constexpr long double kGravity = 9.8L;  // m/s^2

// Drops the minus sign of a text whose digits are all zero ("-0.0" is shown as "0.0").
std::string withoutNegativeZero(std::string text) {
  if (!text.empty() && text.front() == '-' &&
      text.find_first_not_of("0.", 1) == std::string::npos) {
    text.erase(0, 1);
  }
  return text;
}

// The gauge position of a force: the nearest whole newton, held at the ends of the scale.
int gaugePosition(long double newtons) {
  return std::clamp(sim::roundToInt(newtons), ValueDisplay::kGaugeMin, ValueDisplay::kGaugeMax);
}

}  // namespace

std::string formatFixed(long double value, int decimals) {
  decimals = std::clamp(decimals, 0, 4);
  if (std::isnan(value)) {
    return "0";
  }
  char buffer[96];
  std::to_chars_result r =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (r.ec != std::errc{}) {
    // Beyond any quantity of the simulation (or infinite): shown in scientific notation.
    r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific,
                      decimals);
  }
  return withoutNegativeZero(std::string(buffer, r.ptr));
}

void refreshValueDisplay(ValueDisplay& vd, const sim::TrainState& s, const sim::TrainParams& p) {
  vd.Speed = formatFixed(s.Speed, 1) + " km/h";
  vd.BC = formatFixed(s.BrakePressure, 0) + " kPa";
  vd.SAP = formatFixed(s.SapPressure, 0) + " kPa";
  vd.ER = formatFixed(s.BpPressure, 0) + " kPa";
  vd.MR = formatFixed(s.MrPressure, 0) + " kPa";
  vd.Frame = std::to_string(s.FrameIndex);
  vd.Projected = std::to_string(s.FrameStep) + " km/h";

  // A train without mass has no acceleration to show.
  const long double massKg = p.Tons.ld() * 1000.0L;
  const long double acceleration =
      massKg > 0.0L ? (s.TractiveForce.ld() + s.ResistanceForce.ld()) / massKg * 3.6L : 0.0L;
  vd.Acceleration = formatFixed(acceleration, 1) + " km/h/s";
  vd.Power = formatFixed(s.TractiveForce, 0) + " N";
  vd.Resistance = formatFixed(s.ResistanceForce, 0) + " N";
  vd.Slope = formatFixed(s.Gradient, 0) + " Permil";

  const long double mu = s.AdhesionCoefficient.ld();
  const long double g = s.Gradient.ld();
  const long double slopeLength = std::sqrt(g * g + 1000.0L * 1000.0L);
  vd.Gauge1 = gaugePosition(s.TractiveForce.ld());
  vd.Gauge2 = gaugePosition(mu * p.Mt.ld() * 1000.0L * kGravity * 1000.0L / slopeLength);
  vd.Gauge3 = gaugePosition(-mu * p.Tons.ld() * 1000.0L * kGravity * 1000.0L / slopeLength);

  vd.Adhesion = formatFixed(s.AdhesionCoefficient, 2);
  vd.AdhesionP = formatFixed(mu * p.Mt.ld() * 1000.0L * kGravity, 0) + " N";
  vd.AdhesionB = formatFixed(-mu * p.Tons.ld() * 1000.0L * kGravity, 0) + " N";
  vd.Remain = formatFixed(s.DistanceToStop / 100.0L, 0) + " m";
  vd.Total = formatFixed(s.Distance / 100.0L, 0) + " m";
  vd.NextStation = formatFixed(s.NextStopDistance / 100.0L, 0) + " m";
  vd.Wheel = sim::wheelStateText(s.wheelState);
}

}  // namespace dravolin::cab
