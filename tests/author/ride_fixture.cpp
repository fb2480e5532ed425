#include "author/ride_fixture.h"

#include <cmath>

namespace dravolin::author::testing {

namespace {

constexpr double kLat0 = 35.0;
constexpr double kLon0 = 139.0;
constexpr double kMetresPerDegree = 110950.6;  // of latitude at 35 degrees (WGS 84)

}  // namespace

RideFixture::RideFixture(std::vector<Phase> phases, double cameraLateS)
    : phases_(std::move(phases)), cameraLateS_(cameraLateS) {
  for (const Phase& p : phases_) duration_ += p.seconds;
  startUtc_ = utcSeconds(2024, 5, 1, 1, 0, 0.25);
}

double RideFixture::latitudeAt(double m) { return kLat0 + m / kMetresPerDegree; }

double RideFixture::distanceAt(double t) const {
  double d = 0, v = 0, start = 0;
  for (const Phase& p : phases_) {
    const double u = std::min(std::max(t - start, 0.0), p.seconds);
    d += v * u + 0.5 * p.accelMps2 * u * u;
    if (t < start + p.seconds) return d;
    v += p.accelMps2 * p.seconds;
    start += p.seconds;
  }
  return d + v * (t - start);
}

double RideFixture::speedAt(double t) const {
  double v = 0, start = 0;
  for (const Phase& p : phases_) {
    if (t < start + p.seconds) return v + p.accelMps2 * std::max(0.0, t - start);
    v += p.accelMps2 * p.seconds;
    start += p.seconds;
  }
  return v;
}

Track RideFixture::track(double from, double to, double lostFrom, double lostTo) const {
  Track t;
  t.fileName = "ride.gpx";
  t.format = "GPX 1.1";
  for (double s = std::ceil(startUtc_ + from); s <= startUtc_ + to; s += 1) {
    const double v = s - startUtc_;
    if (v > lostFrom && v < lostTo) continue;
    TrackPoint p;
    p.timeS = s;
    p.latitudeDeg = latitudeAt(distanceAt(v));
    p.longitudeDeg = kLon0;
    p.elevationM = 10;
    p.hasElevation = true;
    p.at = static_cast<std::int64_t>(t.points.size()) + 1;
    t.points.push_back(p);
  }
  return t;
}

PictureMotion RideFixture::picture() const {
  PictureMotion pic;
  const int frames = static_cast<int>(std::lround(duration_ * 30));
  for (int f = 0; f < frames; ++f) {
    const double t = f / 30.0;
    pic.timeS.push_back(t);
    // Still: the camera's noise about 0.5; moving: the scenery streams past.
    const double v = speedAt(t);
    const float noise = 0.05f * static_cast<float>((f * 7919) % 11) / 10.0f;
    pic.motion.push_back(f == 0 ? 0.0f : (v > 0 ? 6.0f : 0.5f + noise));
  }
  return pic;
}

RideMeasurements RideFixture::measurements(const Track& track) const {
  RideMeasurements r;
  r.videoFile = "ride.mp4";
  r.trackFile = "ride.gpx";
  r.frameRate = 30;
  r.picture = picture();
  r.durationS = r.picture.durationS();
  r.creationTimeS = std::floor(startUtc_ - cameraLateS_);
  r.pictureAnalysis = analysePicture(r.picture);
  r.track = track;
  checkTrack(r.track);
  r.profile = buildProfile(r.track);
  return r;
}

}  // namespace dravolin::author::testing
