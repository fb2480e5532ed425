#include "author/speed_table.h"

#include <algorithm>
#include <cmath>

#include "data/line_distances.h"
#include "sim/route.h"

namespace dravolin::author {

namespace {

// Seconds tried past a row end that failed, before the row is closed at the last good end.
constexpr int kLookaheadChecks = 5;
constexpr int kMaxTableKmh = 400;

double allowance(double distanceM) {
  return std::max(kDistanceFloorM, kDistanceShare * std::abs(distanceM));
}

// The rows keep within half the allowance of the track, so that the line stays within it of the
// true distance when the track itself is off by a metre or two (a receiver's slow drift).
double tolerance(double distanceM) { return kFitShare * allowance(distanceM); }

struct Candidate {
  bool ok = false;
  int speed = 0;
  double endError = 0;
};

class Fitter {
 public:
  explicit Fitter(const SpeedTarget& t) : t_(t) {}

  SpeedFit run() {
    const int n = static_cast<int>(t_.distanceM.size());
    SpeedFit fit;
    if (n < 2) return fit;
    int cur = 0;
    std::size_t stand = 0;
    int v0 =
        std::clamp(static_cast<int>(std::lround(t_.speedKmh[0] * t_.tableScale)), 0, kMaxTableKmh);
    while (cur < n - 1) {
      if (stand < t_.stands.size() && t_.stands[stand].first <= cur) {
        const int depart = std::min(t_.stands[stand].second, n - 1);
        ++stand;
        if (depart <= cur) continue;
        add(fit, cur, depart, 0, 0);
        cur = depart;
        v0 = depart < n - 1 ? 1 : 0;
        continue;
      }
      const bool toStand = stand < t_.stands.size();
      const int limit = toStand ? std::min(t_.stands[stand].first, n - 1) : n - 1;
      int bestEnd = -1;
      Candidate best;
      int misses = 0;
      for (const int c : ends(cur, limit)) {
        const Candidate found = tryEnd(cur, v0, c, toStand && c == limit);
        if (found.ok) {
          bestEnd = c;
          best = found;
          misses = 0;
        } else if (bestEnd >= 0 && ++misses > kLookaheadChecks) {
          break;
        }
      }
      if (bestEnd < 0) {
        // Nothing keeps the limits (the rows before went as near as they could): the short row
        // that comes back nearest to them, counted as a fault where it still misses.
        recover(cur, v0, limit, toStand, bestEnd, best.speed);
      }
      add(fit, cur, bestEnd, v0, best.speed);
      cur = bestEnd;
      v0 = best.speed;
    }
    measure(fit);
    return fit;
  }

 private:
  // Row ends worth trying after `cur`: the checked seconds before `limit`, and `limit`.
  std::vector<int> ends(int cur, int limit) const {
    std::vector<int> out;
    const auto from = std::upper_bound(t_.checks.begin(), t_.checks.end(), cur);
    for (auto it = from; it != t_.checks.end() && *it < limit; ++it) out.push_back(*it);
    out.push_back(limit);
    return out;
  }

  int nearestSpeed(int i) const {
    return std::clamp(
        static_cast<int>(std::lround(t_.speedKmh[static_cast<std::size_t>(i)] * t_.tableScale)), 0,
        kMaxTableKmh);
  }

  sim::SpeedUnitRow row(int a, int b, int v0, int v1) const {
    return {a + t_.firstFrame, b + t_.firstFrame, v0, v1, 0};
  }

  // Whether a row from `cur` at v0 to `end` at some end speed keeps every checked second inside
  // the limits; the end speed that lands nearest the track's distance.
  Candidate tryEnd(int cur, int v0, int end, bool forceZero) const {
    Candidate best;
    const auto e = static_cast<std::size_t>(end);
    int lo = 0, hi = 0;
    if (forceZero) {
      lo = hi = 0;
    } else {
      const double v = t_.speedKmh[e];
      lo = std::max(0, static_cast<int>(std::ceil((v - kSpeedToleranceKmh) * t_.tableScale)));
      hi = std::min(kMaxTableKmh,
                    static_cast<int>(std::floor((v + kSpeedToleranceKmh) * t_.tableScale)));
    }
    const auto first = std::upper_bound(t_.checks.begin(), t_.checks.end(), cur);
    for (int v1 = lo; v1 <= hi; ++v1) {
      const sim::SpeedUnitRow r = row(cur, end, v0, v1);
      bool ok = true;
      for (auto it = first; ok && it != t_.checks.end() && *it <= end; ++it) {
        ok = within(r, *it);
      }
      if (!ok) continue;
      const double err = std::abs(at(r, end) - t_.distanceM[e]);
      if (!best.ok || err < best.endError) {
        best = {true, v1, err};
      }
    }
    return best;
  }

  // Of the rows up to kLookaheadChecks seconds long, with end speeds within the speed limit, the
  // one whose worst distance error (beyond the tolerance) is least; the longer among equals.
  void recover(int cur, int v0, int limit, bool toStand, int& end, int& speed) const {
    const std::vector<int> candidates = ends(cur, limit);
    double bestScore = 1e300;
    end = candidates.front();
    speed = toStand && end == limit ? 0 : nearestSpeed(end);
    for (std::size_t c = 0; c < candidates.size() && c <= kLookaheadChecks; ++c) {
      const int e = candidates[c];
      const bool forceZero = toStand && e == limit;
      const double v = t_.speedKmh[static_cast<std::size_t>(e)];
      const int lo =
          forceZero
              ? 0
              : std::max(0, static_cast<int>(std::ceil((v - kSpeedToleranceKmh) * t_.tableScale)));
      const int hi =
          forceZero
              ? 0
              : std::min(kMaxTableKmh,
                         static_cast<int>(std::floor((v + kSpeedToleranceKmh) * t_.tableScale)));
      for (int v1 = lo; v1 <= hi; ++v1) {
        const sim::SpeedUnitRow r = row(cur, e, v0, v1);
        double score = -1e300;
        for (auto it = std::upper_bound(t_.checks.begin(), t_.checks.end(), cur);
             it != t_.checks.end() && *it <= e; ++it) {
          const auto k = static_cast<std::size_t>(*it);
          score =
              std::max(score, std::abs(at(r, *it) - t_.distanceM[k]) - tolerance(t_.distanceM[k]));
        }
        if (score <= bestScore) {
          bestScore = score;
          end = e;
          speed = v1;
        }
      }
    }
  }

  // Derived distance (m from firstFrame) of index i inside row r.
  double at(const sim::SpeedUnitRow& r, int i) const {
    return (static_cast<double>(doneCm_) +
            static_cast<double>(sim::segmentDistance(r, i + t_.firstFrame))) /
           100.0;
  }

  bool within(const sim::SpeedUnitRow& r, int i) const {
    const auto k = static_cast<std::size_t>(i);
    const double d = at(r, i);
    if (std::abs(d - t_.distanceM[k]) > tolerance(t_.distanceM[k])) return false;
    // Inside a dropout the distance is interpolated between its ends and the speed, which
    // nothing measured, is free.
    if (!t_.known[k]) return true;
    const double span = r.endFrame - r.startFrame;
    const double table =
        r.startSpeed + (r.endSpeed - r.startSpeed) * (i + t_.firstFrame - r.startFrame) / span;
    return std::abs(table / t_.tableScale - t_.speedKmh[k]) <= kSpeedToleranceKmh;
  }

  void add(SpeedFit& fit, int a, int b, int v0, int v1) {
    sim::SpeedUnitRow r = row(a, b, v0, v1);
    int length = 0;
    data::unitLength(r, length);
    doneCm_ += length;
    r.endDistance = static_cast<int>(doneCm_);
    fit.rows.push_back(r);
  }

  void measure(SpeedFit& fit) const {
    for (const int i : t_.checks) {
      const auto k = static_cast<std::size_t>(i);
      if (!t_.known[k]) continue;
      const int frame = i + t_.firstFrame;
      const double d = derivedDistanceM(fit.rows, frame);
      const double de = std::abs(d - t_.distanceM[k]);
      double table = 0;
      for (const sim::SpeedUnitRow& r : fit.rows) {
        if (frame >= r.startFrame && frame < r.endFrame) {
          table = r.startSpeed + static_cast<double>(r.endSpeed - r.startSpeed) *
                                     (frame - r.startFrame) / (r.endFrame - r.startFrame);
        } else if (frame == r.endFrame) {
          table = r.endSpeed;
        }
      }
      const double se = std::abs(table / t_.tableScale - t_.speedKmh[k]);
      fit.worstDistanceM = std::max(fit.worstDistanceM, de);
      fit.worstSpeedKmh = std::max(fit.worstSpeedKmh, se);
      if (de > allowance(t_.distanceM[k]) + 1e-9 || se > kSpeedToleranceKmh + 1e-9) {
        ++fit.violations;
      }
    }
  }

  const SpeedTarget& t_;
  long long doneCm_ = 0;  // end distance of the rows so far
};

}  // namespace

SpeedFit fitSpeedTable(const SpeedTarget& target) { return Fitter(target).run(); }

double derivedDistanceM(const std::vector<sim::SpeedUnitRow>& rows, int frame) {
  double before = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const sim::SpeedUnitRow& r = rows[i];
    if (frame >= r.startFrame && frame < r.endFrame) {
      return (before + static_cast<double>(sim::segmentDistance(r, frame))) / 100.0;
    }
    if (r.endFrame <= frame) before = r.endDistance;
  }
  return before / 100.0;
}

int frameAtDistance(const std::vector<sim::SpeedUnitRow>& rows, double metres) {
  if (rows.empty()) return 0;
  double before = 0;
  for (const sim::SpeedUnitRow& r : rows) {
    if (r.endDistance / 100.0 >= metres) {
      for (int f = r.startFrame; f < r.endFrame; ++f) {
        if ((before + static_cast<double>(sim::segmentDistance(r, f))) / 100.0 >= metres) return f;
      }
      return r.endFrame;
    }
    before = r.endDistance;
  }
  return rows.back().endFrame;
}

}  // namespace dravolin::author
