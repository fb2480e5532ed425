#include "sim/train_protection.h"

#include <cstddef>
#include <limits>

namespace dravolin::sim {
namespace {

Fixed kmh(int whole) { return Fixed::fromInt(whole); }

// The brake of the handle display's step below EB or above it: the ATC brakes only while the
// driver's own brake is weaker than that.
bool brakeAboveStepBelowEb(const TrainState& s, const ProtectionParams& p) {
  return s.BrakeHandle > 1 - p.Brake;
}

void setBothPending(TrainState& s) {
  s.PowerChangePending = true;
  s.BrakeChangePending = true;
}

constexpr long double kPatternRange = 60000;  // cm ahead searched for a target
constexpr int kNoTarget = 999;

// The stop code of a signal the pattern ATS brakes for; -1 for kinds it ignores.
int patternStopCode(int kind) {
  switch (kind) {
    case 2:
      return 6;
    case 3:
      return 9;
    case 4:
      return 13;
    case 5:
      return 17;
    default:
      return -1;
  }
}

}  // namespace

void atcSupervision(TrainState& s, const ProtectionParams& p, ProtectionState& ps,
                    CallbackRef masconupdate) {
  if (p.ATS_Type != AtsType::Atc) return;
  const IndicationClass cls = indicationClass(ps.SignalCode);
  const bool overspeed = (cls == IndicationClass::YY && s.Speed > kmh(p.Speed_YY)) ||
                         (cls == IndicationClass::Y && s.Speed > kmh(p.Speed_Y)) ||
                         (cls == IndicationClass::YG && s.Speed > kmh(p.Speed_YG)) ||
                         s.Speed > kmh(p.Speed_G) ||
                         (cls == IndicationClass::R && s.Speed >= Fixed());
  if (overspeed) {
    if (brakeAboveStepBelowEb(s, p)) {
      s.AtcBrakeApplied = true;
      setBothPending(s);
      masconupdate();
      ps.AtcLatch = true;
    }
  } else if (ps.AtcLatch) {
    s.AtcBrakeApplied = false;
    setBothPending(s);
    masconupdate();
    ps.AtcLatch = false;
  }
}

void atsAlarm(TrainState& s, const ProtectionParams& p, ProtectionState& ps, CabModel& cab,
              platform::SoundSlots& sounds, CallbackRef masconupdate) {
  if (p.ATS_Type != AtsType::Ats) return;
  const bool stopChecks = p.ATS_Alert == AtsAlert::StopChecks;

  // a. A new alarm, unless the brake is at EB or the last one was acknowledged.
  if (s.BrakeHandle != -p.Brake && !ps.AtsAcknowledged) {
    const bool trigger = stopChecks ? (ps.AtsCheck == kStopWarning || ps.AtsCheck == 0)
                                    : s.Speed > kmh(ps.AtsCheck + 5);
    if (trigger) {
      ps.AtsAlarm = true;
      ps.AtsConfirmed = false;
    }
  }

  // b. The bell; at a stop check the emergency brake at once.
  if (ps.AtsAlarm && !sounds.isPlaying(p.Sound_Ats1)) {
    ps.AtsRememberedCheck = ps.AtsCheck;
    sounds.stop(p.Sound_Ats1);
    sounds.stop(p.Sound_Ats2);
    sounds.playLooped(p.Sound_Ats1);
    cab.Lamp_Ats.visible = true;
    cab.Lamp_YG.visible = false;
    cab.Lamp_Y.visible = false;
    cab.Lamp_YY.visible = false;
    if (ps.AtsCheck == 0) {
      s.AtsBrakeApplied = true;
      masconupdate();
    }
  }

  // c. Confirmed: the chime instead of the bell, and the lamp of the checked speed.
  if (ps.AtsConfirmed && !sounds.isPlaying(p.Sound_Ats2)) {
    sounds.stop(p.Sound_Ats1);
    if (p.ATS_Cnt == AtsChime::Looped) {
      platform::restartLooped(sounds, p.Sound_Ats2);
    } else {
      platform::restart(sounds, p.Sound_Ats2);
    }
    ps.AtsConfirmed = false;
    cab.Lamp_Ats.visible = false;
    if (ps.AtsRememberedCheck == p.Speed_Y) cab.Lamp_Y.visible = true;
    if (ps.AtsRememberedCheck == p.Speed_YG) cab.Lamp_YG.visible = true;
  }

  // d. The lamp of the checked speed; no check puts every ATS lamp out.
  if (!ps.AtsAlarm) {
    if (ps.AtsCheck == p.Speed_YY && !cab.Lamp_YY.visible) {
      cab.Lamp_Ats.visible = cab.Lamp_YG.visible = cab.Lamp_Y.visible = false;
      cab.Lamp_YY.visible = true;
      ps.AtsAcknowledged = false;
    }
    if (ps.AtsCheck == p.Speed_Y && !cab.Lamp_Y.visible) {
      cab.Lamp_Ats.visible = cab.Lamp_YG.visible = cab.Lamp_YY.visible = false;
      cab.Lamp_Y.visible = true;
      ps.AtsAcknowledged = false;
    }
    if (ps.AtsCheck == p.Speed_YG && !cab.Lamp_YG.visible) {
      cab.Lamp_Ats.visible = cab.Lamp_Y.visible = cab.Lamp_YY.visible = false;
      cab.Lamp_YG.visible = true;
      ps.AtsAcknowledged = false;
    }
  }
  if (ps.AtsCheck == kNoCheck) {
    cab.Lamp_Ats.visible = cab.Lamp_YG.visible = cab.Lamp_Y.visible = cab.Lamp_YY.visible = false;
    ps.AtsAcknowledged = false;
  }

  // e. Unconfirmed for ATS_Time seconds: the emergency brake, again every ATS_Time seconds.
  if (ps.AtsAlarm) {
    ++ps.AtsTimerTicks;
    if (ps.AtsTimerTicks > p.ATS_Time * 10) {
      s.AtsBrakeApplied = true;
      masconupdate();
      ps.AtsTimerTicks = 0;
    }
  }
}

PatternTarget patternTarget(long double distance, std::span<const CheckPoint> points,
                            std::span<const SignalRecord> signals, const SignalState& blocks) {
  for (const CheckPoint& point : points) {
    const long double d = static_cast<long double>(point.distance) - distance;
    if (d <= 0 || d >= kPatternRange) continue;
    if (point.limit != 0) return {point.limit, d};
    if (point.signalIndex < 0) continue;
    const auto i = static_cast<std::size_t>(point.signalIndex);
    if (i >= signals.size() || i >= blocks.value.size()) continue;
    const int stopCode = patternStopCode(signals[i].kind);
    const int value = blocks.value[i];
    if (stopCode >= 0 && (value == stopCode || value == 0)) return {0, d};
  }
  return {kNoTarget, 0};
}

long double patternBrakingDistance(long double speed, long double target, Fixed brakeRate) {
  if (brakeRate <= Fixed()) return std::numeric_limits<long double>::infinity();
  return (speed - target) / (0.8L * brakeRate.ld()) * ((speed + target) / 2 / 3.6L);
}

void patternAts(TrainState& s, const ProtectionParams& p, std::span<const CheckPoint> points,
                std::span<const SignalRecord> signals, const SignalState& blocks,
                ProtectionState& ps, CabModel& cab, platform::SoundSlots& sounds,
                CallbackRef masconupdate) {
  if (p.ATS_Type != AtsType::Pattern) return;
  const PatternTarget t = patternTarget(s.Distance, points, signals, blocks);
  int target = t.limit;
  if (target > 0) target += 5;
  const long double v = s.Speed.ld();
  const long double metres = t.distance / 100;

  bool onCurve = false;  // above the pattern: inside the braking distance to the target
  if (s.Speed > kmh(target)) {
    if (patternBrakingDistance(v, target, p.BrakeRate) > metres - 10) {
      ps.PatternState = 2;
      onCurve = true;
    } else if (!s.AtcBrakeApplied) {
      ps.PatternState = patternBrakingDistance(v + 5, target, p.BrakeRate) > metres - 50 ? 1 : 0;
    }
  }
  if (target > roundToInt(v)) ps.PatternState = 0;

  // The reset key releases the pattern brake but leaves the state at 2. A train that is above the
  // pattern again is braked again, with the chime and lamps of a new entry into state 2; a train
  // standing below it stays free.
  const bool brakeReleased = ps.PatternState == 2 && onCurve && !s.AtcBrakeApplied;
  if (ps.PatternState != ps.PreviousPatternState || brakeReleased) {
    platform::restart(sounds, p.Sound_Atc);
    switch (ps.PatternState) {
      case 1:
        cab.Lamp_Atsp1.visible = true;
        cab.Lamp_Atsp2.visible = false;
        break;
      case 2:
        s.AtcBrakeApplied = true;
        cab.Lamp_Atsp1.visible = true;
        cab.Lamp_Atsp2.visible = true;
        break;
      default:
        s.AtcBrakeApplied = false;
        cab.Lamp_Atsp1.visible = false;
        cab.Lamp_Atsp2.visible = false;
        break;
    }
    masconupdate();
  }
  ps.PreviousPatternState = ps.PatternState;
}

void trainProtection(TrainState& s, const ProtectionParams& p, std::span<const CheckPoint> points,
                     std::span<const SignalRecord> signals, const SignalState& blocks,
                     ProtectionState& ps, CabModel& cab, platform::SoundSlots& sounds,
                     CallbackRef masconupdate) {
  atcSupervision(s, p, ps, masconupdate);
  atsAlarm(s, p, ps, cab, sounds, masconupdate);
  patternAts(s, p, points, signals, blocks, ps, cab, sounds, masconupdate);
}

void speedChecks(const TrainState& s, std::span<const SpeedCheckRecord> checks,
                 ProtectionState& ps) {
  for (const SpeedCheckRecord& c : checks) {
    const long long d = static_cast<long long>(s.FrameIndex) - c.frame;
    if (d > 0 && d < 10 && s.Speed > kmh(c.speed)) {
      ps.AtsAlarm = true;
      ps.AtsConfirmed = false;
    }
  }
}

void ebDevice(TrainState& s, const ProtectionParams& p, ProtectionState& ps, CabModel& cab,
              platform::SoundSlots& sounds, CallbackRef masconupdate) {
  if (s.AutoSpeed) ps.EbFitted = false;
  if (s.Speed > kmh(1) && ps.EbFitted) ++ps.EbIdleTicks;
  if (ps.EbIdleTicks > 600) {
    platform::startIfIdle(sounds, p.Sound_EBring);
    if (!cab.Lamp_EB.visible) cab.Lamp_EB.visible = true;
  }
  if (ps.EbIdleTicks > 650) {
    ps.EbIdleTicks = 0;
    s.AtsBrakeApplied = true;
    masconupdate();
    setBothPending(s);
  }
}

}  // namespace dravolin::sim
