#include "author/sync.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace dravolin::author {

namespace {

// Stands whose ends differ by more than this at an offset are not the same stop.
constexpr double kPairToleranceS = 3.0;
// The fixes fitted before an arrival (after a departure), and at most this long of the stand
// after it (before it), which pins the receiver's drift.
constexpr double kBrakingS = 12.0;
constexpr double kStandingS = 10.0;
// Only the slow end of a braking or a start is fitted, where trains brake and start steadily
// (further out a train cruises or eases its brake).
constexpr double kEventSpeedMps = 7.0;

// Solves the 3 x 3 system m c = r by Gaussian elimination with pivoting; false when singular.
bool solve3(const double m0[3][3], const double r0[3], double c[3]) {
  double m[3][4];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) m[i][j] = m0[i][j];
    m[i][3] = r0[i];
  }
  for (int col = 0; col < 3; ++col) {
    int pivot = col;
    for (int i = col + 1; i < 3; ++i) {
      if (std::abs(m[i][col]) > std::abs(m[pivot][col])) pivot = i;
    }
    if (std::abs(m[pivot][col]) < 1e-12) return false;
    for (int j = 0; j < 4; ++j) std::swap(m[col][j], m[pivot][j]);
    for (int i = 0; i < 3; ++i) {
      if (i == col) continue;
      const double f = m[i][col] / m[col][col];
      for (int j = col; j < 4; ++j) m[i][j] -= f * m[col][j];
    }
  }
  for (int i = 0; i < 3; ++i) c[i] = m[i][3] / m[i][i];
  return true;
}

double mean(const std::vector<double>& v) {
  double s = 0;
  for (const double x : v) s += x;
  return v.empty() ? 0 : s / static_cast<double>(v.size());
}

// The time within 3 s of `guess` where `residual` is least: a grid, then a golden section.
template <class F>
double searchMinimum(const F& residual, double guess) {
  double best = guess, bestValue = 1e300;
  for (double te = guess - 3; te <= guess + 3; te += 0.05) {
    const double v = residual(te);
    if (v < bestValue) {
      bestValue = v;
      best = te;
    }
  }
  double lo = best - 0.05, hi = best + 0.05;
  for (int k = 0; k < 40; ++k) {
    const double m1 = lo + (hi - lo) / 3, m2 = hi - (hi - lo) / 3;
    if (residual(m1) < residual(m2)) {
      hi = m2;
    } else {
      lo = m1;
    }
  }
  return (lo + hi) / 2;
}

// Fits s(t) = S + sign * a/2 * max(0, sign * (t - te))^2 to the fixes near a stand, the train
// standing at S from `te` on (arrival, sign -1: the parabola is before te) or up to `te`
// (departure, sign +1). Returns te, searched within 3 s of `guess`.
std::optional<double> fitEvent(const TrackProfile& p, const Span& stop, double guess, int sign) {
  const double standing = std::min(kStandingS, stop.length() - 1.0);
  const double from = sign < 0 ? guess - kBrakingS - 3 : guess - standing;
  const double to = sign < 0 ? guess + standing : guess + kBrakingS + 3;
  // The stand's position and the direction of travel through it.
  double sx = 0, sy = 0, count = 0;
  std::size_t farthest = p.timeS.size();
  for (std::size_t i = 0; i < p.timeS.size(); ++i) {
    if (p.timeS[i] >= stop.from && p.timeS[i] <= stop.to) {
      sx += p.eastM[i];
      sy += p.northM[i];
      count += 1;
    }
    if (p.timeS[i] >= from && p.timeS[i] <= to) {
      const bool outside = sign < 0 ? p.timeS[i] < stop.from : p.timeS[i] > stop.to;
      if (outside && (farthest == p.timeS.size() ||
                      std::abs(p.timeS[i] - guess) > std::abs(p.timeS[farthest] - guess))) {
        farthest = i;
      }
    }
  }
  if (count == 0 || farthest == p.timeS.size()) return std::nullopt;
  sx /= count;
  sy /= count;
  double ux = sx - p.eastM[farthest], uy = sy - p.northM[farthest];
  const double len = std::hypot(ux, uy);
  if (len < 3) return std::nullopt;  // hardly moved: nothing to time
  ux /= len;
  uy /= len;
  std::vector<double> t, s;
  for (std::size_t i = 0; i < p.timeS.size(); ++i) {
    if (p.timeS[i] < from || p.timeS[i] > to || p.speedMps[i] > kEventSpeedMps) continue;
    t.push_back(p.timeS[i]);
    s.push_back((p.eastM[i] - sx) * ux + (p.northM[i] - sy) * uy);
  }
  if (t.size() < 6) return std::nullopt;
  // For a given te the model is linear in S, a slow drift d of the receiver's error (its
  // positions wander by metres over minutes) and a: least squares, residual as the score.
  const auto residual = [&](double te) {
    double m[3][3] = {}, r[3] = {}, rr = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
      const double d = std::max(0.0, sign * (t[i] - te));
      const double b[3] = {1.0, t[i] - te, sign * 0.5 * d * d};
      for (int j = 0; j < 3; ++j) {
        for (int k = 0; k < 3; ++k) m[j][k] += b[j] * b[k];
        r[j] += b[j] * s[i];
      }
      rr += s[i] * s[i];
    }
    double c[3];
    if (!solve3(m, r, c)) return 1e300;
    // sum (s - c.b)^2 = rr - 2 c.r + c.M.c
    double fit = 0;
    for (int j = 0; j < 3; ++j) {
      fit -= 2 * c[j] * r[j];
      for (int k = 0; k < 3; ++k) fit += c[j] * m[j][k] * c[k];
    }
    return rr + fit;
  };
  return searchMinimum(residual, guess);
}

// The same from the receiver's own speeds, which its position errors do not disturb: the speed
// falls along a straight line to 0 at `te` (arrival) or rises from it (departure).
std::optional<double> fitEventBySpeed(const TrackProfile& p, const Span& stop, double guess,
                                      int sign) {
  const double standing = std::min(kStandingS, stop.length() - 1.0);
  const double from = sign < 0 ? guess - kBrakingS - 3 : guess - standing;
  const double to = sign < 0 ? guess + standing : guess + kBrakingS + 3;
  std::vector<double> t, v;
  for (std::size_t i = 0; i < p.timeS.size(); ++i) {
    if (p.timeS[i] < from || p.timeS[i] > to || p.reportedSpeedMps[i] < 0 ||
        p.speedMps[i] > kEventSpeedMps) {
      continue;
    }
    t.push_back(p.timeS[i]);
    v.push_back(p.reportedSpeedMps[i]);
  }
  if (t.size() < 6) return std::nullopt;
  // For a given te the slope is linear: least squares through the origin of the ramp.
  const auto residual = [&](double te) {
    double bb = 0, bv = 0, vv = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
      const double b = std::max(0.0, sign * (t[i] - te));
      bb += b * b;
      bv += b * v[i];
      vv += v[i] * v[i];
    }
    return bb > 0 ? vv - bv * bv / bb : 1e300;
  };
  return searchMinimum(residual, guess);
}

// The stands long enough to stand for a stop when the clocks are matched: short ones (a signal
// check, a dark moment of the picture) can be many and would only add candidates; all of them
// when none is that long.
template <class T>
std::vector<T> longStands(const std::vector<T>& all) {
  std::vector<T> out;
  for (const T& s : all) {
    if (s.length() >= kTimedStandS) out.push_back(s);
  }
  return out.empty() ? all : out;
}

}  // namespace

double offsetBase(const SyncInput& input, const TrackProfile& track) {
  return input.videoStartClockS.value_or(track.begin());
}

std::optional<double> trackArrival(const TrackProfile& track, const Span& s) {
  if (!track.reportedSpeedMps.empty()) return fitEventBySpeed(track, s, s.from, -1);
  return fitEvent(track, s, s.from, -1);
}

std::optional<double> trackDeparture(const TrackProfile& track, const Span& s) {
  if (!track.reportedSpeedMps.empty()) return fitEventBySpeed(track, s, s.to, +1);
  return fitEvent(track, s, s.to, +1);
}

std::vector<StopPair> pairStops(const TrackProfile& track, const PictureAnalysis& an,
                                double offset) {
  std::vector<StopPair> pairs;
  for (std::size_t i = 0; i < an.stands.size(); ++i) {
    const PictureStand& ps = an.stands[i];
    for (std::size_t k = 0; k < track.stops.size(); ++k) {
      const Span& ts = track.stops[k];
      // A side cut off by the footage, or lying before the track's first fix or after its last,
      // is not compared.
      const bool compareFrom = !ps.cutAtStart && ts.from > track.begin();
      const bool compareTo = !ps.cutAtEnd && ts.to < track.end();
      const bool fromOk = !compareFrom || std::abs(ts.from - (ps.from + offset)) < kPairToleranceS;
      const bool toOk = !compareTo || std::abs(ts.to - (ps.to + offset)) < kPairToleranceS;
      const bool overlap = ts.from < ps.to + offset && ps.from + offset < ts.to;
      if (fromOk && toOk && overlap && (compareFrom || compareTo)) {
        StopPair pair;
        pair.pictureStand = static_cast<int>(i);
        pair.trackStop = static_cast<int>(k);
        pairs.push_back(pair);
        break;
      }
    }
  }
  return pairs;
}

SyncResult synchronise(const TrackProfile& track, const PictureMotion& picture,
                       const PictureAnalysis& an, const SyncInput& input,
                       const std::string& trackFile, const std::string& videoFile) {
  SyncResult r;
  const double base = offsetBase(input, track);
  std::optional<double> prior = input.containerOffsetS;
  if (!prior && input.videoStartClockS) prior = *input.videoStartClockS;

  if (input.userOffsetS) {
    r.offsetS = base + *input.userOffsetS;
    r.basis = "指定された値";
  } else if (input.containerOffsetS) {
    r.offsetS = *input.containerOffsetS;
    r.basis = "動画内の GPS 記録の時刻";
  } else {
    // Every offset that lines up one stand's start or end with one of the track's, and the
    // creation time: the one that pairs the most stands wins, the nearest to the creation time
    // among equals.
    PictureAnalysis picture;
    picture.stands = longStands(an.stands);
    TrackProfile stops;
    stops.timeS = {track.begin(), track.end()};
    stops.stops = longStands(track.stops);
    std::vector<double> candidates;
    if (prior) candidates.push_back(*prior);
    for (const PictureStand& ps : picture.stands) {
      for (const Span& ts : stops.stops) {
        if (!ps.cutAtStart) candidates.push_back(ts.from - ps.from);
        if (!ps.cutAtEnd) candidates.push_back(ts.to - ps.to);
      }
    }
    int bestCount = -1;
    double best = 0;
    for (const double c : candidates) {
      const int count = static_cast<int>(pairStops(stops, picture, c).size());
      const double distance = prior ? std::abs(c - *prior) : 0;
      if (count > bestCount ||
          (count == bestCount && prior && distance < std::abs(best - *prior))) {
        bestCount = count;
        best = c;
      }
    }
    if (bestCount <= 0) {
      if (!prior) {
        throw AuthorError(videoFile + " と " + trackFile +
                          ": 時刻を合わせられません（一致する停車がなく、動画に作成日時もありませ"
                          "ん）。時刻のずれ (--offset) を指定してください");
      }
      r.offsetS = *prior;
      r.basis = "動画の作成日時（一致する停車なし）";
    } else {
      r.offsetS = best;
      r.basis = "停車の一致";
    }
  }

  // Time the paired stands finely; the mean difference is the offset when it was searched.
  r.pairs = pairStops(track, an, r.offsetS);
  std::vector<double> offsets;
  for (StopPair& pair : r.pairs) {
    const PictureStand& ps = an.stands[static_cast<std::size_t>(pair.pictureStand)];
    const Span& ts = track.stops[static_cast<std::size_t>(pair.trackStop)];
    // A short stand puts its departure among the fixes of its arrival: not timed.
    if (ts.length() < kTimedStandS) continue;
    if (!ps.cutAtStart && ts.from > track.begin()) {
      if (const auto t = trackArrival(track, ts)) pair.arrivalOffsetS = *t - ps.from;
    }
    if (!ps.cutAtEnd && ts.to < track.end()) {
      if (const auto t = trackDeparture(track, ts)) pair.departureOffsetS = *t - ps.to;
    }
    for (const auto& o : {pair.arrivalOffsetS, pair.departureOffsetS}) {
      if (o && std::abs(*o - r.offsetS) < kPairToleranceS) offsets.push_back(*o);
    }
  }
  r.events = static_cast<int>(offsets.size());
  const double m = mean(offsets);
  double var = 0;
  for (const double o : offsets) var += (o - m) * (o - m);
  r.spreadS = offsets.size() > 1 ? std::sqrt(var / static_cast<double>(offsets.size() - 1)) : 0;
  if (r.basis == "停車の一致" && !offsets.empty()) r.offsetS = m;

  if (input.containerOffsetS && !input.userOffsetS) {
    r.sureness = "高";
  } else if (r.events >= 3 && r.spreadS < 0.2) {
    r.sureness = "高";
  } else if (r.events >= 1 && r.spreadS < 1.0) {
    r.sureness = "中";
  } else {
    r.sureness = "低";
  }
  (void)picture;

  // The footage and the track must share some of their time.
  const double videoFrom = r.offsetS;
  const double videoTo = r.offsetS + picture.durationS();
  const double shared = std::min(videoTo, track.end()) - std::max(videoFrom, track.begin());
  if (!(shared > 0)) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "（オフセット %+.3f 秒で動画は %s から %.0f 秒、記録は %s から %.0f 秒）",
                  r.offsetS - base, formatTime(videoFrom).c_str(), picture.durationS(),
                  formatTime(track.begin()).c_str(), track.end() - track.begin());
    throw AuthorError(trackFile + ": GPS 記録が動画と時間的に重なりません" + text);
  }
  return r;
}

}  // namespace dravolin::author
