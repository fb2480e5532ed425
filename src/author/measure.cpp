#include "author/measure.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace dravolin::author {

namespace fs = std::filesystem;

namespace {

std::string samePath(const std::string& a) {
  std::error_code ec;
  const fs::path c = fs::weakly_canonical(a, ec);
  return ec ? a : c.string();
}

}  // namespace

std::optional<double> telemetryOffset(const Track& track) {
  std::vector<double> d;
  for (const TrackPoint& p : track.points) {
    if (p.videoTimeS) d.push_back(p.timeS - *p.videoTimeS);
  }
  if (d.empty()) return std::nullopt;
  std::nth_element(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(d.size() / 2), d.end());
  return d[d.size() / 2];
}

RideMeasurements measureRide(const std::string& videoFile, const std::string& trackFile,
                             platform::FootageService& footage, const MeasureProgress& progress,
                             std::optional<double> dayS) {
  RideMeasurements r;
  r.videoFile = videoFile;
  r.trackFile = trackFile;
  try {
    const platform::FootageInfo info = footage.probe(videoFile);
    r.frameRate = info.frameRate;
    r.durationS = info.durationS;
    r.width = info.width;
    r.height = info.height;
    r.creationTimeS = info.creationTimeS;

    if (!progress(0.0, "GPS 記録を読んでいます")) throw platform::FootageCancelled();
    r.track = readTrackFile(trackFile, footage, TrackDating{dayS, r.creationTimeS});
    // Timed by the video's own container only when the track is in the video itself.
    if (samePath(trackFile) == samePath(videoFile)) r.containerOffsetS = telemetryOffset(r.track);
    checkTrack(r.track);
    r.profile = buildProfile(r.track);

    std::vector<platform::FrameMotion> frames = footage.motion(
        videoFile, [&](double share) { return progress(share, "動画の動きを測っています"); });
    if (frames.size() < 2) throw AuthorError(videoFile + ": 動画のフレームが足りません");
    r.picture.frameRate = r.frameRate > 0 ? r.frameRate : 30;
    for (const platform::FrameMotion& f : frames) {
      r.picture.timeS.push_back(f.timeS);
      r.picture.motion.push_back(f.motion);
    }
    r.durationS = std::max(r.durationS, r.picture.durationS());
    r.pictureAnalysis = analysePicture(r.picture);
    // Each stand's ends timed finer, against a still frame of the stand.
    std::vector<PictureStand>& stands = r.pictureAnalysis.stands;
    for (std::size_t i = 0; i < stands.size(); ++i) {
      if (!progress(static_cast<double>(i) / static_cast<double>(stands.size()),
                    "停車の時刻を測っています")) {
        throw platform::FootageCancelled();
      }
      PictureStand& s = stands[i];
      // Only stands long enough to be timed against the track's stops (see sync.h).
      if (s.length() < kTimedStandS) continue;
      const double middle = (s.from + s.to) / 2;
      const double from = s.from, to = s.to;
      if (!s.cutAtStart) {
        const double still = std::min(from + 1.0, middle);
        if (const auto t = settleTime(
                footage.differences(videoFile, from - kRampS - 0.5, still, still), from, true)) {
          s.from = *t;
        }
      }
      if (!s.cutAtEnd) {
        const double still = std::max(to - 1.0, middle);
        if (const auto t = settleTime(
                footage.differences(videoFile, still, to + kRampS + 0.5, still), to, false)) {
          s.to = *t;
        }
      }
    }
  } catch (const platform::FootageError& e) {
    throw AuthorError(e.what());
  }
  return r;
}

}  // namespace dravolin::author
