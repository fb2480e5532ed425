#include "drive/evaluation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "sim/fixed.h"
#include "sim/route.h"

namespace dravolin::drive {

namespace {

constexpr int kTicksPerSecond = 30;

// Points for `excess` ticks, one per `step` begun, at most `cap`.
int perStepBegun(long long excess, long long step, int cap) {
  if (excess <= 0) return 0;
  return static_cast<int>(std::min<long long>(cap, (excess + step - 1) / step));
}

bool atRest(const sim::TrainState& s) { return sim::roundToInt(std::fabs(s.Speed.ld())) == 0; }

ProtectionEvents& operator+=(ProtectionEvents& a, const ProtectionEvents& b) {
  a.atsAlarms += b.atsAlarms;
  a.atsBrakes += b.atsBrakes;
  a.patternBrakes += b.patternBrakes;
  a.atcBrakes += b.atcBrakes;
  a.ebBrakes += b.ebBrakes;
  a.emergencyBrakes += b.emergencyBrakes;
  a.overspeeds += b.overspeeds;
  return a;
}

}  // namespace

int StationResult::arrivalLateS() const {
  return arrivalTicks < 0 ? 0 : (arrivalTicks - departureSoundTicks) / kTicksPerSecond;
}

int StationResult::departureLateS() const {
  return departureTicks < 0 ? 0 : (departureTicks - departureTimeTicks) / kTicksPerSecond;
}

const char* driveKindName(DriveKind kind) {
  switch (kind) {
    case DriveKind::Complete:
      return "complete";
    case DriveKind::Abandoned:
      return "abandoned";
    case DriveKind::NotDriven:
      break;
  }
  return "not-driven";
}

StationScore scoreStation(const StationResult& r) {
  StationScore sc;
  if (r.outcome == StationResult::Outcome::Ahead) return sc;
  if (r.outcome == StationResult::Outcome::Passed) {
    sc.stop = 100;
  } else if (r.outcome == StationResult::Outcome::Stopped) {
    sc.stop = perStepBegun(std::abs(static_cast<long long>(r.stopErrorCm)) - 10, 10, 50);
    if (r.arrivalTicks >= 0) {
      sc.arrival = perStepBegun(static_cast<long long>(r.arrivalTicks) - r.departureSoundTicks,
                                10 * kTicksPerSecond, 20);
    }
  }
  if (!r.last && r.departureTicks >= 0 && r.outcome != StationResult::Outcome::Passed) {
    const long long late = static_cast<long long>(r.departureTicks) - r.departureTimeTicks;
    sc.departure =
        late < 0 ? 20 : perStepBegun(late - 30 * kTicksPerSecond, 10 * kTicksPerSecond, 20);
  }
  const ProtectionEvents& e = r.onTheWay;
  const long long protection = 20LL * e.atsBrakes + 10LL * e.patternBrakes + 10LL * e.atcBrakes +
                               10LL * e.ebBrakes + 10LL * e.emergencyBrakes + 2LL * e.atsAlarms +
                               5LL * e.overspeeds;
  sc.protection = static_cast<int>(std::min<long long>(protection, 100));
  sc.points = std::max(0, 100 - sc.stop - sc.arrival - sc.departure - sc.protection);
  return sc;
}

Evaluation::Evaluation(const data::LineFile& line, const sim::TrainState& state, int emergencyNotch)
    : line_(&line), emergencyNotch_(emergencyNotch) {
  stationOf_.assign(line.stations.size(), -1);
  for (std::size_t i = 0; i < line.stations.size(); ++i) {
    const sim::StationRecord& st = line.stations[i];
    if (st.type == 1) continue;
    stationOf_[i] = static_cast<int>(results_.size());
    StationResult r;
    r.station = static_cast<int>(i);
    r.nameUtf8 = st.nameUtf8;
    r.departureSoundTicks = st.departureSoundTime;
    r.departureTimeTicks = st.departureTime;
    results_.push_back(std::move(r));
    // The range's last frame reaches to where the frame after it begins.
    const int after = st.rangeEnd < std::numeric_limits<int>::max() ? st.rangeEnd + 1 : st.rangeEnd;
    ranges_.push_back({st.rangeStart, st.rangeEnd, sim::lineDistanceAt(line.params, st.rangeStart),
                       sim::lineDistanceAt(line.params, after), st.stopDistance,
                       st.type == 0 && line.oneMan == 0, false});
  }
  if (!results_.empty()) results_.back().last = true;
  origin(state);
}

void Evaluation::origin(const sim::TrainState& s) {
  previousFrame_ = s.FrameIndex;
  previousDistance_ = s.Distance;
  previousAtRest_ = atRest(s);
  bool from = false;
  for (std::size_t k = 0; k < results_.size(); ++k) {
    StationResult& r = results_[k];
    const Range& g = ranges_[k];
    ranges_[k].stood = false;
    if (from) {
      StationResult ahead;
      ahead.station = r.station;
      ahead.nameUtf8 = std::move(r.nameUtf8);
      ahead.departureSoundTicks = r.departureSoundTicks;
      ahead.departureTimeTicks = r.departureTimeTicks;
      ahead.last = r.last;
      r = std::move(ahead);
    } else if (g.firstFrame <= s.FrameIndex && s.FrameIndex <= g.lastFrame) {
      r.outcome = StationResult::Outcome::Origin;
      r.arrivalTicks = -1;
      r.departureTicks = -1;
      r.doorsOpened = false;
      r.left = false;
      r.onTheWay = {};
      from = true;
    } else if (r.judged()) {
      // The train was taken away from where it stood: that station is behind it.
      r.left = true;
    }
  }
  pending_ = {};
  finished_ = false;
}

void Evaluation::moved(const sim::TrainState& s) {
  if (line_ != nullptr) origin(s);
}

void Evaluation::countEvents(const sim::TrainState& s, const sim::ProtectionState& p) {
  ProtectionEvents e;
  const bool ebDevice =
      s.AtsBrakeApplied && !previousAtsBrake_ && previousEbIdle_ > 600 && p.EbIdleTicks == 0;
  if (p.AtsAlarm && !previousAlarm_) ++e.atsAlarms;
  if (ebDevice) {
    ++e.ebBrakes;
  } else if (s.AtsBrakeApplied && !previousAtsBrake_) {
    ++e.atsBrakes;
  }
  if (p.PatternState == 2 && previousPattern_ != 2) {
    ++e.patternBrakes;
  } else if (s.AtcBrakeApplied && !previousAtcBrake_ && p.PatternState != 2) {
    ++e.atcBrakes;
  }
  const bool emergency = s.BrakeHandle == emergencyNotch_;
  if (emergency && !previousEmergency_ && !atRest(s)) ++e.emergencyBrakes;
  bool overspeed = false;
  for (const data::SpeedLimitRecord& l : line_->speedLimits) {
    if (l.startFrame <= s.FrameIndex && s.FrameIndex < l.endFrame &&
        s.Speed > sim::Fixed::fromInt(l.limit)) {
      overspeed = true;
    }
  }
  if (overspeed && !previousOverspeed_) ++e.overspeeds;

  previousAlarm_ = p.AtsAlarm;
  previousAtsBrake_ = s.AtsBrakeApplied;
  previousAtcBrake_ = s.AtcBrakeApplied;
  previousPattern_ = p.PatternState;
  previousEbIdle_ = p.EbIdleTicks;
  previousEmergency_ = emergency;
  previousOverspeed_ = overspeed;

  // The events go to the station the train stands at or is leaving, else to the way ahead.
  for (StationResult& r : results_) {
    if ((r.outcome == StationResult::Outcome::Stopped ||
         r.outcome == StationResult::Outcome::Origin) &&
        !r.left) {
      r.onTheWay += e;
      return;
    }
  }
  pending_ += e;
}

void Evaluation::judge(std::size_t k, const sim::TrainState& s, bool rest) {
  StationResult& r = results_[k];
  Range& g = ranges_[k];
  const bool byDistance = g.lastCm > g.firstCm;
  const auto inFrames = [&g](int frame) { return g.firstFrame <= frame && frame <= g.lastFrame; };
  // Past the range: beyond its last frame, or, within its frames, beyond its last centimetre.
  const auto past = [&g, byDistance](int frame, long double cm) {
    return frame > g.lastFrame || (byDistance && frame >= g.firstFrame && cm > g.lastCm);
  };
  const int frame = s.FrameIndex;
  const bool nowPast = past(frame, s.Distance);
  const bool wasPast = past(previousFrame_, previousDistance_);
  const bool inside = inFrames(frame) && !nowPast;
  const bool wasInside = inFrames(previousFrame_) && !wasPast;
  const bool inDistance = !byDistance || g.firstCm <= s.Distance;
  const bool stop = rest && inside && inDistance;
  const bool newStop = stop && !g.stood;
  g.stood = stop;
  const int error = sim::roundToInt(s.Distance - static_cast<long double>(g.stopCm));

  switch (r.outcome) {
    case StationResult::Outcome::Ahead:
      if (stop) {
        r.outcome = StationResult::Outcome::Stopped;
        r.arrivalTicks = s.ClockTicks;
        r.stopErrorCm = error;
        r.doorsOpened = s.DoorsOpen;
        r.onTheWay = pending_;
        pending_ = {};
        latest_ = static_cast<int>(k);
      } else if (nowPast && !wasPast) {
        r.outcome = StationResult::Outcome::Passed;
        r.onTheWay = pending_;
        r.left = true;
        pending_ = {};
        latest_ = static_cast<int>(k);
        if (r.last) finished_ = true;
      }
      break;
    case StationResult::Outcome::Stopped:
    case StationResult::Outcome::Origin:
      if (r.left) break;
      if (r.outcome == StationResult::Outcome::Stopped && !r.doorsOpened && stop) {
        // Until the doors open, each new stop in the range is the one judged, taken as the
        // train comes to rest; the doors opening makes it final.
        if (newStop) r.stopErrorCm = error;
        r.doorsOpened = s.DoorsOpen;
      }
      if (!rest && previousAtRest_ && (inside || wasInside)) r.departureTicks = s.ClockTicks;
      if (!inside) r.left = true;
      break;
    case StationResult::Outcome::Passed:
      break;
  }
  if (r.last && r.outcome == StationResult::Outcome::Stopped &&
      (r.doorsOpened || !g.doorsOpenThemselves)) {
    finished_ = true;
  }
}

void Evaluation::displayTick(const sim::TrainState& s, const sim::ProtectionState& p) {
  // A finished drive's judgement stays as it ended (until a move starts it again).
  if (line_ == nullptr || finished_) return;
  const bool rest = atRest(s);
  for (std::size_t k = 0; k < results_.size(); ++k) judge(k, s, rest);
  countEvents(s, p);
  previousFrame_ = s.FrameIndex;
  previousDistance_ = s.Distance;
  previousAtRest_ = rest;
}

DriveKind Evaluation::kind() const {
  bool driven = false;
  for (const StationResult& r : results_) {
    driven = driven || r.outcome == StationResult::Outcome::Stopped ||
             r.outcome == StationResult::Outcome::Passed;
  }
  if (!driven) return DriveKind::NotDriven;
  return results_.back().outcome == StationResult::Outcome::Stopped ? DriveKind::Complete
                                                                    : DriveKind::Abandoned;
}

int Evaluation::score() const {
  long long sum = 0;
  int judged = 0;
  for (const StationResult& r : results_) {
    if (!r.judged()) continue;
    sum += scoreStation(r).points;
    ++judged;
  }
  if (judged == 0) return 0;
  return sim::roundToInt(static_cast<long double>(sum) / judged);
}

}  // namespace dravolin::drive
