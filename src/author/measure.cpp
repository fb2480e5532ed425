#include "author/measure.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "author/gpmf_reader.h"
#include "author/gpx_reader.h"
#include "author/nmea_reader.h"

namespace dravolin::author {

namespace fs = std::filesystem;

namespace {

// Larger track files are not read (a day of 10 Hz NMEA is a few hundred megabytes less).
constexpr std::uintmax_t kMaxTrackBytes = std::uintmax_t{512} << 20;

std::string readTrackFile(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) throw AuthorError(path + ": 読み込めません（" + ec.message() + "）");
  if (size > kMaxTrackBytes) throw AuthorError(path + ": GPS 記録として大きすぎます");
  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  if (!in) throw AuthorError(path + ": 読み込めません");
  return bytes;
}

std::string samePath(const std::string& a) {
  std::error_code ec;
  const fs::path c = fs::weakly_canonical(a, ec);
  return ec ? a : c.string();
}

}  // namespace

TrackFormat detectTrackFormat(std::string_view head) {
  if (head.size() >= 8 && head.substr(4, 4) == "ftyp") return TrackFormat::Mp4;
  if (head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
  while (!head.empty() && (head.front() == ' ' || head.front() == '\t' || head.front() == '\r' ||
                           head.front() == '\n')) {
    head.remove_prefix(1);
  }
  if (!head.empty() && head.front() == '<') return TrackFormat::Gpx;
  // An NMEA log starts with a sentence, perhaps after lines of other kinds.
  const std::size_t dollar = head.find('$');
  if (dollar == 0 || (dollar != std::string_view::npos && head[dollar - 1] == '\n')) {
    return TrackFormat::Nmea;
  }
  return TrackFormat::Unknown;
}

Track readTrackBytes(std::string_view bytes, const std::string& fileName) {
  switch (detectTrackFormat(bytes.substr(0, 4096))) {
    case TrackFormat::Gpx:
      return readGpx(bytes, fileName);
    case TrackFormat::Nmea:
      return readNmea(bytes, fileName);
    default:
      throw AuthorError(fileName + ": GPX、NMEA、GPS 記録を含む MP4 のどれでもありません");
  }
}

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
                             platform::FootageService& footage, const MeasureProgress& progress) {
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

    std::string head;
    {
      std::ifstream in(trackFile, std::ios::binary);
      if (!in) throw AuthorError(trackFile + ": 読み込めません");
      head.resize(4096);
      in.read(head.data(), static_cast<std::streamsize>(head.size()));
      head.resize(static_cast<std::size_t>(in.gcount()));
    }
    if (!progress(0.0, "GPS 記録を読んでいます")) throw platform::FootageCancelled();
    if (detectTrackFormat(head) == TrackFormat::Mp4) {
      std::vector<GpmfPayload> payloads;
      for (platform::TelemetryPacket& p : footage.telemetry(trackFile)) {
        payloads.push_back(
            {std::move(p.bytes), p.timeS, p.durationS, std::max<std::int64_t>(0, p.fileOffset)});
      }
      if (payloads.empty()) throw AuthorError(trackFile + ": GPS 記録 (GPMF) の流れがありません");
      r.track = readGpmf(payloads, trackFile);
      // Timed by the video's own container only when the track is in the video itself.
      if (samePath(trackFile) == samePath(videoFile)) {
        r.containerOffsetS = telemetryOffset(r.track);
      }
    } else {
      r.track = readTrackBytes(readTrackFile(trackFile), trackFile);
    }
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
