#include "author/track_profile.h"

#include <GeographicLib/LocalCartesian.hpp>
#include <algorithm>
#include <cmath>
#include <limits>

namespace dravolin::author {

namespace {

constexpr double kSmoothS = 3.0;        // half width of the smoothing window
constexpr double kBreakS = 2.5;         // fixes further apart than this are not smoothed together
constexpr double kMinStandS = 2.0;      // shorter stands are noise
constexpr double kReportedShare = 0.9;  // of fixes with the receiver's speed to trust it

// Value and slope at t0 of the least-squares quadratic (or line, with fewer points) through
// (t[i], v[i]) for i in [a, b).
void localFit(const std::vector<double>& t, const std::vector<double>& v, std::size_t a,
              std::size_t b, double t0, double& value, double& slope) {
  const std::size_t n = b - a;
  if (n == 1) {
    value = v[a];
    slope = 0;
    return;
  }
  double s[5] = {}, r[3] = {};
  for (std::size_t i = a; i < b; ++i) {
    const double x = t[i] - t0;
    double p = 1;
    for (int k = 0; k < 5; ++k) {
      s[k] += p;
      if (k < 3) r[k] += p * v[i];
      p *= x;
    }
  }
  if (n >= 3) {
    // Normal equations of c0 + c1 x + c2 x^2, solved by Cramer's rule.
    const double m[3][3] = {{s[0], s[1], s[2]}, {s[1], s[2], s[3]}, {s[2], s[3], s[4]}};
    const auto det = [](const double a3[3][3]) {
      return a3[0][0] * (a3[1][1] * a3[2][2] - a3[1][2] * a3[2][1]) -
             a3[0][1] * (a3[1][0] * a3[2][2] - a3[1][2] * a3[2][0]) +
             a3[0][2] * (a3[1][0] * a3[2][1] - a3[1][1] * a3[2][0]);
    };
    const double d = det(m);
    if (std::abs(d) > 1e-9 * std::max(1.0, s[4] * s[0] * s[2])) {
      double m0[3][3], m1[3][3];
      for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
          m0[i][j] = j == 0 ? r[i] : m[i][j];
          m1[i][j] = j == 1 ? r[i] : m[i][j];
        }
      }
      value = det(m0) / d;
      slope = det(m1) / d;
      return;
    }
  }
  const double d = s[0] * s[2] - s[1] * s[1];
  if (std::abs(d) < 1e-12) {
    value = r[0] / s[0];
    slope = 0;
    return;
  }
  value = (r[0] * s[2] - r[1] * s[1]) / d;
  slope = (s[0] * r[1] - s[1] * r[0]) / d;
}

double interpolate(const std::vector<double>& t, const std::vector<double>& v, double at) {
  if (t.empty()) return 0;
  if (at <= t.front()) return v.front();
  if (at >= t.back()) return v.back();
  const std::size_t i =
      static_cast<std::size_t>(std::upper_bound(t.begin(), t.end(), at) - t.begin());
  const double span = t[i] - t[i - 1];
  if (span <= 0) return v[i];
  return v[i - 1] + (v[i] - v[i - 1]) * (at - t[i - 1]) / span;
}

}  // namespace

double TrackProfile::distanceAt(double t) const { return interpolate(timeS, distanceM, t); }
double TrackProfile::speedAt(double t) const { return interpolate(timeS, speedMps, t); }

const Span* TrackProfile::gapAt(double t) const {
  for (const Span& g : gaps) {
    if (t > g.from && t < g.to) return &g;
  }
  return nullptr;
}

TrackProfile buildProfile(const Track& track) {
  TrackProfile p;
  const std::vector<TrackPoint>& points = track.points;
  const std::size_t n = points.size();
  if (n == 0) return p;
  const GeographicLib::LocalCartesian plane(points[0].latitudeDeg, points[0].longitudeDeg, 0);
  std::vector<double> up(n);
  p.timeS.resize(n);
  p.eastM.resize(n);
  p.northM.resize(n);
  p.elevationM.resize(n);
  std::size_t reported = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const TrackPoint& q = points[i];
    p.timeS[i] = q.timeS;
    plane.Forward(q.latitudeDeg, q.longitudeDeg, 0, p.eastM[i], p.northM[i], up[i]);
    p.elevationM[i] = q.hasElevation ? q.elevationM : std::numeric_limits<double>::quiet_NaN();
    p.hasElevation = p.hasElevation || q.hasElevation;
    if (q.speedMps >= 0) ++reported;
  }
  const bool useReported = static_cast<double>(reported) >= kReportedShare * static_cast<double>(n);
  if (useReported) {
    for (const TrackPoint& q : points) p.reportedSpeedMps.push_back(q.speedMps);
  }

  // Smoothed positions and speeds, fitted inside runs of fixes without a break.
  std::vector<double> sx(n), sy(n), sz(n), smoothSpeed(n);
  std::size_t runStart = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && p.timeS[i] - p.timeS[i - 1] > kBreakS) runStart = i;
    std::size_t runEnd = i + 1;
    while (runEnd < n && p.timeS[runEnd] - p.timeS[runEnd - 1] <= kBreakS) ++runEnd;
    const auto from = std::lower_bound(p.timeS.begin() + static_cast<std::ptrdiff_t>(runStart),
                                       p.timeS.begin() + static_cast<std::ptrdiff_t>(i + 1),
                                       p.timeS[i] - kSmoothS) -
                      p.timeS.begin();
    const auto to = std::upper_bound(p.timeS.begin() + static_cast<std::ptrdiff_t>(i),
                                     p.timeS.begin() + static_cast<std::ptrdiff_t>(runEnd),
                                     p.timeS[i] + kSmoothS) -
                    p.timeS.begin();
    double vx = 0, vy = 0, vz = 0;
    localFit(p.timeS, p.eastM, static_cast<std::size_t>(from), static_cast<std::size_t>(to),
             p.timeS[i], sx[i], vx);
    localFit(p.timeS, p.northM, static_cast<std::size_t>(from), static_cast<std::size_t>(to),
             p.timeS[i], sy[i], vy);
    localFit(p.timeS, up, static_cast<std::size_t>(from), static_cast<std::size_t>(to), p.timeS[i],
             sz[i], vz);
    smoothSpeed[i] = std::hypot(vx, vy);
  }

  // Stands: runs of still fixes lasting kMinStandS or more, collapsed to their mean position.
  std::vector<bool> still(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double v = useReported && points[i].speedMps >= 0 ? points[i].speedMps : smoothSpeed[i];
    still[i] = v < kStandMps;
  }
  std::vector<bool> standing(n, false);
  for (std::size_t i = 0; i < n;) {
    if (!still[i]) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j + 1 < n && still[j + 1] && p.timeS[j + 1] - p.timeS[j] <= kBreakS) ++j;
    if (p.timeS[j] - p.timeS[i] >= kMinStandS) {
      double mx = 0, my = 0, mz = 0, lat = 0, lon = 0;
      for (std::size_t k = i; k <= j; ++k) {
        mx += p.eastM[k];
        my += p.northM[k];
        mz += up[k];
        lat += points[k].latitudeDeg;
        lon += points[k].longitudeDeg;
      }
      const double count = static_cast<double>(j - i + 1);
      for (std::size_t k = i; k <= j; ++k) {
        sx[k] = mx / count;
        sy[k] = my / count;
        sz[k] = mz / count;
        standing[k] = true;
      }
      p.stops.push_back({p.timeS[i], p.timeS[j]});
      p.stopLatitudeDeg.push_back(lat / count);
      p.stopLongitudeDeg.push_back(lon / count);
    }
    i = j + 1;
  }

  // Distances along the smoothed path, as geodesics between consecutive positions.
  p.distanceM.assign(n, 0);
  double lat0 = 0, lon0 = 0, h = 0;
  plane.Reverse(sx[0], sy[0], sz[0], lat0, lon0, h);
  for (std::size_t i = 1; i < n; ++i) {
    double lat = 0, lon = 0;
    plane.Reverse(sx[i], sy[i], sz[i], lat, lon, h);
    const double step =
        standing[i] && standing[i - 1] ? 0 : geodesicDistanceM(lat0, lon0, lat, lon);
    p.distanceM[i] = p.distanceM[i - 1] + step;
    lat0 = lat;
    lon0 = lon;
    if (p.timeS[i] - p.timeS[i - 1] >= kGapS) p.gaps.push_back({p.timeS[i - 1], p.timeS[i]});
  }

  // Speeds from the distances, so that the two always agree.
  p.speedMps.assign(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    if (standing[i] || n == 1) continue;
    std::size_t a = i > 0 && p.timeS[i] - p.timeS[i - 1] <= kBreakS ? i - 1 : i;
    std::size_t b = i + 1 < n && p.timeS[i + 1] - p.timeS[i] <= kBreakS ? i + 1 : i;
    if (a == b || p.timeS[b] <= p.timeS[a]) continue;
    p.speedMps[i] = (p.distanceM[b] - p.distanceM[a]) / (p.timeS[b] - p.timeS[a]);
  }
  return p;
}

}  // namespace dravolin::author
