// A GPS track as the readers deliver it: the receiver's fixes in file order, with the UTC time of
// each, and the named waypoints. Every fix remembers where it stood in its file (a line for the
// text formats, a byte offset for the GPMF stream), so that an error can name the place.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
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

// Why a reader left a record of its file out of the track. Real logs hold all of these: a
// receiver's cold start writes sentences without a fix, a logger cut off writes half a sentence,
// a phone app writes a point twice.
enum class SkipCause {
  Checksum,       // an NMEA sentence whose checksum is missing or wrong (cut off, noise)
  AfterChecksum,  // an NMEA sentence with anything after its checksum
  WithoutFix,     // the receiver said it had no fix
  EmptyField,     // a field a fix needs is empty or missing
  WithoutTime,    // a GPX track point without a time, in a track whose other points have one
  TimeBack,       // a time before the fix before it
  SameTime,       // the time of the fix before it: merged into that fix
};
inline constexpr std::size_t kSkipCauses = 7;

// How many records were skipped for one cause, and where the first of them stood.
struct SkipTally {
  int count = 0;
  std::int64_t firstAt = 0;  // as TrackPoint::at
};

struct Track {
  std::string fileName;      // as shown in messages
  std::string format;        // "GPX 1.1", "NMEA 0183", "GPMF (GPS5)", ...
  bool byteOffsets = false;  // TrackPoint::at counts bytes rather than lines
  std::vector<TrackPoint> points;
  std::vector<Waypoint> waypoints;
  std::array<SkipTally, kSkipCauses> skipped{};

  // Counts a skipped record of the file at `at`.
  void skip(SkipCause cause, std::int64_t at);
  int skippedOf(SkipCause cause) const { return skipped[static_cast<std::size_t>(cause)].count; }
  int skippedTotal() const;
};

// The cause as the tool's records name it ("checksum", "without_fix", ...).
const char* skipCauseName(SkipCause cause);
// The cause as the messages and the line's note say it ("チェックサムの誤り", ...).
const char* skipCauseText(SkipCause cause);
// "測位できていない記録が15件、チェックサムの誤りが3件" for every cause that has any; empty when
// nothing was skipped.
std::string skippedText(const Track& track);

// "FILE: 12行目: " or "FILE: 4096バイト目: " for a place in `track`'s file.
std::string placeOf(const Track& track, std::int64_t at);

// A receiver's error, not a train: consecutive fixes at least this far apart and faster than
// kJumpMps between them. A gap covered at a train's speed (a tunnel) is no jump.
inline constexpr double kJumpM = 5000;
inline constexpr double kJumpMps = 100;  // 360 km/h, beyond any train in service

// The checks every track passes before it is used; throws AuthorError naming the first fault:
// no fix at all, a time that goes backwards, a jump (kJumpM and kJumpMps; never across the start
// of a track or segment, whose gap is a dropout), a position outside the Earth's coordinates.
void checkTrack(const Track& track);

// The length of the track: the geodesics between consecutive fixes, m.
double trackLengthM(const Track& track);

// Distance along the geodesic between two positions on the WGS 84 ellipsoid, metres.
double geodesicDistanceM(double lat1, double lon1, double lat2, double lon2);

// Seconds since 1970-01-01 UTC of a civil UTC date and time (proleptic Gregorian).
double utcSeconds(int year, int month, int day, int hour, int minute, double second);
// "2024-05-01 10:00:37.433" for seconds since 1970-01-01 (UTC, or local when shifted), rounded
// to `decimals` (0 to 9) places of the second.
std::string formatTime(double seconds, int decimals = 3);
// "2024-05-01T10:00:37.433Z": a UTC time as one word, for the tool's records.
std::string isoTime(double utcS);
// Two times as formatTime gives them, with as many decimals (3 to 9) as it takes to tell them
// apart: a message saying that one comes before the other must not print them alike.
std::pair<std::string, std::string> formatTimesApart(double a, double b);

}  // namespace dravolin::author
