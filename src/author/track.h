// A GPS track as the readers deliver it: the receiver's fixes in file order, with the UTC time of
// each, and the named waypoints. Every fix remembers where it stood in its file (a line for the
// text formats, a byte offset for the GPMF stream), so that an error can name the place.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace dravolin::author {

// A fault in a track, a video or their combination. The message names the file and, where there
// is one, the line or the byte offset ("ride.gpx: 12行目: ...").
class AuthorError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TrackPoint {
  double timeS = 0;         // UTC, seconds since 1970-01-01 00:00:00 (with fractions)
  double latitudeDeg = 0;   // WGS 84
  double longitudeDeg = 0;  // WGS 84
  double elevationM = 0;    // height as the receiver gives it; valid when hasElevation
  bool hasElevation = false;
  double speedMps = -1;  // the receiver's own speed over ground, m/s; < 0 when not given
  // Time of the fix on the video's own timeline (s from its start), for a track read from the
  // video's telemetry stream; unset for a track from a file of its own.
  std::optional<double> videoTimeS;
  std::int64_t at = 0;  // line (from 1) or byte offset of the fix in its file
  // The first fix of a track or segment after the first one (GPX `trk`/`trkseg`): the time
  // before it is a dropout whatever its length, never a stretch to interpolate across as motion.
  bool segmentStart = false;
};

struct Waypoint {
  std::string name;  // UTF-8
  double latitudeDeg = 0;
  double longitudeDeg = 0;
};

struct Track {
  std::string fileName;      // as shown in messages
  std::string format;        // "GPX 1.1", "NMEA 0183", "GPMF (GPS5)", ...
  bool byteOffsets = false;  // TrackPoint::at counts bytes rather than lines
  std::vector<TrackPoint> points;
  std::vector<Waypoint> waypoints;
  int checksumFailures = 0;  // NMEA sentences skipped because their checksum did not match
  int withoutFix = 0;        // records that said the receiver had no fix
};

// "FILE: 12行目: " or "FILE: 4096バイト目: " for a place in `track`'s file.
std::string placeOf(const Track& track, std::int64_t at);

// The checks every track passes before it is used; throws AuthorError naming the first fault:
// no fix at all, a time that goes backwards, two consecutive fixes 5 km or more apart, a
// position outside the Earth's coordinates.
void checkTrack(const Track& track);

// Distance along the geodesic between two positions on the WGS 84 ellipsoid, metres.
double geodesicDistanceM(double lat1, double lon1, double lat2, double lon2);

// Seconds since 1970-01-01 UTC of a civil UTC date and time (proleptic Gregorian).
double utcSeconds(int year, int month, int day, int hour, int minute, double second);
// "2024-05-01 10:00:37.433" for seconds since 1970-01-01 (UTC, or local when shifted).
std::string formatTime(double seconds);

}  // namespace dravolin::author
