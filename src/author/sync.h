// Synchronising track and footage: the offset that puts a frame's time on the track's clock
// (track clock = video time + offset).
//
// A first guess comes from the video itself: the clock of a telemetry stream inside the file
// (exact, the container times both), else the file's creation time. It is then refined by the
// stops: the picture's stands (picture.h) and the track's stands (track_profile.h) are paired
// at the offset that pairs the most of them, and each pair's arrival and departure are timed
// finer than a frame or a fix: on the picture where its motion falls to the floor, on the track
// where a parabola of constant braking (or starting) through the fixes reaches the stand. The
// offset is the mean of the pairs' differences; their spread says how sure the match is.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "author/picture.h"
#include "author/track_profile.h"

namespace dravolin::author {

// Stands shorter than this are not timed: a short stand puts its departure among the fixes of
// its arrival. They also take no part in finding the offset when longer ones are there.
inline constexpr double kTimedStandS = 6.0;

struct StopPair {
  int pictureStand = 0;                    // index into PictureAnalysis::stands
  int trackStop = 0;                       // index into TrackProfile::stops
  std::optional<double> arrivalOffsetS;    // track arrival - picture arrival
  std::optional<double> departureOffsetS;  // track departure - picture departure
};

struct SyncResult {
  double offsetS = 0;  // track clock of video time 0
  std::vector<StopPair> pairs;
  int events = 0;        // arrivals and departures timed on both sides
  double spreadS = 0;    // standard deviation of their offsets
  std::string basis;     // how the offset was found, for the user
  std::string sureness;  // "高", "中", "低"
};

struct SyncInput {
  // The camera's clock at the first frame (the file's creation time), when it has one.
  std::optional<double> videoStartClockS;
  // The offset of a telemetry stream inside the video (exact).
  std::optional<double> containerOffsetS;
  // Given by the user: the offset relative to videoStartClockS (or, without one, to the
  // track's first fix). Overrides the search; the pairs are still reported.
  std::optional<double> userOffsetS;
};

// The base the user-facing offset is counted from: the creation time, else the track's start.
double offsetBase(const SyncInput& input, const TrackProfile& track);

// Throws AuthorError when track and footage cannot be put on one clock (no stops to match and no
// clock in the video) or when they do not overlap at the offset found.
SyncResult synchronise(const TrackProfile& track, const PictureMotion& picture,
                       const PictureAnalysis& analysis, const SyncInput& input,
                       const std::string& trackFile, const std::string& videoFile);

// The stands paired at `offsetS`, with their arrivals and departures timed.
std::vector<StopPair> pairStops(const TrackProfile& track, const PictureAnalysis& analysis,
                                double offsetS);

// The track's arrival (or departure) at the stop `s`, finer than its fixes; nullopt when the
// fixes around it do not allow a fit.
std::optional<double> trackArrival(const TrackProfile& track, const Span& s);
std::optional<double> trackDeparture(const TrackProfile& track, const Span& s);

}  // namespace dravolin::author
