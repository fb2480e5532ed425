#include "author/line_draft.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <iterator>

#include "author/gradient.h"

namespace dravolin::author {

namespace {

// A file name's extension in lower case ("" when it has none).
std::string lowerExtension(const std::string& file) {
  std::string e = std::filesystem::path(file).extension().string();
  for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

int ticksOf(double localS, double midnight) {
  return static_cast<int>(std::lround((localS - midnight) * 30.0));
}

// The stations: the paired stands long enough, or cut off by the footage's ends.
void placeStations(const RideMeasurements& ride, LineDraft& d) {
  const TrackProfile& p = ride.profile;
  int unnamed = 0;
  for (const StopPair& pair : d.sync.pairs) {
    const PictureStand& ps =
        ride.pictureAnalysis.stands[static_cast<std::size_t>(pair.pictureStand)];
    const auto k = static_cast<std::size_t>(pair.trackStop);
    const bool cut = ps.cutAtStart || ps.cutAtEnd;
    if (ps.length() < kStationStopS && !cut) continue;
    DraftStation s;
    s.cutAtStart = ps.cutAtStart;
    s.cutAtEnd = ps.cutAtEnd;
    s.arriveFrame = std::clamp(d.frameAtVideoTime(ps.from), d.firstFrame, d.lastFrame);
    s.departFrame = std::clamp(d.frameAtVideoTime(ps.to), d.firstFrame, d.lastFrame);
    if (s.departFrame <= s.arriveFrame) continue;
    s.arriveClockS = ps.from + d.sync.offsetS;
    s.departClockS = ps.to + d.sync.offsetS;
    double nearest = kWaypointNameM;
    for (const Waypoint& w : ride.track.waypoints) {
      const double m = geodesicDistanceM(p.stopLatitudeDeg[k], p.stopLongitudeDeg[k], w.latitudeDeg,
                                         w.longitudeDeg);
      if (m <= nearest) {
        nearest = m;
        s.waypoint = w.name;
      }
    }
    s.name = s.waypoint.empty() ? "駅" + std::to_string(++unnamed) : s.waypoint;
    d.stations.push_back(s);
  }
  for (std::size_t i = 0; i < d.stations.size() && i < d.options.stationEdits.size(); ++i) {
    const StationEdit& e = d.options.stationEdits[i];
    if (e.name && !e.name->empty()) d.stations[i].name = *e.name;
    if (e.type) d.stations[i].type = *e.type == 1 ? 1 : 0;
  }
}

// The speed table over the frames the track covers, standing where the stands were paired.
void fitSpeeds(const RideMeasurements& ride, LineDraft& d) {
  const TrackProfile& p = ride.profile;
  SpeedTarget t;
  t.firstFrame = d.firstFrame;
  t.tableScale = 30.0 / d.lineFps;
  const double origin =
      p.distanceAt(d.frameTimeS[static_cast<std::size_t>(d.firstFrame)] + d.sync.offsetS);
  int lastSecond = -1;
  for (int f = d.firstFrame; f <= d.lastFrame; ++f) {
    const double clock = d.frameTimeS[static_cast<std::size_t>(f)] + d.sync.offsetS;
    t.distanceM.push_back(p.distanceAt(clock) - origin);
    t.speedKmh.push_back(p.speedAt(clock) * 3.6);
    t.known.push_back(p.gapAt(clock) == nullptr);
    const int second = static_cast<int>(std::floor(clock));
    if (second != lastSecond) t.checks.push_back(f - d.firstFrame);
    lastSecond = second;
  }
  for (const StopPair& pair : d.sync.pairs) {
    const PictureStand& ps =
        ride.pictureAnalysis.stands[static_cast<std::size_t>(pair.pictureStand)];
    const int a = std::clamp(d.frameAtVideoTime(ps.from), d.firstFrame, d.lastFrame);
    const int b = std::clamp(d.frameAtVideoTime(ps.to), d.firstFrame, d.lastFrame);
    if (b > a) t.stands.emplace_back(a - d.firstFrame, b - d.firstFrame);
  }
  std::sort(t.stands.begin(), t.stands.end());
  d.speed = fitSpeedTable(t);
  d.lengthM = d.speed.rows.empty() ? 0 : d.speed.rows.back().endDistance / 100.0;
}

void placeRanges(LineDraft& d) {
  const auto& rows = d.speed.rows;
  for (DraftStation& s : d.stations) {
    s.distanceM = derivedDistanceM(rows, s.arriveFrame);
    s.rangeStart = frameAtDistance(rows, s.distanceM - kStopRangeM);
    s.rangeEnd = std::max(s.departFrame, frameAtDistance(rows, s.distanceM + kStopRangeM + 0.005));
    s.rangeStart = std::min(s.rangeStart, s.arriveFrame);
    // The stop position is the middle of the range, and must lie inside the standing row for
    // the loader to give it the stand's distance.
    const double middle = (s.rangeStart + s.rangeEnd) / 2.0;
    if (!(middle > s.arriveFrame && middle < s.departFrame)) {
      const int centre = (s.arriveFrame + s.departFrame) / 2;
      const int half = std::max(centre - s.rangeStart, s.rangeEnd - centre);
      s.rangeStart = centre - half;
      s.rangeEnd = centre + half;
    }
  }
}

void placeClock(LineDraft& d) {
  if (d.stations.empty()) {
    d.startPos = d.firstFrame;
    d.startClockS = d.frameTimeS[static_cast<std::size_t>(d.firstFrame)] + d.sync.offsetS;
  } else {
    const DraftStation& first = d.stations.front();
    d.startPos = first.departFrame;
    d.startClockS = first.departClockS - kStartLeadS;
  }
  const double startLocal = localSeconds(d.startClockS, d.options.clock);
  const double midnight = std::floor(startLocal / 86400.0) * 86400.0;
  d.startTimeTicks = ticksOf(startLocal, midnight);
  for (DraftStation& s : d.stations) {
    const double depart = localSeconds(s.departClockS, d.options.clock);
    s.departureTicks = ticksOf(depart, midnight);
    s.departureSoundTicks = ticksOf(depart - kDepartureSoundLeadS, midnight);
  }
}

void placeSlopes(const RideMeasurements& ride, LineDraft& d) {
  const TrackProfile& p = ride.profile;
  if (!p.hasElevation || d.speed.rows.empty()) return;
  const double from = d.frameTimeS[static_cast<std::size_t>(d.firstFrame)] + d.sync.offsetS;
  const double to = d.frameTimeS[static_cast<std::size_t>(d.lastFrame)] + d.sync.offsetS;
  const double origin = p.distanceAt(from);
  std::vector<double> distance, height;
  for (std::size_t i = 0; i < p.timeS.size(); ++i) {
    if (p.timeS[i] < from || p.timeS[i] > to) continue;
    distance.push_back(p.distanceM[i] - origin);
    height.push_back(p.elevationM[i]);
  }
  for (const GradientStretch& g : fitGradients(distance, height)) {
    DraftSlope s;
    s.permil = std::round(g.permil * 10000.0) / 10000.0;
    s.fromFrame = frameAtDistance(d.speed.rows, g.fromM);
    s.toFrame = frameAtDistance(d.speed.rows, g.toM);
    if (!d.slopes.empty()) s.fromFrame = d.slopes.back().toFrame;
    if (s.toFrame > s.fromFrame) d.slopes.push_back(s);
  }
}

void placeTunnels(const RideMeasurements& ride, LineDraft& d) {
  for (const Span& g : ride.profile.gaps) {
    const double a = g.from - d.sync.offsetS, b = g.to - d.sync.offsetS;
    if (b <= 0 || a >= ride.durationS) continue;
    if (movingShare(ride.picture, ride.pictureAnalysis, a, b) < kTunnelMovingShare) continue;
    DraftTunnel t{std::clamp(d.frameAtVideoTime(a), d.firstFrame, d.lastFrame),
                  std::clamp(d.frameAtVideoTime(b), d.firstFrame, d.lastFrame)};
    if (t.lastFrame > t.firstFrame) d.tunnels.push_back(t);
  }
}

// Automatic block signals every N metres: each shown from the one before, its ATS transponder
// 600 m before it (never before the previous signal) and its check point 20 m before it.
void placeSignals(LineDraft& d) {
  const int spacing = d.options.signalSpacingM;
  if (spacing <= 0 || d.speed.rows.empty()) return;
  int previous = d.startPos;
  int number = 1;
  for (double m = spacing; m < d.lengthM - 1; m += spacing) {
    DraftSignal s;
    s.name = "第" + std::to_string(number++) + "閉塞";
    s.boundary = frameAtDistance(d.speed.rows, m);
    if (s.boundary <= previous + 2) continue;
    s.displayFrom = previous + 1;
    s.transponder = std::max(previous + 1, frameAtDistance(d.speed.rows, std::max(0.0, m - 600)));
    s.check = std::max(previous + 1, frameAtDistance(d.speed.rows, std::max(0.0, m - 20)));
    if (s.check >= s.boundary) s.check = s.boundary - 1;
    if (s.transponder > s.check) s.transponder = s.check;
    d.signalList.push_back(s);
    previous = s.boundary;
  }
}

}  // namespace

int LineDraft::frameAtVideoTime(double t) const {
  return static_cast<int>(std::lower_bound(frameTimeS.begin(), frameTimeS.end(), t - 1e-9) -
                          frameTimeS.begin());
}

std::string dataNameOf(const std::string& videoFile) {
  std::string name;
  for (const char c : std::filesystem::path(videoFile).stem().string()) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
        c == '-') {
      name += c;
    }
  }
  return name.empty() ? "line" : name.substr(0, 64);
}

LineVideoName lineVideoName(const std::string& videoFile, bool reencode) {
  static constexpr const char* kLooked[] = {".avi", ".mp4", ".mov", ".mkv", ".webm"};
  LineVideoName n{lowerExtension(videoFile), reencode};
  n.reencode = n.reencode ||
               std::find(std::begin(kLooked), std::end(kLooked), n.extension) == std::end(kLooked);
  if (n.reencode) n.extension = ".mp4";
  return n;
}

LineDraft buildLine(const RideMeasurements& ride, const LineOptions& options) {
  LineDraft d;
  d.options = options;
  SyncInput in;
  in.videoStartClockS = ride.creationTimeS;
  in.containerOffsetS = ride.containerOffsetS;
  in.userOffsetS = options.userOffsetS;
  d.offsetBaseS = offsetBase(in, ride.profile);
  d.sync = synchronise(ride.profile, ride.picture, ride.pictureAnalysis, in, ride.trackFile,
                       ride.videoFile);

  // Footage faster than the line's 30 frames a second, or in a container the line video is not
  // looked for by, is written afresh at 30 frames a second.
  d.reencode = lineVideoName(ride.videoFile, ride.frameRate > kMaxLineFps + 0.5).reencode;
  if (d.reencode) {
    d.lineFps = kMaxLineFps;
    const auto frames = static_cast<int>(std::floor(ride.durationS * kMaxLineFps));
    for (int f = 0; f < frames; ++f) d.frameTimeS.push_back(f / kMaxLineFps);
  } else {
    d.lineFps = ride.frameRate > 0 ? ride.frameRate : kMaxLineFps;
    d.frameTimeS = ride.picture.timeS;
  }
  d.frameRateKey = std::clamp(static_cast<int>(std::lround(d.lineFps)), 1, 30);
  // The frames the track covers.
  const double from = ride.profile.begin() - d.sync.offsetS;
  const double to = ride.profile.end() - d.sync.offsetS;
  d.firstFrame = d.frameAtVideoTime(from);
  d.lastFrame = d.frameAtVideoTime(to);
  if (d.lastFrame >= static_cast<int>(d.frameTimeS.size()) ||
      d.frameTimeS[static_cast<std::size_t>(d.lastFrame)] > to + 1e-9) {
    --d.lastFrame;
  }
  if (d.lastFrame - d.firstFrame < 2) {
    throw AuthorError(ride.trackFile + ": GPS 記録が動画と時間的に重なりません");
  }
  placeStations(ride, d);
  fitSpeeds(ride, d);
  placeRanges(d);
  placeClock(d);
  placeSlopes(ride, d);
  placeTunnels(ride, d);
  placeSignals(d);
  return d;
}

}  // namespace dravolin::author
