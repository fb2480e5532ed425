#include "sim/forces.h"

#include <algorithm>
#include <cmath>

#include "sim/traction.h"

namespace dravolin::sim {

namespace {

// sqrt(G^2 + 1000^2): the slope's hypotenuse for a gradient of G permil.
long double slopeHypotenuse(long double G) { return std::sqrt(G * G + 1000.0L * 1000.0L); }

// The slope's pull along the track, positive forward (downhill).
long double gradientPull(const TrainState& s, const TrainParams& p) {
  const long double G = s.Gradient.ld();
  return -trainMassKg(p) * kGravity * G / slopeHypotenuse(G);
}

// The brakes' force at the current brake pressure, whatever the speed.
long double brakeForceMagnitude(const TrainState& s, const TrainParams& p) {
  if (s.BrakePressure <= Fixed() || p.EBPress == 0) {
    return 0.0L;
  }
  return trainMassKg(p) * p.BrakeRate.ld() *
         (s.BrakePressure.ld() / static_cast<long double>(p.EBPress)) / 3.6L;
}

int signOf(long double x) { return (x > 0.0L) - (x < 0.0L); }

}  // namespace

void brakingForce(TrainState& s, const TrainParams& p) {
  const long double Fb = brakeForceMagnitude(s, p);
  if (Fb <= 0.0L) {
    return;
  }
  if (s.Speed > Fixed()) {
    addTo(s.TractiveForce, -Fb);
  } else if (s.Speed < Fixed()) {
    addTo(s.TractiveForce, Fb);
  }
}

void adhesionCoefficient(TrainState& s) {
  const long double v = abs(s.Speed).ld();
  s.AdhesionCoefficient =
      Fixed::round(s.AdhesionBase.ld() * (1.0L + 0.05L * v) / (1.0L + 0.1L * v));
}

void gradientForce(TrainState& s, const TrainParams& p) {
  addTo(s.ResistanceForce, gradientPull(s, p));
}

void adhesionCheck(TrainState& s, const TrainParams& p) {
  const long double G = s.Gradient.ld();
  const long double c = 1000.0L / slopeHypotenuse(G);
  const long double mu = s.AdhesionCoefficient.ld();
  const long double drivenMass = p.Mt.ld() * 1000.0L;
  const long double m = trainMassKg(p);
  if (s.PowerHandle > 0 && s.TractiveForce.ld() > mu * drivenMass * kGravity * c) {
    s.TractiveForce = Fixed::round(mu / 2.0L * drivenMass * kGravity);
    s.wheelState = WheelState::Racing;
  } else if (s.BrakeHandle < 0 && -s.TractiveForce.ld() > mu * m * kGravity * c) {
    s.TractiveForce = Fixed::round(-mu * m * kGravity);
    s.wheelState = WheelState::Sliding;
  } else {
    s.wheelState = WheelState::Normal;
  }
}

void startingResistance(TrainState& s, const TrainParams& p) {
  const long double v = abs(s.Speed).ld();
  if (v >= 8.0L) {
    return;
  }
  const long double R = (8.0L - v) * kGravity * p.Tons.ld();
  if (s.Speed > Fixed()) {
    addTo(s.ResistanceForce, -R);
  } else if (s.Speed < Fixed()) {
    addTo(s.ResistanceForce, R);
  }
}

void runningResistance(TrainState& s, const TrainParams& p) {
  const long double v = abs(s.Speed).ld();
  if (v <= 0.1L) {
    return;
  }
  const long double T = p.Tons.ld();
  const long double cars = p.Cars;
  const long double Rr =
      kGravity * (1.32L * T + 0.0164L * T * v + (0.028L + 0.0078L * (cars - 1.0L)) * v * v);
  if (s.Speed > Fixed()) {
    addTo(s.ResistanceForce, -Rr);
  } else {
    addTo(s.ResistanceForce, Rr);
  }
}

void holdingBrake(TrainState& s) {
  if (s.ResistanceForce > Fixed() && s.HoldingBrake && s.Gradient < Fixed()) {
    addTo(s.TractiveForce, -s.ResistanceForce.ld());
  }
}

void integrateSpeed(TrainState& s, const TrainParams& p) {
  const long double m = trainMassKg(p);
  if (m <= 0.0L) {
    return;  // a massless train cannot be integrated; the loader rejects it
  }
  addTo(s.Speed, s.ResistanceForce.ld() / m * 3.6L * 0.1L);
  addTo(s.Speed, s.TractiveForce.ld() / m * 3.6L * 0.1L);
}

namespace {

// Friction never reverses the motion (see forcesAndSpeed).
void holdAtRest(TrainState& s, const TrainParams& p, Fixed speedBefore, long double drivingForce,
                long double holdingForce) {
  const long double m = trainMassKg(p);
  if (m <= 0.0L) {
    return;
  }
  if (speedBefore == Fixed()) {
    // Standing: the brakes and the starting resistance hold the train against whatever pushes it
    // (the slope and the traction, less what the holding brake takes off) up to their full force.
    const long double net = s.ResistanceForce.ld() + s.TractiveForce.ld();
    if (std::fabs(net) <= holdingForce) {
      s.Speed = Fixed();
    }
    return;
  }
  const int before = signOf(speedBefore.ld());
  if (signOf(s.Speed.ld()) == before) {
    return;
  }
  // The speed reached or crossed zero. If the slope and the traction alone would not have turned
  // the train round, the friction forces did it: they stop the train instead of reversing it.
  const long double drivenOnly = speedBefore.ld() + drivingForce / m * 3.6L * 0.1L;
  if (signOf(drivenOnly) != -before) {
    s.Speed = Fixed();
  }
}

}  // namespace

void forcesAndSpeed(TrainState& s, const TrainParams& p) {
  const Fixed speedBefore = s.Speed;
  const Fixed traction = s.TractiveForce;
  brakingForce(s, p);
  adhesionCoefficient(s);
  gradientForce(s, p);
  adhesionCheck(s, p);
  // Slope and traction (as the wheels can pass it on when they spin) move the train; everything
  // else here is friction, which can stop the train but never reverse it.
  const long double drivingForce =
      gradientPull(s, p) +
      (s.wheelState == WheelState::Racing ? s.TractiveForce.ld() : traction.ld());
  startingResistance(s, p);
  runningResistance(s, p);
  holdingBrake(s);
  const long double holdingForce =
      brakeForceMagnitude(s, p) + 8.0L * kGravity * p.Tons.ld();  // starting resistance at rest
  integrateSpeed(s, p);
  holdAtRest(s, p, speedBefore, drivingForce, holdingForce);
}

void averageGradient(TrainState& s, const TrainParams& p) {
  if (std::fabs(s.Distance - s.LastGradientSampleDistance) <= 2000.0L) {
    return;
  }
  s.LastGradientSampleDistance = s.Distance;
  const int cars = std::clamp(p.Cars, 1, kMaxCars);
  for (int k = cars - 1; k >= 1; --k) {
    s.CarGradients[static_cast<std::size_t>(k)] = s.CarGradients[static_cast<std::size_t>(k - 1)];
  }
  s.CarGradients[0] = roundToInt(s.HeadGradient.ld());
  long long sum = 0;
  for (int k = 0; k < cars; ++k) {
    sum += s.CarGradients[static_cast<std::size_t>(k)];
  }
  s.Gradient = Fixed::round(static_cast<long double>(sum) / static_cast<long double>(cars));
}

}  // namespace dravolin::sim
