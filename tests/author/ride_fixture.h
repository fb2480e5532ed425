// A ride made of phases for the line maker's unit tests: the picture's motion at 30 frames a
// second (still at the noise floor, moving well above it) and a receiver's fixes once a second
// along a straight line due north, without noise, both from the same run.
#pragma once

#include <vector>

#include "author/line_draft.h"

namespace dravolin::author::testing {

struct Phase {
  double seconds = 0;
  double accelMps2 = 0;  // 0: at the speed it has (0 stands)
};

class RideFixture {
 public:
  // The phases from standing; the camera's clock is `cameraLateS` behind the receiver's.
  explicit RideFixture(std::vector<Phase> phases, double cameraLateS = 40.0);

  double distanceAt(double t) const;  // m, video time
  double speedAt(double t) const;     // m/s
  double duration() const { return duration_; }
  double trueOffset() const { return startUtc_; }  // track clock of video time 0

  // Fixes from `from` to `to` (video time), lost where `lost` holds.
  Track track(double from, double to, double lostFrom = -1, double lostTo = -1) const;
  PictureMotion picture() const;
  // Everything buildLine needs, with the camera's creation time.
  RideMeasurements measurements(const Track& track) const;
  // Latitude of the position `m` metres along the line.
  static double latitudeAt(double m);

 private:
  std::vector<Phase> phases_;
  double duration_ = 0;
  double startUtc_ = 0;
  double cameraLateS_ = 0;
};

}  // namespace dravolin::author::testing
