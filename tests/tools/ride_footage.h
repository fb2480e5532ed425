// A short cab ride for the line maker's tests: the demo generator's scene along a run of known
// speeds (three stops, a tunnel, two curves, four gradients of 250 to 850 m), filmed as an MP4
// whose camera clock is wrong by tens of seconds, and the same run recorded by a noisy GPS
// receiver.
#pragma once

#include <string>
#include <vector>

#include "author/track_material.h"
#include "tools/make-demo/plan.h"

namespace dravolin::testing {

struct RideTruth {
  demo::Plan plan;  // rows at 30 fps with the camera standing at 0 km/h; frameM
  // Frames of the stands [arrive, depart): the first begins the footage, the last ends it.
  std::vector<std::pair<int, int>> stands;
  double videoStartUtc = 0;      // true UTC of frame 0
  double cameraClockUtc = 0;     // the creation time the camera writes (whole seconds, wrong)
  double fromM(double t) const;  // true distance at video time t
  double speedMps(double t) const;
  double durationS() const { return plan.frameCount() / 30.0; }
};

// The ride of the line maker's tool tests (250 s), or a short one (64 s: a stand, a run of a
// few hundred metres, a stand) for the window's test.
RideTruth rideTruth(bool brief = false);

author::testing::Route rideRoute(const RideTruth& truth);
// The receiver's fixes over the ride, from a few seconds before the footage to after it, lost in
// the tunnel.
std::vector<author::testing::Fix> rideFixes(const RideTruth& truth);

// Renders the footage at width x height (a little sensor noise on every frame) into `plain`
// (the picture only) and `withGps` (the picture and a GPMF stream from `gps`), both H.264 in MP4
// with the camera's creation time.
void writeRideFootage(const RideTruth& truth, int width, int height, const std::string& plain,
                      const std::string& withGps, const std::vector<author::GpmfPayload>& gps);

}  // namespace dravolin::testing
