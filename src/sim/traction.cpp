#include "sim/traction.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace dravolin::sim {

namespace {

// x^k by repeated multiplication (a negative k gives the reciprocal), as the notch curve is
// defined. Exponents are speeds in km/h; absurd ones fall back to powl so a broken speed cannot
// make the tick loop for long.
long double integerPower(long double x, int k) {
  constexpr int kLoopLimit = 4096;
  if (k > kLoopLimit || k < -kLoopLimit) {
    return std::pow(x, static_cast<long double>(k));
  }
  long double result = 1.0L;
  for (int i = 0; i < std::abs(k); ++i) {
    result *= x;
  }
  return k < 0 ? 1.0L / result : result;
}

// A broken table (a zero base, a zero speed) may give an infinite or undefined acceleration: such
// a region contributes no force instead of poisoning the state.
long double finiteOrZero(long double a) { return std::isfinite(a) ? a : 0.0L; }

// Linear region, v < V1: from A at standstill to B at V1.
long double linearRegion(const NotchRow& row, long double v) {
  const long double A = row.A;
  const long double B = row.B;
  return A + v * (B - A) / static_cast<long double>(row.V1);
}

// Constant-power region, V1 <= v < V2: V1 x B / v. At v = 0 (possible only with V1 = 0) the
// formula's value at v = V1, which is B.
long double constantPowerRegion(const NotchRow& row, long double v) {
  const long double B = row.B;
  if (v == 0.0L) {
    return B;
  }
  return static_cast<long double>(row.V1) * B / v;
}

// Decay region, v >= V2: the constant-power value times N^(r - V2), r = v rounded, evaluated as
// (V1 x B / V2 x V2) / N^V2 x N^r / v.
long double decayRegion(const NotchRow& row, long double v) {
  const long double B = row.B;
  const long double N = row.N;
  const long double V1 = row.V1;
  const long double V2 = row.V2;
  if (v == 0.0L) {
    return B;
  }
  const long double base = row.V2 != 0 ? V1 * B / V2 * V2 : V1 * B;
  const int r = roundToInt(v);
  return base / integerPower(N, row.V2) * integerPower(N, r) / v;
}

}  // namespace

long double notchAcceleration(const NotchRow& row, long double v) {
  const long double V1 = row.V1;
  const long double V2 = row.V2;
  long double a = 0.0L;
  if (v < V1) {
    a += finiteOrZero(linearRegion(row, v));
  }
  if (V1 <= v && v < V2) {
    a += finiteOrZero(constantPowerRegion(row, v));
  }
  if (v >= V2) {
    a += finiteOrZero(decayRegion(row, v));
  }
  return a;
}

void electricTraction(TrainState& s, const TrainParams& p) {
  if (p.NotchTable.empty() || s.PowerNotch <= 0) {
    return;
  }
  const std::size_t n = std::min(static_cast<std::size_t>(s.PowerNotch), p.NotchTable.size());
  const NotchRow& row = p.NotchTable[n - 1];
  const long double v = abs(s.Speed).ld();
  const long double m = trainMassKg(p);
  const long double V1 = row.V1;
  const long double V2 = row.V2;
  // Each region that holds adds its own force, rounded as it is stored.
  if (v < V1) {
    addTo(s.TractiveForce, m * finiteOrZero(linearRegion(row, v)) / 3.6L);
  }
  if (V1 <= v && v < V2) {
    addTo(s.TractiveForce, m * finiteOrZero(constantPowerRegion(row, v)) / 3.6L);
  }
  if (v >= V2) {
    addTo(s.TractiveForce, m * finiteOrZero(decayRegion(row, v)) / 3.6L);
  }
}

long double gearAcceleration(const GearRow& row, long double v) {
  const long double V0 = row.V0;
  const long double V1 = row.V1;
  const long double V2 = row.V2;
  const long double A0 = row.A0;
  const long double A1 = row.A1;
  const long double A2 = row.A2;
  // A row with equal speeds has no slope between them: the acceleration stays at its breakpoint.
  if (v < V1) {
    return V1 != V0 ? A0 + std::fabs(v - V0) * (A1 - A0) / (V1 - V0) : A0;
  }
  return V2 != V1 ? A1 + std::fabs(v - V1) * (A2 - A1) / (V2 - V1) : A1;
}

void dieselGearSelection(TrainState& s, const TrainParams& p) {
  if (p.Gear_Type != static_cast<int>(GearType::Automatic)) {
    return;
  }
  if (s.Gear < 0 || s.Gear >= p.GearCount()) {
    return;
  }
  const GearRow& row = p.GearTable[static_cast<std::size_t>(s.Gear)];
  const long double v = abs(s.Speed).ld();
  if (row.V2 < v && s.TargetGear + 1 <= p.GearCount() - 1) {
    s.TargetGear += 1;
    s.GearShifting = true;
  }
  if (row.V0 > std::fabs(s.Speed.ld() + 5.0L) && s.TargetGear - 1 >= 0) {
    s.TargetGear -= 1;
    s.GearShifting = true;
  }
}

void dieselTraction(TrainState& s, const TrainParams& p) {
  if (s.PowerNotch <= 0 || p.Power <= 0 || s.Gear < 0 || s.Gear >= p.GearCount()) {
    return;
  }
  const GearRow& row = p.GearTable[static_cast<std::size_t>(s.Gear)];
  const long double a = gearAcceleration(row, abs(s.Speed).ld());
  const int notch = std::min(s.PowerNotch, p.Power);
  addTo(s.TractiveForce, a * (s.EngineOutput / 100.0L) / 3.6L * trainMassKg(p) /
                             static_cast<long double>(p.Power) * static_cast<long double>(notch));
}

void dieselEngineOutput(TrainState& s, const TrainParams& p) {
  if (s.PowerNotch != 0 && !s.GearShifting) {
    if (s.Gear == 0) {
      const long double limit = p.Power > 0 ? 50.0L + 50.0L / static_cast<long double>(p.Power) *
                                                          static_cast<long double>(s.PowerNotch)
                                            : 100.0L;
      if (s.EngineOutput < 96.0L && s.EngineOutput < limit) {
        s.EngineOutput += 4.0L;
      }
    }
    if (s.Gear > 0 && s.Gear < p.GearCount()) {
      const GearRow& row = p.GearTable[static_cast<std::size_t>(s.Gear)];
      const long double V0 = row.V0;
      const long double V2 = row.V2;
      const long double share = V2 != V0 ? (s.Speed.ld() - V0) / (V2 - V0) : 1.0L;
      if (s.EngineOutput < 96.0L * (0.8L + 0.2L * share)) {
        s.EngineOutput += 4.0L;
      }
    }
  } else if (s.EngineOutput > 50.0L) {
    s.EngineOutput -= 2.0L;
  }
}

void lowSpeedGearReset(TrainState& s) {
  const Fixed kLowSpeed = Fixed::fromInt(25);
  if (s.Gear > 0 && s.Speed < kLowSpeed) {
    s.Gear = 0;
  }
  if (s.Speed < kLowSpeed) {
    // An abandoned change starts its wait afresh next time.
    s.GearShifting = false;
    s.GearShiftCount = 0;
  }
}

}  // namespace dravolin::sim
