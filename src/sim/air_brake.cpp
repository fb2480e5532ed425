#include "sim/air_brake.h"

namespace dravolin::sim {

namespace {

// Sections: brake type 0, brake type 1, brake type 2, gauge, compressor.

long double ld(int n) { return static_cast<long double>(n); }

void clampAtZero(Fixed& pressure) {
  if (pressure < Fixed()) {
    pressure = Fixed();
  }
}

bool protectionActive(const TrainState& s) { return s.AtsBrakeApplied || s.AtcBrakeApplied; }

// --- brake type 0: automatic air brake ---

void emergencyType0(TrainState& s, const TrainParams& p) {
  if (s.BrakePressure.ld() < ld(p.EBPress)) {
    addTo(s.BrakePressure, ld(p.BrakeUp) / 9.0L);
    addTo(s.MrPressure, -ld(p.BrakeUp) / 99.0L);
    addTo(s.SapPressure, -ld(p.BrakeDown) / 90.0L);
  }
  addTo(s.BpPressure, -ld(p.BrakeUp) / 18.0L);
  clampAtZero(s.SapPressure);
  clampAtZero(s.BpPressure);
}

void brakeType0(TrainState& s, const TrainParams& p) {
  const Fixed kCharged = Fixed::fromInt(490);
  const int b = s.BrakeNotch;
  if (b == 0) {  // release: charge the pipe, the brake follows it down
    if (s.BrakePressure < s.BpPressure) {
      addTo(s.BrakePressure, -ld(p.BrakeDown) / 30.0L);
    }
    addTo(s.BpPressure, ld(p.BrakeDown) / 30.0L / 2.5L);
    clampAtZero(s.BrakePressure);
    if (s.BpPressure > kCharged) {
      s.BpPressure = kCharged;
    } else {
      addTo(s.MrPressure, -ld(p.BrakeUp) / 600.0L);
    }
  } else if (b == -1) {  // maintain: keep charging the pipe, the brake stays
    if (s.BpPressure < kCharged) {
      addTo(s.BpPressure, ld(p.BrakeDown) / 30.0L / 2.5L);
      addTo(s.MrPressure, -ld(p.BrakeUp) / 600.0L);
    }
  } else if (b == -2) {  // hold: nothing moves
  } else if (b == -3) {  // apply: the brake follows 2.5 times the pipe reduction below 490 kPa
    if (s.BrakePressure.ld() < ld(p.EBPress) &&
        s.BrakePressure.ld() < (490.0L - s.BpPressure.ld()) * 2.5L) {
      addTo(s.BrakePressure, ld(p.BrakeUp) / 30.0L);
      addTo(s.SapPressure, -ld(p.BrakeUp) / 90.0L);
    }
    addTo(s.BpPressure, -ld(p.BrakeUp) / 75.0L);
    clampAtZero(s.BpPressure);
    clampAtZero(s.SapPressure);
  } else if (b <= -4) {
    emergencyType0(s, p);
  }
}

// --- brake types 1 and 2: notched brakes ---

// The pressure falls in three stages, each tested on the value the previous one left: fast above
// `upper`, slower between `lower` and `upper`, slowest below `lower`.
void stagedRelease(Fixed& pressure, int brakeDown, long double upper, long double lower) {
  if (pressure.ld() >= upper) {
    addTo(pressure, -ld(brakeDown) / 30.0L);
  }
  if (pressure.ld() >= lower && pressure.ld() < upper) {
    addTo(pressure, -ld(brakeDown) / 60.0L);
  }
  if (pressure.ld() < lower) {
    addTo(pressure, -ld(brakeDown) / 120.0L);
  }
}

// The brake pipe is recharged far enough for the brake to be lowered or released.
bool pipeRecharged(const TrainState& s, const TrainParams& p) {
  if (p.Brake <= 0) {
    return true;
  }
  const long double eb = ld(p.EBPress);
  return s.BpPressure.ld() >= eb - eb / ld(p.Brake);
}

void emergencyType1(TrainState& s, const TrainParams& p) {
  if (s.BrakePressure.ld() < ld(p.EBPress)) {
    addTo(s.BrakePressure, ld(p.BrakeUp) / 15.0L);
    addTo(s.MrPressure, -ld(p.BrakeUp) / 150.0L);
  }
  addTo(s.BpPressure, -ld(p.BrakeUp) / 10.0L);
  addTo(s.SapPressure, -ld(p.BrakeUp) / 10.0L);
  clampAtZero(s.BpPressure);
  clampAtZero(s.SapPressure);
}

void brakeType1(TrainState& s, const TrainParams& p) {
  const int b = s.BrakeNotch;
  if (!protectionActive(s)) {
    if (b <= -p.Brake) {
      emergencyType1(s, p);
    } else if (b < 0) {
      // Service notch k of Brake - 1 targets EBPress x k / (Brake - 1).
      const long double T = ld(p.EBPress) / ld(p.Brake - 1) * ld(-b);
      if (s.BrakePressure.ld() + 10.0L < T) {
        addTo(s.BrakePressure, ld(p.BrakeUp) / 30.0L / 1.5L);
        addTo(s.MrPressure, -ld(p.BrakeUp) / 300.0L);
      }
      if (s.SapPressure.ld() + 10.0L < T) {
        addTo(s.SapPressure, ld(p.BrakeUp) / 30.0L / 1.2L);
      }
      if (s.BrakePressure.ld() > T && pipeRecharged(s, p)) {
        addTo(s.BrakePressure, -ld(p.BrakeDown) / 30.0L / 1.5L);
      }
      if (s.SapPressure.ld() > T) {
        addTo(s.SapPressure, -ld(p.BrakeDown) / 30.0L / 1.2L);
      }
      clampAtZero(s.BrakePressure);
      clampAtZero(s.SapPressure);
    } else if (b == 0 && s.BrakePressure > Fixed() && pipeRecharged(s, p)) {
      stagedRelease(s.BrakePressure, p.BrakeDown, 200.0L, 100.0L);
      stagedRelease(s.SapPressure, p.BrakeDown, 200.0L, 50.0L);
      clampAtZero(s.BrakePressure);
      clampAtZero(s.SapPressure);
    }
  } else {
    emergencyType1(s, p);
  }
  // Outside emergency, also under protection, the pipe recharges up to 500 kPa.
  if (b >= 1 - p.Brake) {
    addTo(s.BpPressure, ld(p.BrakeDown) / 150.0L);
    if (s.BpPressure > Fixed::fromInt(500)) {
      s.BpPressure = Fixed::fromInt(500);
    }
  }
}

void raiseTowardsEmergencyType2(TrainState& s, const TrainParams& p) {
  if (s.BrakePressure.ld() < ld(p.EBPress)) {
    addTo(s.BrakePressure, ld(p.BrakeUp) / 30.0L * 1.3L);
  }
}

void brakeType2(TrainState& s, const TrainParams& p) {
  const int b = s.BrakeNotch;
  if (protectionActive(s)) {
    raiseTowardsEmergencyType2(s, p);
    return;
  }
  if (b <= -p.Brake) {
    raiseTowardsEmergencyType2(s, p);
  } else if (b < 0) {
    // Service notch k of Brake - 1 targets EBPress x k / Brake, below the emergency pressure.
    const long double T = ld(p.EBPress) / ld(p.Brake) * ld(-b);
    if (s.BrakePressure.ld() + 10.0L < T) {
      addTo(s.BrakePressure, ld(p.BrakeUp) / 30.0L / 1.5L);
      addTo(s.MrPressure, -ld(p.BrakeUp) / 300.0L);
    }
    if (s.BrakePressure.ld() > T) {
      addTo(s.BrakePressure, -ld(p.BrakeDown) / 30.0L / 1.5L);
    }
    clampAtZero(s.BrakePressure);
  } else if (b == 0 && s.BrakePressure > Fixed()) {
    stagedRelease(s.BrakePressure, p.BrakeDown, 200.0L, 100.0L);
    clampAtZero(s.BrakePressure);
  }
}

}  // namespace

void brakePressures(TrainState& s, const TrainParams& p) {
  switch (p.BrakeType) {
    case 0:
      if (!protectionActive(s)) {
        brakeType0(s, p);
      } else {
        emergencyType0(s, p);
      }
      break;
    case 1:
      brakeType1(s, p);
      break;
    case 2:
      brakeType2(s, p);
      break;
    default:
      break;
  }
}

// --- gauge ---

void brakeCylinderGauge(TrainState& s, const TrainParams& p) {
  if (p.Mc == 0) {
    s.BcPressure = s.BrakePressure;
  } else if (p.Mc == 1) {
    const Fixed loseElec = Fixed::fromInt(p.Lose_elec);
    if (s.Speed >= loseElec && (s.Speed == loseElec || s.BrakePressure >= Fixed::fromInt(50))) {
      s.BcPressure = Fixed::fromInt(50);  // the electric brake works; the air brake only holds
    } else {
      const long double step = ld(p.BrakeUp) / 30.0L / 1.5L;
      if (s.BcPressure < s.BrakePressure) {
        addTo(s.BcPressure, step);
      }
      if (s.BcPressure > s.BrakePressure) {
        addTo(s.BcPressure, -step);
        clampAtZero(s.BcPressure);  // a gauge just above an empty cylinder does not go below 0
      }
    }
  }
}

// --- compressor ---

CompressorEvents compressor(TrainState& s, const TrainParams& p) {
  CompressorEvents events;
  if (s.MrPressure < Fixed::fromInt(p.LowAirPress) && !s.CompressorRunning) {
    events.started = true;
    s.CompressorRunning = true;
  }
  if (s.CompressorRunning && s.MrPressure >= Fixed::fromInt(p.HighAirPress)) {
    events.stopped = true;
    s.CompressorRunning = false;
  }
  if (s.CompressorRunning) {
    addTo(s.MrPressure, 0.3L);
  }
  return events;
}

}  // namespace dravolin::sim
