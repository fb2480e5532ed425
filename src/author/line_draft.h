// A line made from a ride, before it is written: the measurements of the footage and the track
// (RideMeasurements, the slow part: every frame decoded once) and the line built from them
// (LineDraft: offset, speed table, stations, gradients, tunnels, start), which is rebuilt
// quickly when the offset or a station's name or kind changes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "author/local_time.h"
#include "author/picture.h"
#include "author/speed_table.h"
#include "author/sync.h"
#include "author/track.h"
#include "author/track_profile.h"

namespace dravolin::author {

// The line video is taken as 30 frames a second; a camera file of more is written afresh at 30.
inline constexpr double kMaxLineFps = 30.0;
// A stop this long or longer is a station.
inline constexpr double kStationStopS = 15.0;
inline constexpr double kStopRangeM = 5.0;     // stopping range, either side of the stop
inline constexpr double kWaypointNameM = 150;  // a waypoint this near names a station
inline constexpr double kDepartureSoundLeadS = 15.0;
inline constexpr double kStartLeadS =
    30.0;  // the clock starts this long before the first departure
inline constexpr double kTunnelMovingShare = 0.8;

struct RideMeasurements {
  std::string videoFile;  // as named by the user
  std::string trackFile;
  double frameRate = 30;  // the camera file's
  double durationS = 0;
  int width = 0, height = 0;
  std::optional<double> creationTimeS;
  PictureMotion picture;
  PictureAnalysis pictureAnalysis;
  Track track;
  TrackProfile profile;
  std::optional<double> containerOffsetS;  // the track came from the video's own stream
};

struct StationEdit {
  std::optional<std::string> name;
  std::optional<int> type;  // 0 stop, 1 pass
};

struct LineOptions {
  std::string lineName;               // "[LineName]" (UTF-8)
  std::string dataName;               // "[DataName]": the video's base name (ASCII)
  std::optional<double> userOffsetS;  // relative to offsetBase()
  LocalClock clock;
  int signalSpacingM = 0;                 // automatic block signals this far apart; 0 none
  std::vector<StationEdit> stationEdits;  // by station index
};

struct DraftStation {
  std::string name;      // UTF-8
  std::string waypoint;  // the waypoint that named it, if one did
  int type = 0;          // 0 stop, 1 pass
  int arriveFrame = 0;   // first frame of its stand (line frames)
  int departFrame = 0;   // first frame moving again
  int rangeStart = 0;
  int rangeEnd = 0;
  double distanceM = 0;     // derived, from the line's origin
  double arriveClockS = 0;  // track clock (UTC)
  double departClockS = 0;
  int departureSoundTicks = 0;  // local clock, 1/30 s
  int departureTicks = 0;
  bool cutAtStart = false;  // the footage begins or ends in this stand
  bool cutAtEnd = false;
};

struct DraftSlope {
  double permil = 0;
  int fromFrame = 0;
  int toFrame = 0;
};

struct DraftTunnel {
  int firstFrame = 0;
  int lastFrame = 0;
};

struct DraftSignal {
  std::string name;  // UTF-8
  int displayFrom = 0, boundary = 0, transponder = 0, check = 0;
};

struct LineDraft {
  LineOptions options;
  SyncResult sync;
  double offsetBaseS = 0;  // what the user-facing offset counts from
  bool reencode = false;   // the video is written afresh at 30 frames a second (lineVideoName)
  double lineFps = 30;     // frames a second of the line video
  int frameRateKey = 30;   // "[FrameRate]"
  std::vector<double> frameTimeS;  // video time of every line frame
  int firstFrame = 0;              // line frames the track covers
  int lastFrame = 0;
  SpeedFit speed;
  std::vector<DraftStation> stations;
  std::vector<DraftSlope> slopes;
  std::vector<DraftTunnel> tunnels;
  std::vector<DraftSignal> signalList;
  int startPos = 0;
  int startTimeTicks = 0;
  double startClockS = 0;  // track clock of "[StartTime]"
  double lengthM = 0;      // derived distance of the last frame

  double userOffset() const { return sync.offsetS - offsetBaseS; }
  int frameAtVideoTime(double t) const;  // first line frame at or after t
};

// How the line video is written for footage `videoFile`: copied as it is under its own extension
// (in lower case), or written afresh at 30 frames a second as ".mp4": footage faster than that
// (`reencode` given), or in a container the line video is not looked for by (.m4v, .ts, ...).
struct LineVideoName {
  std::string extension;
  bool reencode = false;
};
LineVideoName lineVideoName(const std::string& videoFile, bool reencode);

// Throws AuthorError when the track and footage cannot be put together.
LineDraft buildLine(const RideMeasurements& ride, const LineOptions& options);

// "[DataName]" made of a file name: its base name in letters, digits, "_" and "-" ("line" when
// nothing is left).
std::string dataNameOf(const std::string& videoFile);

}  // namespace dravolin::author
