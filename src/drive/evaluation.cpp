#include "drive/evaluation.h"

#include <algorithm>
#include <cmath>

#include "sim/fixed.h"

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
  }
  if (!results_.empty()) results_.back().last = true;
  origin(state);
}

void Evaluation::origin(const sim::TrainState& s) {
  previousFrame_ = s.FrameIndex;
  previousAtRest_ = atRest(s);
  bool from = false;
  for (StationResult& r : results_) {
    const sim::StationRecord& st = line_->stations[static_cast<std::size_t>(r.station)];
    if (from) {
      r = StationResult{
          r.station, std::move(r.nameUtf8), StationResult::Outcome::Ahead, 0,      -1,
          -1,        r.departureSoundTicks, r.departureTimeTicks,          r.last, false,
          {}};
    } else if (st.rangeStart <= s.FrameIndex && s.FrameIndex <= st.rangeEnd) {
      r.outcome = StationResult::Outcome::Origin;
      r.arrivalTicks = -1;
      r.departureTicks = -1;
      r.left = false;
      r.onTheWay = {};
      from = true;
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

void Evaluation::displayTick(const sim::TrainState& s, const sim::ProtectionState& p) {
  if (line_ == nullptr) return;
  const int frame = s.FrameIndex;
  const bool rest = atRest(s);
  for (std::size_t k = 0; k < results_.size(); ++k) {
    StationResult& r = results_[k];
    const sim::StationRecord& st = line_->stations[static_cast<std::size_t>(r.station)];
    const bool inRange = st.rangeStart <= frame && frame <= st.rangeEnd;
    const bool leaving = previousFrame_ <= st.rangeEnd && frame > st.rangeEnd;
    switch (r.outcome) {
      case StationResult::Outcome::Ahead:
        if (inRange && rest) {
          r.outcome = StationResult::Outcome::Stopped;
          r.arrivalTicks = s.ClockTicks;
          r.stopErrorCm = sim::roundToInt(s.Distance - static_cast<long double>(st.stopDistance));
          r.onTheWay = pending_;
          pending_ = {};
          latest_ = static_cast<int>(k);
          if (r.last) finished_ = true;
        } else if (leaving) {
          r.outcome = StationResult::Outcome::Passed;
          r.onTheWay = pending_;
          r.left = true;
          pending_ = {};
          latest_ = static_cast<int>(k);
        }
        break;
      case StationResult::Outcome::Stopped:
      case StationResult::Outcome::Origin:
        if (r.left) break;
        if (inRange && rest && r.outcome == StationResult::Outcome::Stopped) {
          // Drawn up after the first stop: the last position counts.
          r.stopErrorCm = sim::roundToInt(s.Distance - static_cast<long double>(st.stopDistance));
        }
        if ((inRange || leaving) && !rest && previousAtRest_) r.departureTicks = s.ClockTicks;
        if (leaving) r.left = true;
        break;
      case StationResult::Outcome::Passed:
        break;
    }
  }
  countEvents(s, p);
  previousFrame_ = frame;
  previousAtRest_ = rest;
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
