// Test material for the line maker: a route on the Earth, a receiver that records a run along
// it with the noise of a real one, and that record written as GPX, as NMEA and as the GPMF
// payloads of an action camera.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "author/gpmf_reader.h"
#include "author/track.h"

namespace dravolin::author::testing {

// A route: from an origin at a heading, bending by its curvature, climbing by its gradient.
class Route {
 public:
  Route(double lengthM, std::function<double(double)> curvature,
        std::function<double(double)> gradientPermil);
  // Latitude, longitude (degrees) and height (m) at `m` metres along the route.
  void at(double m, double& lat, double& lon, double& height) const;

  static constexpr double kOriginLat = 35.62;
  static constexpr double kOriginLon = 139.71;
  static constexpr double kHeadingDeg = 30;  // clockwise from north
  static constexpr double kBaseHeightM = 42;

 private:
  std::vector<double> east_, north_, height_;  // per metre
};

// The receiver's errors: a slow wander of the horizontal position (three sines of periods of
// minutes, up to wanderM in all, as a receiver's errors drift), a jitter from fix to fix, the
// height's own jitter, and the speed's (from the Doppler shift, so small).
struct ReceiverNoise {
  double wanderM = 2.5;
  double jitterM = 0.5;        // uniform within +-
  double heightJitterM = 1.0;  // uniform within +-
  double speedJitterMps = 0.05;
  unsigned seed = 29;
};

struct Fix {
  double utc = 0;
  double videoTimeS = 0;  // when it was taken, on the footage's timeline
  double lat = 0, lon = 0, height = 0;
  double speedMps = 0;
  bool valid = true;
};

// One fix a second on whole seconds of UTC from `fromUtc` to `toUtc`. The footage's first frame
// was taken at `videoStartUtc`; the run is at `distanceAt(video time)` (m) and
// `speedAt(video time)` (m/s). No fix while `lost(distance)` holds.
std::vector<Fix> recordRun(const Route& route, double videoStartUtc, double fromUtc, double toUtc,
                           const std::function<double(double)>& distanceAt,
                           const std::function<double(double)>& speedAt,
                           const std::function<bool(double)>& lost, const ReceiverNoise& noise);

// GPX 1.1, or GPX 1.0 with the receiver's speed in every point.
std::string gpxText(const std::vector<Fix>& fixes, const std::vector<Waypoint>& waypoints,
                    bool version10 = false);
// RMC, GGA and VTG for every fix (void ones for a lost fix); `damaged` sentences (every n-th)
// get a wrong checksum.
std::string nmeaText(const std::vector<Fix>& fixes, int damagedEvery = 0);
// One payload per fix, at its time on the footage's timeline, lasting a second: GPS5 (with GPSU
// and GPSF) or GPS9.
std::vector<GpmfPayload> gpmfPayloads(const std::vector<Fix>& fixes, bool gps9);

// Key-length-value pieces for hand-made GPMF.
std::vector<std::uint8_t> klv(const char key[5], char type, int size, int repeat,
                              const std::vector<std::uint8_t>& data);
std::vector<std::uint8_t> nest(const char key[5], const std::vector<std::uint8_t>& inside);
void bigEndian32(std::vector<std::uint8_t>& out, std::int64_t v);
void bigEndian16(std::vector<std::uint8_t>& out, int v);

// "$" + body + "*" + checksum.
std::string sentence(const std::string& body);

}  // namespace dravolin::author::testing
