// What a track says about the run: at every fix the distance travelled along the path, the
// speed and the height, where the train stood and where the receiver lost its fix.
//
// The positions are smoothed before their distances are summed: each fix is replaced by a
// quadratic fitted through the fixes within 3 s of it (in the local east-north plane of
// GeographicLib's LocalCartesian), which takes out most of a receiver's jitter, and every stand
// is collapsed to the mean of its fixes, so a standing train gathers no distance from noise. The
// distances between consecutive smoothed positions are geodesics on the WGS 84 ellipsoid
// (GeographicLib). The train stands where the receiver's own speed (when the track has it for
// most fixes) or the smoothed speed stays below 0.4 m/s for 2 s or more.
#pragma once

#include <vector>

#include "author/track.h"

namespace dravolin::author {

struct Span {
  double from = 0;  // s
  double to = 0;    // s
  double length() const { return to - from; }
};

struct TrackProfile {
  // One entry per fix, in time order.
  std::vector<double> timeS;       // the track's clock (UTC, s since 1970)
  std::vector<double> distanceM;   // along the path from the first fix
  std::vector<double> speedMps;    // 0 while standing
  std::vector<double> elevationM;  // as the receiver gave it; NaN where it gave none
  // The receiver's own speed (from the Doppler shift), m/s, when it gave one for nearly every
  // fix (else empty); a fix without one has -1.
  std::vector<double> reportedSpeedMps;
  std::vector<double> eastM;  // raw position in the local plane of the first fix
  std::vector<double> northM;
  std::vector<Span> stops;              // the train stood (track clock)
  std::vector<double> stopLatitudeDeg;  // where, per stop: the mean of its fixes
  std::vector<double> stopLongitudeDeg;
  std::vector<Span> gaps;  // between two consecutive fixes at least kGapS apart
  bool hasElevation = false;

  double begin() const { return timeS.empty() ? 0 : timeS.front(); }
  double end() const { return timeS.empty() ? 0 : timeS.back(); }
  // Interpolated between fixes (the last known value outside them).
  double distanceAt(double t) const;
  double speedAt(double t) const;
  // The gap that holds `t`, or nullptr.
  const Span* gapAt(double t) const;
};

// A fix lost for this long is a dropout (a tunnel when the picture keeps moving).
inline constexpr double kGapS = 10.0;
// Below this speed the train stands, m/s.
inline constexpr double kStandMps = 0.4;

// `track` must have passed checkTrack.
TrackProfile buildProfile(const Track& track);

}  // namespace dravolin::author
